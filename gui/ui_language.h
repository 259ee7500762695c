// SPDX-License-Identifier: MIT
// The language of the window: Japanese, whose texts are the program's own,
// or English through the translation built from translations/*.ts. It
// follows the desktop's setting: the first entry of LANGUAGE, else LC_ALL,
// LC_MESSAGES, LANG (the first one set); unset, "C", "POSIX" or "ja..."
// mean Japanese, anything else English. Qt's own texts follow the same
// choice (qtbase_ja only for Japanese).
#pragma once

#include <QString>

class QCoreApplication;

// Whether the environment asks for Japanese, by the rule above.
bool wantsJapanese();
// The same rule on a given value ("" for none set).
bool isJapaneseSetting(const QString& value);

// Installs the translators for that language on app: Qt's Japanese texts
// for Japanese, the program's English texts otherwise. False when one could
// not be loaded (the program then shows the texts it has).
bool installTranslations(QCoreApplication& app, bool japanese);
