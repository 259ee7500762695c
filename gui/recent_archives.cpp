// SPDX-License-Identifier: MIT
#include "recent_archives.h"

#include <QSettings>

namespace {

QSettings settings()
{
    return QSettings(QStringLiteral("vza"), QStringLiteral("vza-extract"));
}

}  // namespace

QStringList recentArchives()
{
    QStringList paths = settings().value(QStringLiteral("recentArchives")).toStringList();
    paths.removeAll(QString());
    return paths.mid(0, MaxRecentArchives);
}

void rememberRecentArchive(const QString& path)
{
    QStringList paths = recentArchives();
    paths.removeAll(path);
    paths.prepend(path);
    settings().setValue(QStringLiteral("recentArchives"), paths.mid(0, MaxRecentArchives));
}

QByteArray savedWindowGeometry()
{
    return settings().value(QStringLiteral("windowGeometry")).toByteArray();
}

void saveWindowGeometry(const QByteArray& geometry)
{
    settings().setValue(QStringLiteral("windowGeometry"), geometry);
}
