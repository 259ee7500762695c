// SPDX-License-Identifier: MIT
// How long vza-extract takes to list a large archive: builds an archive of
// 1 000 000 entries (or the count given as the first argument), then runs the
// real window's read on the archive off screen, and
// prints the time from the chosen path to a filled table, and the memory
// the listing takes.
#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTableView>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>

#include "ext_window.h"
#include "testkit/archive_builder.h"
#include "testkit/temp_dir.h"
#include "vza/archive/read/archive.h"

namespace {

// Entries named like a tree of 1 000 folders, each holding its name's first bytes.
vza::test::TestEntry entryAt(int i)
{
    char name[64];
    std::snprintf(name, sizeof name, "folder%03d/entry%06d.txt", i % 1000, i);
    return vza::test::TestEntry(name, std::string_view(name, 8));
}

struct Timing {
    double wallMs;
    double cpuMs;  // of this thread alone: what the machine's other load does not change
};

double threadCpuMs()
{
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return double(now.tv_sec) * 1e3 + double(now.tv_nsec) / 1e6;
}

template <typename Work>
Timing timed(Work work)
{
    QElapsedTimer clock;
    const double cpu = threadCpuMs();
    clock.start();
    work();
    return {double(clock.nsecsElapsed()) / 1e6, threadCpuMs() - cpu};
}

// A figure of /proc/self/status in KiB: VmRSS now, VmHWM the peak.
long statusKiB(const char* field)
{
    std::FILE* status = std::fopen("/proc/self/status", "r");
    long kib = -1;
    char line[256];
    while (status && std::fgets(line, sizeof line, status))
        if (std::strncmp(line, field, std::strlen(field)) == 0 &&
            std::sscanf(line + std::strlen(field), ": %ld kB", &kib) == 1)
            break;
    if (status)
        std::fclose(status);
    return kib;
}

}  // namespace

int main(int argc, char* argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication::setAttribute(Qt::AA_DontUseNativeDialogs);
    QApplication app(argc, argv);
    const int count = argc > 1 ? std::atoi(argv[1]) : 1000000;

    const vza::test::TempDir dir;
    const std::string localPath = dir / "large.vza";
    const QString path = QFile::decodeName(QByteArray::fromStdString(localPath));
    vza::test::writeArchive(localPath, count, entryAt, 0);

    vzA_ExtWindow window;
    window.show();
    app.processEvents();
    window.adjustColumnWidths();
    auto* table = window.findChild<QTableView*>(QStringLiteral("entryTable"));
    const long before = statusKiB("VmRSS");

    const Timing first = timed([&] { window.openArchive(path); });
    const int rows = table->model()->rowCount();
    const Timing layout = timed([&] { app.processEvents(); });      // the one layout and paint it gets
    const Timing again = timed([&] { window.openArchive(path); });  // replaces the listed rows first
    const long peak = statusKiB("VmHWM");

    vza::Archive archive;
    const Timing open = timed([&] { archive.open(localPath, std::string()); });

    std::printf("entries                 %d\n", count);
    std::printf("                        wall ms   thread CPU ms\n");
    std::printf("Archive::open alone   %8.1f  %8.1f\n", open.wallMs, open.cpuMs);
    std::printf("read + fill           %8.1f  %8.1f  (%d rows)\n", first.wallMs, first.cpuMs, rows);
    std::printf("first layout, paint   %8.1f  %8.1f\n", layout.wallMs, layout.cpuMs);
    std::printf("read again            %8.1f  %8.1f\n", again.wallMs, again.cpuMs);
    std::printf("memory for the list   %8.1f MiB (peak resident less resident before)\n",
                double(peak - before) / 1024.0);
    return rows == count && table->model()->rowCount() == count ? 0 : 1;
}
