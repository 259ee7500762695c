// SPDX-License-Identifier: MIT
// Sorting and filtering a large listing in the real window off screen: for
// 1 000 000 entries (or the count given as the first argument), the time from
// a header click or a keystroke in the filter box to the new rows shown, and
// the longest the window's event loop was held meanwhile (measured by a
// 1 ms timer: the largest gap between two of its ticks).
#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QHeaderView>
#include <QLineEdit>
#include <QSignalSpy>
#include <QTableView>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "ext_window.h"
#include "testkit/archive_builder.h"
#include "testkit/temp_dir.h"

namespace {

vza::test::TestEntry entryAt(int i)
{
    char name[64];
    // Not in name order, so that sorting has work to do.
    const int shuffled = int((std::uint64_t(i) * 7919u) % 1000003u);
    std::snprintf(name, sizeof name, "folder%03d/entry%07d.txt", shuffled % 1000, shuffled);
    return vza::test::TestEntry(name, std::string_view(name, std::size_t(1 + i % 40)));
}

struct Figure {
    double ms = 0;     // until the rows are shown
    double stall = 0;  // the longest gap between two ticks of a 1 ms timer
};

// Runs start, then the event loop until the window shows the new rows.
template <typename Start>
Figure measure(vzA_ExtWindow& window, Start start)
{
    QSignalSpy shown(&window, &vzA_ExtWindow::viewOrderShown);
    QElapsedTimer clock, tick;
    double stall = 0;
    QTimer ticker;
    ticker.setInterval(1);
    QObject::connect(&ticker, &QTimer::timeout, [&] {
        stall = std::max(stall, double(tick.nsecsElapsed()) / 1e6);
        tick.restart();
    });
    ticker.start();
    clock.start();
    tick.start();
    start();
    stall = std::max(stall, double(tick.nsecsElapsed()) / 1e6);
    tick.restart();
    while (shown.isEmpty())
        shown.wait(10000);
    const double ms = double(clock.nsecsElapsed()) / 1e6;
    stall = std::max(stall, double(tick.nsecsElapsed()) / 1e6);
    return {ms, stall};
}

}  // namespace

int main(int argc, char* argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int count = argc > 1 ? std::atoi(argv[1]) : 1000000;

    const vza::test::TempDir dir;
    const std::string localPath = dir / "large.vza";
    vza::test::writeArchive(localPath, count, entryAt, 0);

    vzA_ExtWindow window;
    window.show();
    app.processEvents();
    window.openArchive(QFile::decodeName(QByteArray::fromStdString(localPath)));
    auto* table = window.findChild<QTableView*>(QStringLiteral("entryTable"));
    auto* filter = window.findChild<QLineEdit*>(QStringLiteral("filterEdit"));
    QHeaderView* header = table->horizontalHeader();
    app.processEvents();

    std::printf("entries %d                           ms to shown   longest stall ms\n", count);
    const char* columns[] = {"output name", "data name", "size", "stored size"};
    for (int column = 0; column < 4; ++column) {
        const Figure f = measure(window, [&] { header->setSortIndicator(column, Qt::AscendingOrder); });
        std::printf("sort by %-12s                 %10.1f   %10.1f\n", columns[column], f.ms, f.stall);
    }
    const Figure back = measure(window, [&] { header->setSortIndicator(-1, Qt::AscendingOrder); });
    std::printf("archive order again                  %10.1f   %10.1f\n", back.ms, back.stall);

    // A word typed one key at a time, each key once the rows of the one
    // before are shown; then cleared.
    const QString word = QStringLiteral("entry00012");
    double worstMs = 0, worstStall = 0;
    for (int length = 1; length <= word.size(); ++length) {
        const Figure f = measure(window, [&] { filter->setText(word.left(length)); });
        worstMs = std::max(worstMs, f.ms);
        worstStall = std::max(worstStall, f.stall);
    }
    std::printf("filter, per key of \"%s\" (worst) %8.1f   %10.1f  (%d rows left)\n", qPrintable(word), worstMs,
                worstStall, table->model()->rowCount());
    const Figure fast = measure(window, [&] { filter->setText(QStringLiteral("日本")); });
    std::printf("filter, non-ASCII text                %9.1f   %10.1f\n", fast.ms, fast.stall);
    header->setSortIndicator(1, Qt::DescendingOrder);
    const Figure both = measure(window, [&] { filter->setText(QStringLiteral("txt")); });
    std::printf("filter matching all, sorted by name   %9.1f   %10.1f\n", both.ms, both.stall);
    return 0;
}
