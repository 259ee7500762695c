// SPDX-License-Identifier: MIT
// How vza-extract behaves while it extracts: the longest time the window's
// event loop goes without running (a stall the user sees as a frozen
// window), and the time the whole extraction takes against `vza extract` of
// the same archive.
//
//     bench_gui_extract [ENTRIES [MIB]]
//
// Two archives are measured: ENTRIES small entries in 100 folders (default
// 100 000, compressed), and one encrypted entry of MIB mebibytes (default
// 1024) made with `vza create -e`. Each is extracted by the real window off
// screen (展開 with nothing selected: every entry, folders made) and by
// `vza extract`, twice each, alternating; the better of the two counts. The
// small entries are also extracted with フォルダへ展開, which goes on past a
// failure; 展開 stops at the first failing row. Both write on several
// threads.
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QProcess>
#include <QPushButton>
#include <QSettings>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <string>

#include "ext_window.h"
#include "password_dialog.h"
#include "testkit/archive_builder.h"
#include "vza/archive/format/format.h"

namespace {

const QByteArray Password = "bench password";

bool writeManyEntries(const QString& path, int count)
{
    try {
        vza::test::writeArchive(
            QFile::encodeName(path).toStdString(), count,
            [](int i) {
                char name[64];
                std::snprintf(name, sizeof name, "folder%03d/entry%06d.txt", i % 100, i);
                return vza::test::TestEntry(name, std::string(std::size_t(200 + i % 300), char('a' + i % 26)));
            },
            vza::FlagCompressed);
        return true;
    } catch (const std::exception&) {
        return false;
    }
}

// A file of mib MiB of bytes that do not compress, packed encrypted by the
// command-line tool (which streams it; no copy of it is held in memory).
bool writeBigEntry(const QString& folder, const QString& archive, int mib)
{
    const QString input = folder + QStringLiteral("/big.bin");
    QFile file(input);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    QByteArray block(1 << 20, '\0');
    std::uint64_t state = 0x9e3779b97f4a7c15ULL;
    for (int m = 0; m < mib; ++m) {
        auto* words = reinterpret_cast<std::uint64_t*>(block.data());
        for (std::size_t w = 0; w < std::size_t(block.size()) / 8; ++w) {
            state ^= state << 13, state ^= state >> 7, state ^= state << 17;
            words[w] = state;
        }
        if (file.write(block) != block.size())
            return false;
    }
    file.close();
    QProcess vza;
    vza.setWorkingDirectory(folder);
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("VZA_PASSWORD"), QString::fromUtf8(Password));
    vza.setProcessEnvironment(env);
    vza.start(QStringLiteral(VZA_CLI), {QStringLiteral("create"), archive, QStringLiteral("-e"), QStringLiteral("-q"),
                                        QStringLiteral("big.bin")});
    const bool ok = vza.waitForFinished(-1) && vza.exitCode() == 0;
    QFile::remove(input);
    return ok;
}

struct GuiRun {
    double ms = 0;       // from 展開 to the outcome message
    double stallMs = 0;  // longest gap between two turns of the event loop
    bool ok = false;
};

// Answers the password dialog and the outcome box; notes when the box came.
class Answerer : public QObject {
public:
    QElapsedTimer* clock = nullptr;
    QString folder;  // chosen in the folder dialog
    double endMs = -1;
    bool success = false;

    Answerer()
    {
        connect(&timer_, &QTimer::timeout, this, [this] {
            QWidget* widget = QApplication::activeModalWidget();
            if (auto* password = qobject_cast<vzA_PasswordDialog*>(widget)) {
                password->findChild<QLineEdit*>()->setText(QString::fromUtf8(Password));
                password->accept();
            } else if (auto* files = qobject_cast<QFileDialog*>(widget)) {
                files->setDirectory(folder);
                if (auto* name = files->findChild<QLineEdit*>(QStringLiteral("fileNameEdit")))
                    name->clear();
                QMetaObject::invokeMethod(files, "accept");
            } else if (auto* box = qobject_cast<QMessageBox*>(widget)) {
                if (clock && endMs < 0)
                    endMs = double(clock->nsecsElapsed()) / 1e6;
                // 展開's success, or フォルダへ展開's summary without a failure.
                success = box->icon() == QMessageBox::Information;
                box->button(QMessageBox::Ok)->click();
            }
        });
        timer_.start(1);
    }

private:
    QTimer timer_;
};

