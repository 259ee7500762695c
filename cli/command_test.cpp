// SPDX-License-Identifier: MIT
// vza test: reads every entry as extract would, writing nothing.
#include <string>

#include "cli/commands.h"
#include "cli/display_name.h"
#include "cli/entry_selection.h"
#include "cli/open_archive.h"
#include "vza/archive/read/archive.h"

namespace vza::cli {

int runTest(const Options& options, Console& console)
{
    ArchiveInput archive;
    if (!openArchive(options.operands.front(), options, console, archive))
        return ExitFatal;
    const EntryNames names(archive.entryTable(), options.names);
    int misses = 0;
    const std::vector<std::int32_t> chosen =
        selectEntries(archive.entryTable(), names, {}, options.excludes, console, misses);
    std::uint64_t total = 0;
    for (std::int32_t index : chosen)
        total += archive.entry(index)->originalSize;

    ProgressLine& progress = console.progress();
    progress.start(total);
    const SequentialArchive::ChunkSink countBytes = [&progress](const std::uint8_t*, std::size_t length) {
        progress.advance(length);
        return true;
    };
    int failed = 0;
    for (std::int32_t index : chosen) {
        const std::string text = names.text(index);
        const std::string shown = displayName(text);
        progress.setEntry(text);
        if (archive.streamEntry(index, countBytes)) {
            if (!console.quiet())
                console.line("OK      " + shown);
            continue;
        }
        ++failed;
        console.line("FAILED  " + shown);
        console.error("'" + shown + "': " + errorText(archive.lastError()));
    }
    const std::size_t count = chosen.size();
    progress.clear();
    if (!console.quiet()) {
        if (failed == 0)
            console.line(std::to_string(count) + (count == 1 ? " entry OK" : " entries OK"));
        else
            console.line(std::to_string(failed) + " of " + std::to_string(count) + " entries FAILED");
    }
    return failed == 0 ? ExitOk : ExitPartial;
}

}  // namespace vza::cli
