// SPDX-License-Identifier: MIT
#include "open_policy.h"

#include <QFileInfo>

bool mayRunWhenOpened(const QString& name, const QByteArray& head)
{
    if (head.startsWith("#!") ||
        head.startsWith("\x7f"
                        "ELF") ||
        head.startsWith("MZ") || head.contains("[Desktop Entry]"))
        return true;
    static const char* const running[] = {
        "desktop", "kdelnk", "sh",  "bash", "zsh",      "csh", "ksh", "fish", "py",  "pyw", "pl",     "rb",  "php",
        "js",      "jse",    "vbs", "vbe",  "wsf",      "ps1", "jar", "exe",  "com", "scr", "bat",    "cmd", "msi",
        "dll",     "so",     "run", "bin",  "appimage", "deb", "rpm", "lnk",  "url", "reg", "command"};
    const QString suffix = QFileInfo(name).suffix().toLower();
    for (const char* known : running)
        if (suffix == QLatin1String(known))
            return true;
    return false;
}
