// SPDX-License-Identifier: MIT
// vza-extract: lists a .vza archive and extracts the entries the user picks;
// with --extract-here, extracts whole archives beside themselves and ends.
#include <QApplication>
#include <QCoreApplication>
#include <QFileInfo>

#include <cstdio>
#include <cstdlib>

#include <sys/prctl.h>

#include "command_line.h"
#include "ext_window.h"
#include "ui_language.h"

namespace {

bool isSet(const char* name)
{
    const char* value = std::getenv(name);
    return value && *value;
}

// Without any of these Qt has no platform to draw on and stops with a bare
// "could not connect to display"; say what to do instead.
bool displayAvailable()
{
    return isSet("DISPLAY") || isSet("WAYLAND_DISPLAY") || isSet("QT_QPA_PLATFORM");
}

void print(std::FILE* stream, const QString& text)
{
    std::fputs(text.toLocal8Bit().constData(), stream);
}

}  // namespace

int main(int argc, char* argv[])
{
    // The password of an encrypted archive stays in memory while it is
    // listed: no core file, and no other process of the same user reading
    // this one's memory through ptrace or /proc.
    ::prctl(PR_SET_DUMPABLE, 0);
    const CommandLine early = earlyCommandLine(argc, argv);
    if (early.action == CommandLine::Action::Help) {
        print(stdout, helpText());
        return 0;
    }
    if (early.action == CommandLine::Action::Version) {
        print(stdout, versionText());
        return 0;
    }

    if (!displayAvailable()) {
        const char* program = argc > 0 ? argv[0] : "vza-extract";
        const QString text =
            QCoreApplication::translate(
                "main", "%1: no display found (DISPLAY, WAYLAND_DISPLAY and QT_QPA_PLATFORM are all unset).\n"
                        "This is a desktop program. To run it without a desktop, use a virtual display:\n"
                        "    xvfb-run -a %1\n"
                        "or draw off screen (nothing is shown):\n"
                        "    QT_QPA_PLATFORM=offscreen %1\n")
                .arg(QString::fromLocal8Bit(program));
        print(stderr, text);
        return 1;
    }

    QApplication app(argc, argv);
    const CommandLine line = parseCommandLine(app.arguments().mid(1));
    if (line.action == CommandLine::Action::Error) {
        print(stderr, QStringLiteral("vza-extract: %1\n").arg(line.error) + helpText());
        return 2;
    }
    installTranslations(app, wantsJapanese());

    vzA_ExtWindow window;
    window.show();
    window.adjustColumnWidths();
    if (line.action == CommandLine::Action::ExtractHere) {
        // The program ends with the summary: 0 when everything was
        // extracted, 1 when something was not or the user stopped it
        // (closing the window included).
        int status = 1;
        QObject::connect(&window, &vzA_ExtWindow::extractHereFinished, &app, [&status](bool allWritten) {
            status = allWritten ? 0 : 1;
            QCoreApplication::quit();
        });
        QStringList paths;
        for (const QString& file : line.files)
            paths << QFileInfo(file).absoluteFilePath();
        window.extractHereWhenShown(paths);
        app.exec();
        return status;
    }
    if (!line.file.isEmpty()) {
        // Read once the window is on the screen, so that it is up behind the
        // password dialog or the message a bad file gets, and they are
        // centred over it.
        window.openArchiveWhenShown(QFileInfo(line.file).absoluteFilePath());
    }
    return app.exec();
}
