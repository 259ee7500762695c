// vza extract: writes entries under an output folder, never outside it.
#include <cerrno>
#include <cstring>
#include <string>
#include <sys/stat.h>
#include <unordered_map>
#include <vector>

#include "archive/archive.h"
#include "archive/atomic_file.h"
#include "archive/safe_name.h"
#include "cli/commands.h"
#include "cli/display_name.h"
#include "cli/entry_selection.h"
#include "cli/open_archive.h"
#include "cli/output_tree.h"

namespace vza::cli {
namespace {

// What the last failing system call said, for the library calls that set errno.
std::string systemReason()
{
    return errno != 0 ? std::strerror(errno) : "failed";
}

struct Job {
    std::int32_t index;    // -1 once a later entry with the same output path took over
    std::string relative;  // output path under the folder
};

// Turns the chosen entries into output paths. Entries whose names leave
// nothing safe are reported and dropped; names that had to change get a
// warning; of entries with the same output path only the last one stays,
// so the later one wins as with tar, and the earlier ones are not even read.
std::vector<Job> planJobs(const Archive& archive, const std::vector<std::int32_t>& chosen, Console& console,
                          int& failures)
{
    std::vector<Job> jobs;
    jobs.reserve(chosen.size());
    std::unordered_map<std::string, std::size_t> byPath;
    byPath.reserve(chosen.size());
    for (std::int32_t index : chosen) {
        const std::string& name = archive.entry(index)->name;
        if (name.empty()) {
            console.error("entry " + std::to_string(index + 1) + " has an empty name; skipped");
            ++failures;
            continue;
        }
        // A NUL would cut the path short in every system call.
        if (name.find('\0') != std::string::npos) {
            console.error(quoted(name) + ": the name holds a NUL byte; skipped");
            ++failures;
            continue;
        }
        std::string relative = safeOutputName(name);
        if (relative.empty()) {
            console.error(quoted(name) + ": nothing safe is left of the name; skipped");
            ++failures;
            continue;
        }
        if (relative != name)
            console.warning(quoted(name) + " is written as " + quoted(relative));
        const auto [slot, inserted] = byPath.emplace(relative, jobs.size());
        if (!inserted) {
            if (console.verbose())
                console.line("entry " + std::to_string(jobs[slot->second].index + 1) + " " +
                             quoted(relative) + " is replaced by a later entry");
            jobs[slot->second].index = -1;
            slot->second = jobs.size();
        }
        jobs.push_back(Job{index, std::move(relative)});
    }
    return jobs;
}

class Extractor {
public:
    Extractor(const Options& options, Console& console, Archive& archive)
        : options_(options), console_(console), archive_(archive)
    {
    }

    // Sets the output folder up and notes which file is the archive.
    bool prepare();

    // Writes one entry; false when it failed or was skipped (and reported).
    bool extract(const Job& job);

private:
    bool fail(const Job& job, const std::string& why)
    {
        console_.error(quoted(archive_.entry(job.index)->name) + ": " + why);
        return false;
    }

    const Options& options_;
    Console& console_;
    Archive& archive_;
    OutputTree tree_;
    struct stat archiveStatus_ {};
    bool archiveKnown_ = false;
};

bool Extractor::prepare()
{
    archiveKnown_ = stat(options_.operands.front().c_str(), &archiveStatus_) == 0;
    std::string error;
    if (!tree_.open(options_.outputDir, error)) {
        console_.error(error);
        return false;
    }
    return true;
}

bool Extractor::extract(const Job& job)
{
    ProgressLine& progress = console_.progress();
    progress.setEntry(displayName(job.relative));
    OutputTree::Slot slot;
    std::string error;
    if (!tree_.prepare(job.relative, slot, error))
        return fail(job, error);
    if (slot.exists) {
        if (S_ISDIR(slot.status.st_mode))
            return fail(job, "a folder is in the way at " + quoted(job.relative));
        // Replacing the archive would change the bytes still to be read.
        if (archiveKnown_ && slot.status.st_dev == archiveStatus_.st_dev &&
            slot.status.st_ino == archiveStatus_.st_ino)
            return fail(job, "not writing over the archive being read");
        if (options_.keepExisting) {
            console_.warning("skipped " + quoted(job.relative) + ": it exists (-k)");
            return false;
        }
    }
    AtomicFile output;
    errno = 0;
    if (!output.open(slot.path))
        return fail(job, "cannot create " + quoted(job.relative) + ": " + systemReason());
    const bool read = archive_.streamEntry(job.index, [&](const std::uint8_t* data, std::size_t length) {
        if (!output.write(data, length))
            return false;
        progress.advance(length);
        return true;
    });
    if (!read)
        return fail(job, errorText(archive_.lastError()));  // output is discarded, nothing is left
    errno = 0;
    if (!output.commit())
        return fail(job, "cannot write " + quoted(job.relative) + ": " + systemReason());
    if (console_.verbose())
        console_.line(displayName(job.relative));
    return true;
}

}  // namespace

int runExtract(const Options& options, Console& console)
{
    Archive archive;
    if (!openArchive(options.operands.front(), options, console, archive))
        return ExitFatal;
    archive.setLooseFileFallback(false);

    int failures = 0;
    const std::vector<std::string> names(options.operands.begin() + 1, options.operands.end());
    const std::vector<std::int32_t> chosen = selectEntries(archive, names, console, failures);
    const std::vector<Job> jobs = planJobs(archive, chosen, console, failures);

    Extractor extractor(options, console, archive);
    if (!extractor.prepare())
        return ExitFatal;
    std::uint64_t total = 0;
    for (const Job& job : jobs) {
        if (job.index >= 0)
            total += archive.entry(job.index)->originalSize;
    }
    console.progress().start(total);
    for (const Job& job : jobs) {
        if (job.index >= 0 && !extractor.extract(job))
            ++failures;
    }
    console.progress().clear();
    return failures == 0 ? ExitOk : ExitPartial;
}

}  // namespace vza::cli
