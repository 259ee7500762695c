// How long vza-extract takes to list a large archive: builds an archive of
// 100 000 entries (or the count given as the first argument), then runs the
// real window's read command off screen, answering its file dialog, and
// prints the time from accepting the dialog to a filled table.
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileDialog>
#include <QLineEdit>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTimer>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "archive/archive.h"
#include "archive/archive_writer.h"
#include "archive/data_buffer.h"
#include "ext_window.h"

namespace {

bool writeArchive(const std::string &path, int count)
{
    vza::ArchiveWriter writer;
    if (!writer.begin(path))
        return false;
    char name[64];
    for (int i = 0; i < count; ++i) {
        std::snprintf(name, sizeof name, "folder%03d/entry%06d.txt", i % 1000, i);
        vza::DataBuffer buffer;
        buffer.assign(name, 8);
        buffer.info.name = name;
        if (!vza::prepareStored(buffer, 0) || !writer.add(buffer))
            return false;
    }
    return writer.finish(0);
}

// Reads path through the window's read command; returns the milliseconds
// from accepting the file dialog until the command returned.
double timedRead(vzA_ExtWindow &window, const QString &path)
{
    QElapsedTimer clock;
    QTimer answer;
    QObject::connect(&answer, &QTimer::timeout, [&] {
        auto *dialog = qobject_cast<QFileDialog *>(QApplication::activeModalWidget());
        if (!dialog)
            return;
        answer.stop();
        dialog->findChild<QLineEdit *>(QStringLiteral("fileNameEdit"))->setText(path);
        clock.start();
        QMetaObject::invokeMethod(dialog, "accept");
    });
    answer.start(1);
    window.readArchive();
    return double(clock.nsecsElapsed()) / 1e6;
}

}  // namespace

int main(int argc, char *argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication::setAttribute(Qt::AA_DontUseNativeDialogs);
    QApplication app(argc, argv);
    const int count = argc > 1 ? std::atoi(argv[1]) : 100000;

    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("large.vza"));
    const std::string localPath = QFile::encodeName(path).toStdString();
    if (!dir.isValid() || !writeArchive(localPath, count)) {
        std::fprintf(stderr, "cannot write the test archive\n");
        return 1;
    }

    QElapsedTimer clock;
    clock.start();
    vza::Archive archive;
    const bool opened = archive.open(localPath, std::string());
    const double openMs = double(clock.nsecsElapsed()) / 1e6;

    vzA_ExtWindow window;
    window.show();
    app.processEvents();
    window.adjustColumnWidths();
    auto *table = window.findChild<QTableWidget *>();

    const double firstMs = timedRead(window, path);
    const int rows = table->rowCount();
    clock.start();
    app.processEvents();  // the one layout and paint the filled table gets
    const double layoutMs = double(clock.nsecsElapsed()) / 1e6;
    const double againMs = timedRead(window, path);  // clears 100 000 rows first

    std::printf("entries           %d\n", count);
    std::printf("Archive::open     %8.1f ms\n", openMs);
    std::printf("read + fill       %8.1f ms  (%d rows)\n", firstMs, rows);
    std::printf("first layout      %8.1f ms\n", layoutMs);
    std::printf("read again        %8.1f ms  (%d rows)\n", againMs, int(table->rowCount()));
    return opened && rows == count && table->rowCount() == count ? 0 : 1;
}
