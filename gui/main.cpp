// vza-extract: lists a .vza archive and extracts the entries the user picks.
#include <QApplication>
#include <QCoreApplication>

#include <cstdio>
#include <cstdlib>

#include "ext_window.h"

namespace {

bool isSet(const char *name)
{
    const char *value = std::getenv(name);
    return value && *value;
}

// Without any of these Qt has no platform to draw on and stops with a bare
// "could not connect to display"; say what to do instead.
bool displayAvailable()
{
    return isSet("DISPLAY") || isSet("WAYLAND_DISPLAY") || isSet("QT_QPA_PLATFORM");
}

}  // namespace

int main(int argc, char *argv[])
{
    if (!displayAvailable()) {
        const char *program = argc > 0 ? argv[0] : "vza-extract";
        const QString text = QCoreApplication::translate(
            "main",
            "%1: no display found (DISPLAY, WAYLAND_DISPLAY and QT_QPA_PLATFORM are all unset).\n"
            "This is a desktop program. To run it without a desktop, use a virtual display:\n"
            "    xvfb-run -a %1\n"
            "or draw off screen (nothing is shown):\n"
            "    QT_QPA_PLATFORM=offscreen %1\n")
                                 .arg(QString::fromLocal8Bit(program));
        std::fputs(text.toLocal8Bit().constData(), stderr);
        return 1;
    }

    QApplication app(argc, argv);
    vzA_ExtWindow window;
    window.show();
    window.adjustColumnWidths();
    return app.exec();
}