GuiRun runGui(vzA_ExtWindow& window, const QString& out, bool toFolder)
{
    QDir().mkpath(out);
    QDir::setCurrent(out);
    GuiRun run;
    QElapsedTimer clock;
    Answerer answerer;
    answerer.clock = &clock;
    answerer.folder = out;

    // A turn of the event loop every millisecond when it is free to run.
    QElapsedTimer sinceTick;
    double longest = 0;
    QTimer probe;
    probe.setTimerType(Qt::PreciseTimer);
    // Not while the folder dialog is up: building Qt's own dialog is no part
    // of extracting.
    QObject::connect(&probe, &QTimer::timeout, [&] {
        if (!toFolder || window.isExtracting())
            longest = std::max(longest, double(sinceTick.nsecsElapsed()) / 1e6);
        sinceTick.start();
    });

    clock.start();
    sinceTick.start();
    probe.start(1);
    if (toFolder)
        window.extractToFolder();
    else
        window.extractFile();
    while (window.isExtracting())
        QApplication::processEvents(QEventLoop::WaitForMoreEvents);
    probe.stop();
    run.ms = answerer.endMs;
    run.stallMs = longest;
    run.ok = answerer.success;
    return run;
}

double runCli(const QString& archive, const QString& out)
{
    QDir().mkpath(out);
    QProcess vza;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("VZA_PASSWORD"), QString::fromUtf8(Password));
    vza.setProcessEnvironment(env);
    QElapsedTimer clock;
    clock.start();
    vza.start(QStringLiteral(VZA_CLI),
              {QStringLiteral("extract"), archive, QStringLiteral("-C"), out, QStringLiteral("-q")});
    if (!vza.waitForFinished(-1) || vza.exitCode() != 0)
        return -1;
    return double(clock.nsecsElapsed()) / 1e6;
}

bool measure(vzA_ExtWindow& window, const QString& name, const QString& archive, const QString& scratch,
             bool toFolder = false)
{
    {
        Answerer password;
        window.openArchive(archive);
    }
    double guiBest = 1e300, cliBest = 1e300, stallWorst = 0;
    bool ok = true;
    for (int round = 0; round < 2; ++round) {
        const QString tag = QString::number(round);
        const GuiRun gui = runGui(window, scratch + "/gui" + tag, toFolder);
        QDir::setCurrent(scratch);
        const double cli = runCli(archive, scratch + "/cli" + tag);
        ok = ok && gui.ok && cli >= 0;
        guiBest = std::min(guiBest, gui.ms);
        cliBest = std::min(cliBest, cli);
        stallWorst = std::max(stallWorst, gui.stallMs);
        QDir(scratch + "/gui" + tag).removeRecursively();
        QDir(scratch + "/cli" + tag).removeRecursively();
    }
    std::printf("%-24s GUI %9.1f ms   vza extract %9.1f ms   ratio %5.2f   longest stall %6.1f ms%s\n",
                qPrintable(name), guiBest, cliBest, guiBest / cliBest, stallWorst, ok ? "" : "   FAILED");
    return ok;
}

}  // namespace

int main(int argc, char* argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    // Qt's own folder dialog, which can be answered; the folder it remembers
    // goes to a settings file of its own, not the user's.
    QApplication::setAttribute(Qt::AA_DontUseNativeDialogs);
    const int count = argc > 1 ? std::atoi(argv[1]) : 100000;
    const int mib = argc > 2 ? std::atoi(argv[2]) : 1024;

    QTemporaryDir dir;
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, dir.path());
    const QString many = dir.filePath(QStringLiteral("many.vza"));
    const QString big = dir.filePath(QStringLiteral("big.vza"));
    if (!dir.isValid() || !writeManyEntries(many, count) || !writeBigEntry(dir.path(), big, mib)) {
        std::fprintf(stderr, "cannot write the test archives\n");
        return 1;
    }

    vzA_ExtWindow window;
    window.show();
    app.processEvents();
    bool ok = measure(window, QString::number(count) + " entries", many, dir.path());
    ok = measure(window, QString::number(count) + " entries, to folder", many, dir.path(), true) && ok;
    ok = measure(window, QString::number(mib) + " MiB entry, encrypted", big, dir.path()) && ok;
    QDir::setCurrent(QDir::tempPath());
    return ok ? 0 : 1;
}
