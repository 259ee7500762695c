// vza test: reads every entry as extract would, writing nothing.
#include <string>

#include "archive/archive.h"
#include "cli/commands.h"
#include "cli/display_name.h"
#include "cli/open_archive.h"

namespace vza::cli {

int runTest(const Options& options, Console& console)
{
    ArchiveInput archive;
    if (!openArchive(options.operands.front(), options, console, archive))
        return ExitFatal;
    const std::int32_t count = archive.entryCount();
    std::uint64_t total = 0;
    for (std::int32_t i = 0; i < count; ++i)
        total += archive.entry(i)->originalSize;

    ProgressLine& progress = console.progress();
    progress.start(total);
    const SequentialArchive::ChunkSink countBytes = [&progress](const std::uint8_t*, std::size_t length) {
        progress.advance(length);
        return true;
    };
    int failed = 0;
    for (std::int32_t i = 0; i < count; ++i) {
        const std::string& name = archive.entry(i)->name;
        progress.setEntry(name);
        if (archive.streamEntry(i, countBytes)) {
            if (!console.quiet())
                console.line("OK      " + displayName(name));
            continue;
        }
        ++failed;
        console.line("FAILED  " + displayName(name));
        console.error(quoted(name) + ": " + errorText(archive.lastError()));
    }
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
