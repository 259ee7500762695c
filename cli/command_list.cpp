// SPDX-License-Identifier: MIT
// vza list: the index of an archive as a table.
#include <cinttypes>
#include <cstdio>
#include <string>

#include "archive/archive.h"
#include "archive/format.h"
#include "cli/commands.h"
#include "cli/display_name.h"
#include "cli/entry_selection.h"
#include "cli/open_archive.h"

namespace vza::cli {
namespace {

// Space saved by storing, in whole percent; negative when the stored form is
// longer (a sealed entry carries at least 8 bytes more).
long long savedPercent(std::uint64_t size, std::uint64_t stored)
{
    if (size == 0)
        return 0;
    const double saved = 100.0 * (static_cast<double>(size) - static_cast<double>(stored)) / static_cast<double>(size);
    return static_cast<long long>(saved < 0 ? saved - 0.5 : saved + 0.5);
}

std::string row(std::uint64_t size, std::uint64_t stored, const std::string& name)
{
    char numbers[64];
    std::snprintf(numbers, sizeof numbers, "%10" PRIu64 " %10" PRIu64 " %5lld%%  ", size, stored,
                  savedPercent(size, stored));
    return numbers + name;
}

std::string flagsText(std::uint32_t flags)
{
    std::string text;
    if (flags & FlagEncrypted)
        text += "encrypted";
    if (flags & FlagCompressed)
        text += text.empty() ? "compressed" : ", compressed";
    return text.empty() ? "plain" : text;
}

}  // namespace

int runList(const Options& options, Console& console)
{
    ArchiveInput archive;
    if (!openArchive(options.operands.front(), options, console, archive))
        return ExitFatal;
    const EntryNames names(archive.entryTable(), options.names);
    int misses = 0;
    const std::vector<std::int32_t> chosen =
        selectEntries(archive.entryTable(), names, {}, options.excludes, console, misses);
    if (console.quiet()) {
        for (std::int32_t index : chosen)
            console.line(names.shown(index));
        return ExitOk;
    }
    if (console.verbose())
        console.line("Archive: " + archive.shownPath() + " (" + flagsText(archive.flags()) + ")");
    console.line("      Size     Stored  Saved  Name");
    console.line("---------- ---------- ------  ----");
    std::uint64_t totalSize = 0;
    std::uint64_t totalStored = 0;
    for (std::int32_t index : chosen) {
        const ArchiveEntry* entry = archive.entry(index);
        console.line(row(entry->originalSize, entry->storedSize, names.shown(index)));
        totalSize += entry->originalSize;
        totalStored += entry->storedSize;
    }
    console.line("---------- ---------- ------  ----");
    const std::size_t count = chosen.size();
    console.line(row(totalSize, totalStored, std::to_string(count) + (count == 1 ? " entry" : " entries")));
    return ExitOk;
}

}  // namespace vza::cli
