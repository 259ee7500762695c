// SPDX-License-Identifier: MIT
// Qt's own Japanese texts, for the dialogs and buttons Qt draws itself.
#pragma once

class QCoreApplication;

// Installs Qt's Japanese translation (qtbase_ja from Qt's translations
// folder) on app, whatever the locale, so that the file dialog and the
// buttons of message and input dialogs speak the window's language.
// False when the translation is not installed; the program then runs with
// Qt's English texts.
bool loadQtTranslation(QCoreApplication& app);
