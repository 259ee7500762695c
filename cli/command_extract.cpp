// SPDX-License-Identifier: MIT
// vza extract: writes entries under an output folder, never outside it.
#include <algorithm>
#include <cstring>
#include <fcntl.h>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <sys/stat.h>
#include <unistd.h>
#include <unordered_map>
#include <vector>

#include "cli/check_words.h"
#include "cli/commands.h"
#include "cli/display_name.h"
#include "cli/entry_selection.h"
#include "cli/extract_to_stdout.h"
#include "cli/open_archive.h"
#include "cli/overwrite_question.h"
#include "vza/archive/extract/extractor.h"
#include "vza/archive/format/entry_check.h"
#include "vza/archive/format/limits.h"
#include "vza/archive/fs/name_hash.h"
#include "vza/archive/names/name_verdict.h"
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

// Turns the chosen entries into output paths. Entries whose names extract
// refuses (the library's judgement, judgeStoredName) are reported and
// dropped; names that had to change get a warning; of entries with the same
// output path only the last one stays, so the later one wins as with tar,
// and the earlier ones are not even read.
Plan planOutputs(const EntryNames& names, const std::vector<std::int32_t>& chosen, Console& console, int& failures)
{
    const EntryTable& archive = names.table();
    Plan plan;
    std::vector<std::int32_t> candidates;
    candidates.reserve(chosen.size());
    const auto shown = [&](std::int32_t index) {
        std::string text = names.shown(index);
        text.insert(0, 1, '\'');  // not "'" + string: a false -Wrestrict in g++ 12
        return text + '\'';
    };
    for (std::int32_t index : chosen) {
        const std::string_view name = archive.at(index)->name;
        std::string relative;
        const NameVerdict verdict = judgeStoredName(name, names.encoding(), &relative);
        if (verdict == NameVerdict::Empty) {
            console.error("entry " + std::to_string(index + 1) + " has an empty name; skipped");
            ++failures;
            continue;
        }
        if (verdict != NameVerdict::Writable) {
            const bool named = verdict == NameVerdict::HoldsNul || verdict == NameVerdict::NothingSafe;
            console.error(shown(index) + ": " + refusalReason(verdict) + (named ? "; skipped" : ""));
            ++failures;
            continue;
        }
        if (relative != name) {
            if (relative != names.text(index))
                console.warning(shown(index) + " is written as " + quoted(relative));
            plan.renamed.emplace(index, std::move(relative));
        }
        candidates.push_back(index);
    }

    // The last entry of each output path; every earlier one is left out.
    // Keyed under the process's secret hash key: the archive chooses these
    // names and must not be able to make them collide.
    std::unordered_map<std::string_view, std::int32_t, NameHasher> last;
    last.reserve(candidates.size());
    for (std::int32_t index : candidates)
        last[plan.outputPath(archive, index)] = index;
    plan.indices.reserve(last.size());
    for (std::int32_t index : candidates) {
        const std::string_view path = plan.outputPath(archive, index);
        const std::int32_t latest = last.at(path);
        if (latest == index)
            plan.indices.push_back(index);
        else if (console.verbose())
            console.line("entry " + std::to_string(index + 1) + " " + quoted(path) + " is replaced by a later entry");
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
    case Problem::TooManyFolders:
        return "the entries would make more folders than one extraction may (" + std::to_string(MaxFoldersPerRun) +
               ", or one an entry, or half the free inodes); nothing was written";
    case Problem::Exists: return "it exists";
    case Problem::CannotCreate: return "cannot create " + quoted(result.path) + ": " + system;
    case Problem::ReadFailed:
    case Problem::CannotWrite: return errorMessage(result.error, result.systemError);
    }
    return "failed";
}

// What a run did, for its summary line.
struct Outcome {
    std::uint64_t written = 0;
    std::uint64_t unchecked = 0;  // written, but stored: nothing checked their bytes
    std::uint64_t kept = 0;       // existing files left alone (-n)
};

// The summary: said only when there is more to say than that all went well
// (stored entries went unchecked, or files were kept).
void printSummary(const Outcome& outcome, Console& console)
{
    if (console.quiet() || (outcome.unchecked == 0 && outcome.kept == 0))
        return;
    std::string text = counted(outcome.written, " entry written", " entries written");
    if (outcome.kept > 0)
        text += ", " + counted(outcome.kept, " existing file kept", " existing files kept");
    if (outcome.unchecked > 0)
        text += ", " + uncheckedText(outcome.unchecked);
    console.line(text);
}

// Writes the plan's entries through extractor, reporting each; the
// progress line follows the entry being written.
Outcome writePlan(Extractor& extractor, const Plan& plan, const EntryTable& archive, Console& console, int& failures)
{
    std::uint64_t total = 0;
    for (std::int32_t index : plan.indices)
        total += archive.at(index)->originalSize;
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
    Outcome outcome;
    extractor.extractAll(jobs, [&](const Extractor::Result& result) {
        follow(result.index);
        if (result.status == Extractor::Status::Written) {
            ++outcome.written;
            if (!entryBytesChecked(archive.flags(), *archive.at(result.index)))
                ++outcome.unchecked;
            if (console.verbose())
                console.line(displayName(result.path));
        } else if (result.status == Extractor::Status::Skipped) {
            ++outcome.kept;
            if (console.verbose())
                console.line("kept " + displayName(result.path));
        } else {
            ++failures;
            console.error(quoted(archive.at(result.index)->name) + ": " + problemText(result));
        }
    });
    progress.clear();
    return outcome;
}

}  // namespace

int runExtract(const Options& options, Console& console)
{
    ArchiveInput input;
    if (!openArchive(options.operands.front(), options, console, input))
        return ExitFatal;
    int failures = 0;
    const EntryNames entryNames(input.entryTable(), options.names);
    const std::vector<std::int32_t> chosen = selectOperands(entryNames, options, SameName::First, console, failures);
    if (options.toStdout)
        return extractToStdout(input, entryNames, chosen, console, failures);
    const Plan plan = planOutputs(entryNames, chosen, console, failures);

    // A pipe is read once, in index order, which the plan keeps.
    std::optional<Extractor> engine;
    if (input.sequential())
        engine.emplace(input.stream());
    else
        engine.emplace(input.archive());
    Extractor& extractor = *engine;
    // Asked only where someone can answer; scripts see no change.
    OverwriteQuestion question(extractor, console, options.outputDir);
    if (options.keepExisting) {
        extractor.options().overwrite = Extractor::Overwrite::Keep;
    } else if (!options.replaceExisting && askingPossible(options.operands.front())) {
        extractor.options().overwrite = Extractor::Overwrite::Ask;
        extractor.options().decideOverwrite = std::ref(question);
    } else {
        extractor.options().overwrite = Extractor::Overwrite::Replace;
    }
    extractor.options().threads = options.threads;
    if (!extractor.open(options.outputDir)) {
        console.error("cannot use output folder " + quoted(options.outputDir) + ": " +
                      std::strerror(extractor.openError()));
        return ExitFatal;
    }
    if (!outputFolderWritable(options.outputDir, console))
        return ExitFatal;
    printSummary(writePlan(extractor, plan, input.entryTable(), console, failures), console);
    return failures == 0 ? ExitOk : ExitPartial;
}

}  // namespace vza::cli
