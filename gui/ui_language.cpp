// SPDX-License-Identifier: MIT
#include "ui_language.h"

#include <QCoreApplication>
#include <QTranslator>

#include <cstdlib>

#include "qt_translation.h"

bool isJapaneseSetting(const QString& value)
{
    return value.isEmpty() || value == QLatin1String("C") || value.startsWith(QLatin1String("C.")) ||
           value == QLatin1String("POSIX") || value.startsWith(QLatin1String("ja"));
}

bool wantsJapanese()
{
    // LANGUAGE is a list ("en_GB:en"); its first entry counts.
    const QString language = QString::fromLocal8Bit(qgetenv("LANGUAGE")).section(QLatin1Char(':'), 0, 0);
    if (!language.isEmpty())
        return isJapaneseSetting(language);
    for (const char* name : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
        const QString value = QString::fromLocal8Bit(qgetenv(name));
        if (!value.isEmpty())
            return isJapaneseSetting(value);
    }
    return true;
}

bool installTranslations(QCoreApplication& app, bool japanese)
{
    if (japanese)
        return loadQtTranslation(app);
    auto* english = new QTranslator(&app);
    if (!english->load(QStringLiteral(":/i18n/vza-extract_en.qm"))) {
        delete english;
        return false;
    }
    return app.installTranslator(english);
}
