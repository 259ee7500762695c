// SPDX-License-Identifier: MIT
// vza extract: writes entries under an output folder, never outside it.
#include <algorithm>
#include <cstring>
#include <fcntl.h>
#include <optional>
#include <string>
#include <string_view>
#include <sys/stat.h>
#include <unistd.h>
#include <unordered_map>
#include <vector>

#include "cli/commands.h"
#include "cli/display_name.h"
#include "cli/entry_selection.h"
#include "cli/extract_to_stdout.h"
#include "cli/open_archive.h"
#include "vza/archive/extract/extractor.h"
#include "vza/archive/names/safe_name.h"
#include "vza/archive/read/archive.h"

namespace vza::cli {
namespace {

// The entries to write, in index order, and the output paths that differ
// from the stored names. Kept lean: a large archive's index is already in
// memory, and the plan adds only a few bytes an entry.
struct Plan {
    std::vector<std::int32_t> indices;
    std::unordered_map<std::int32_t, std::string> renamed;

    std::string_view outputPath(const EntryTable& table, std::int32_t index) const
    {
        if (!renamed.empty()) {
            const auto found = renamed.find(index);
            if (found != renamed.end())
                return found->second;
        }
        return table.at(index)->name;
    }
};

// Turns the chosen entries into output paths. Entries whose names leave
// nothing safe are reported and dropped; names that had to change get a
// warning; of entries with the same output path only the last one stays,
// so the later one wins as with tar, and the earlier ones are not even read.
Plan planOutputs(const EntryTable& archive, const EntryNames& names, const std::vector<std::int32_t>& chosen,
                 Console& console, int& failures)
{
    Plan plan;
    std::vector<std::int32_t> candidates;
    candidates.reserve(chosen.size());
    for (std::int32_t index : chosen) {
        const std::string_view name = archive.at(index)->name;
        if (name.empty()) {
            console.error("entry " + std::to_string(index + 1) + " has an empty name; skipped");
            ++failures;
            continue;
        }
        // A NUL would cut the path short in every system call.
        std::string shown = names.shown(index);
        shown.insert(0, 1, '\'');  // not "'" + string: a false -Wrestrict in g++ 12
        shown += '\'';
        if (name.find('\0') != std::string_view::npos) {
            console.error(shown + ": the name holds a NUL byte; skipped");
            ++failures;
            continue;
        }
        std::string relative = names.outputPath(index);
        if (relative.empty()) {
            console.error(shown + ": nothing safe is left of the name; skipped");
            ++failures;
            continue;
        }
        if (relative != name) {
            if (relative != names.text(index))
                console.warning(shown + " is written as " + quoted(relative));
            plan.renamed.emplace(index, std::move(relative));
        }
        candidates.push_back(index);
    }

    // Sorted by output path, entries of one path are neighbours, the
    // latest last; every one but the last is left out.
    std::vector<std::int32_t> byPath(candidates);
    std::sort(byPath.begin(), byPath.end(), [&](std::int32_t a, std::int32_t b) {
        const int order = plan.outputPath(archive, a).compare(plan.outputPath(archive, b));
        return order < 0 || (order == 0 && a < b);
    });
    std::vector<bool> superseded(static_cast<std::size_t>(archive.count()), false);
    for (std::size_t k = 1; k < byPath.size(); ++k) {
        const std::string_view path = plan.outputPath(archive, byPath[k]);
        if (path != plan.outputPath(archive, byPath[k - 1]))
            continue;
        superseded[static_cast<std::size_t>(byPath[k - 1])] = true;
        if (console.verbose())
            console.line("entry " + std::to_string(byPath[k - 1] + 1) + " " + quoted(path) +
                         " is replaced by a later entry");
    }
    byPath = {};
    plan.indices.reserve(candidates.size());
    for (std::int32_t index : candidates) {
        if (!superseded[static_cast<std::size_t>(index)])
            plan.indices.push_back(index);
    }
    return plan;
}

// A folder nothing can be written to fails every entry alike: that is a
// run that could not start, not one that partly failed. An unnamed file
// tells, for root and read-only file systems too, and leaves nothing behind.
bool outputFolderWritable(const std::string& folder, Console& console)
{
    const int probe = open(folder.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0600);
    if (probe >= 0) {
        close(probe);
        return true;
    }
    const int reason = errno;
    if (reason == EACCES || reason == EPERM || reason == EROFS || reason == ENOSPC || reason == EDQUOT) {
        console.error("cannot write under " + quoted(folder) + ": " + std::strerror(reason));
        return false;
    }
    return true;  // no unnamed files here: the entries will tell
}

// The message for an entry the engine did not write.
std::string problemText(const Extractor::Result& result)
{
    using Problem = Extractor::Problem;
    const std::string system = result.systemError != 0 ? std::strerror(result.systemError) : "failed";
    switch (result.problem) {
    case Problem::None:
    case Problem::Cancelled: break;
    case Problem::NoSuchEntry: return "no such entry";
    case Problem::UnsafeName: return "nothing safe is left of the name";
    case Problem::TooManyComponents:
        return "the name has more than " + std::to_string(Extractor::MaxComponents) + " components";
    case Problem::NameTooLong: return "name too long";
    case Problem::LinkOnTheWay: return quoted(result.at) + " is a symbolic link; not writing through it";
    case Problem::NotAFolderOnTheWay: return quoted(result.at) + " is not a folder";
    case Problem::FolderMissing: return "folder " + quoted(result.at) + " does not exist";
    case Problem::FolderFailed: return "cannot create folder " + quoted(result.at) + ": " + system;
    case Problem::FolderInTheWay: return "a folder is in the way at " + quoted(result.path);
    case Problem::SpecialFileInTheWay:
        return "a FIFO, device or socket is in the way at " + quoted(result.path) + "; not replacing it";
    case Problem::ArchiveInTheWay: return "not writing over the archive being read";
    case Problem::Exists: return "it exists";
    case Problem::CannotCreate: return "cannot create " + quoted(result.path) + ": " + system;
    case Problem::ReadFailed:
    case Problem::CannotWrite: return errorMessage(result.error, result.systemError);
    }
    return "failed";
}

}  // namespace

int runExtract(const Options& options, Console& console)
{
    ArchiveInput input;
    if (!openArchive(options.operands.front(), options, console, input))
        return ExitFatal;
    int failures = 0;
    const EntryNames entryNames(input.entryTable(), options.names);
    const std::vector<std::string> names(options.operands.begin() + 1, options.operands.end());
    const std::vector<std::int32_t> chosen =
        selectEntries(input.entryTable(), entryNames, names, options.excludes, console, failures);
    if (options.toStdout)
        return extractToStdout(input, entryNames, chosen, console, failures);
    const EntryTable& archive = input.entryTable();
    const Plan plan = planOutputs(archive, entryNames, chosen, console, failures);

    std::uint64_t total = 0;
    for (std::int32_t index : plan.indices)
        total += archive.at(index)->originalSize;
    // A pipe is read once, in index order, which the plan keeps.
    std::optional<Extractor> engine;
    if (input.sequential())
        engine.emplace(input.stream());
    else
        engine.emplace(input.archive());
    Extractor& extractor = *engine;
    extractor.options().overwrite = options.keepExisting ? Extractor::Overwrite::Keep : Extractor::Overwrite::Replace;
    extractor.options().threads = options.threads;
    if (!extractor.open(options.outputDir)) {
        console.error("cannot use output folder " + quoted(options.outputDir) + ": " +
                      std::strerror(extractor.openError()));
        return ExitFatal;
    }
    if (!outputFolderWritable(options.outputDir, console))
        return ExitFatal;
    ProgressLine& progress = console.progress();
    progress.start(total);
    // Results and progress come on this thread, in plan order, though the
    // entries are written on several.
    std::int32_t current = -1;
    std::uint64_t entryDone = 0;
    auto follow = [&](std::int32_t index) {
        if (index == current)
            return;
        current = index;
        entryDone = 0;
        progress.setEntry(plan.outputPath(archive, index));
    };
    extractor.options().progress = [&](std::int32_t index, std::uint64_t done, std::uint64_t) {
        follow(index);
        progress.advance(done - entryDone);
        entryDone = done;
    };
    std::vector<Extractor::Job> jobs;
    jobs.reserve(plan.indices.size());
    for (std::int32_t index : plan.indices)
        jobs.push_back({index, std::string(plan.outputPath(archive, index))});
    extractor.extractAll(jobs, [&](const Extractor::Result& result) {
        follow(result.index);
        if (result.status == Extractor::Status::Written) {
            if (console.verbose())
                console.line(displayName(result.path));
            return;
        }
        ++failures;
        if (result.status == Extractor::Status::Skipped)
            console.warning("skipped " + quoted(result.path) + ": it exists (-k)");
        else
            console.error(quoted(archive.at(result.index)->name) + ": " + problemText(result));
    });
    console.progress().clear();
    return failures == 0 ? ExitOk : ExitPartial;
}

}  // namespace vza::cli
