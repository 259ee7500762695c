// SPDX-License-Identifier: MIT
// vza test: reads every entry as extract would, writing nothing.
//
// Only what went through zlib is checked (entry_check.h): a stored entry is
// shown as STORED, not OK, and the summary counts such entries apart. An
// entry whose name extract would refuse fails here too.
#include <string>

#include "cli/check_words.h"
#include "cli/commands.h"
#include "cli/display_name.h"
#include "cli/entry_selection.h"
#include "cli/open_archive.h"
#include "vza/archive/format/entry_check.h"
#include "vza/archive/names/name_verdict.h"
#include "vza/archive/read/archive.h"

namespace vza::cli {
int runTest(const Options& options, Console& console)
{
    ArchiveInput archive;
    if (!openArchive(options.operands.front(), options, console, archive))
        return ExitFatal;
    const EntryNames names(archive.entryTable(), options.names);
    int misses = 0;
    const std::vector<std::int32_t> chosen = selectOperands(names, options, SameName::First, console, misses);
    std::uint64_t total = 0;
    for (std::int32_t index : chosen)
        total += archive.entry(index)->originalSize;

    ProgressLine& progress = console.progress();
    progress.start(total);
    const SequentialArchive::ChunkSink countBytes = [&progress](const std::uint8_t*, std::size_t length) {
        progress.advance(length);
        return true;
    };
    CheckTally tally;
    for (std::int32_t index : chosen) {
        const EntryView entry = *archive.entry(index);
        const std::string text = names.text(index);
        const std::string shown = displayName(text);
        progress.setEntry(text);
        const bool read = archive.streamEntry(index, countBytes);
        const NameVerdict verdict = judgeStoredName(entry.name, names.encoding());
        tally.add(archive.flags(), entry, read && verdict == NameVerdict::Writable);
        if (!read || verdict != NameVerdict::Writable) {
            console.line("FAILED  " + shown);
            console.error("'" + shown + "': " +
                          (read ? refusalReason(verdict) + "; extract refuses it" : errorText(archive.lastError())));
        } else if (!console.quiet()) {
            console.line((entryBytesChecked(archive.flags(), entry) ? "OK      " : "STORED  ") + shown);
        }
    }
    progress.clear();
    if (!console.quiet())
        console.line(testSummary(tally));
    return tally.failed == 0 && misses == 0 ? ExitOk : ExitPartial;
}

}  // namespace vza::cli
