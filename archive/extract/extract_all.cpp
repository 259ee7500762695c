// SPDX-License-Identifier: MIT
// Extractor::extractAll: many entries, on several threads, ending as if
// written one after the other.
//
// The calling thread judges each job's name, asks OutputConflicts which
// earlier job it must follow, and gathers consecutive small jobs into
// batches. Each batch is written in order by one thread, which reads each
// entry whole into memory through its own EntryReader (neighbours come from
// one read ahead) and writes it with one write (extract_pool.cpp). A job
// that must follow an earlier job of another batch is held back until that
// batch is done; a large entry waits for everything before it and is written
// on the calling thread, block by block, with progress as it goes. The
// calling thread takes the batches back in order and reports their results,
// so callbacks see the same sequence whatever the number of threads.
//
// Stopping at the first failure, a later job may leave nothing on the disk
// until every job before it has ended well. A thread then first prepares
// its batch: reads each entry and writes it into an unnamed file in its
// folder, if that folder is there already (else the bytes wait in memory),
// making nothing. Then it waits for the batch's turn, which comes when the
// batch before it is wholly in place, and puts its jobs in place in order:
// makes the folders, looks, asks, links the prepared file in; the same
// steps as write() in the same order. The first job that fails ends the
// run: no later batch takes its turn, and what they prepared is dropped.
//
// Descriptors: the run shares what the limit leaves (the soft limit, less
// those open when it starts and a few for the rest of the program) between
// its threads, their folder caches and the files read ahead; a thread that
// still finds none gives its cache back and tries once more.
#include <algorithm>
#include <cerrno>
#include <unordered_set>

#include <sys/statvfs.h>

#include "vza/archive/extract/extractor_parts.h"
#include "vza/archive/extract/output_conflicts.h"
#include "vza/archive/format/format.h"
#include "vza/archive/format/limits.h"
#include "vza/archive/fs/name_hash.h"
#include "vza/archive/fs/process_limits.h"
#include "vza/archive/read/archive.h"

namespace vza {
namespace {

// Entries up to this size, stored and plain, are written whole from memory
// by any thread; larger ones one block at a time, with progress between.
constexpr std::uint64_t SmallEntry = 512 << 10;
// A batch ends at this many jobs or stored bytes: big enough that the
// threads rarely meet, small enough that memory stays a few MiB.
constexpr std::size_t BatchJobs = 64;
constexpr std::uint64_t BatchBytes = 1 << 20;
constexpr unsigned MaxThreads = 64;
// Prepared files held open at most; past the budget an entry read ahead
// waits in memory instead.
constexpr std::size_t MaxHeldFiles = 512;
// Descriptors left to the rest of the program, and those a thread needs at
// once besides its folder cache: the folder walked, the file, a temporary.
constexpr std::size_t SpareDescriptors = 16;
constexpr std::size_t ThreadDescriptors = 4;

bool small(const EntryView& entry)
{
    return entry.storedSize <= SmallEntry && entry.originalSize <= SmallEntry;
}

}  // namespace

// --- limits of one run -------------------------------------------------------------

Extractor::Budget Extractor::budget() const
{
    unsigned wanted = options_.threads == 0 ? usableCpuCount() : options_.threads;
    wanted = std::min(caseBlind_ ? 1u : wanted, MaxThreads);
    const std::size_t limit = descriptorLimit();
    const std::size_t held = descriptorsOpen() + SpareDescriptors;
    const std::size_t total = limit > held ? limit - held : 0;
    Budget budget;
    // Threads that fit with a couple of cached folders each, the calling
    // thread's lane included.
    const std::size_t lanes = total / (ThreadDescriptors + 2);
    budget.threads = static_cast<unsigned>(std::clamp<std::size_t>(lanes > 1 ? lanes - 1 : 1, 1, wanted));
    const std::size_t users = budget.threads + 1u;
    const std::size_t spare = total > users * ThreadDescriptors ? total - users * ThreadDescriptors : 0;
    budget.folders = std::clamp<std::size_t>(spare / 2 / users, 1, FolderWalk::MaxOpenFolders);
    const std::size_t cached = users * budget.folders;
    budget.heldFiles = static_cast<int>(std::min(MaxHeldFiles, spare > cached ? spare - cached : 0));
    return budget;
}

// The distinct folders the jobs' paths need, counted up to cap + 1 (the
// destination's own not included); paths refused later count nothing. A
// folder's key is the keyed hash of its parent's key and its own name, so
// the count costs one pass over each name and cannot be steered into
// collisions.
std::uint64_t Extractor::folderCount(const std::vector<Job>& jobs, std::uint64_t cap) const
{
    std::unordered_set<std::uint64_t> folders;
    std::vector<std::uint64_t> keys;
    std::string link;
    Target target;
    for (const Job& job : jobs) {
        const std::optional<EntryView> entry = entryTable().at(job.index);
        if (!entry)
            continue;
        const std::string decoded = job.path.empty() ? outputNameFor(entry->name, *encoding_) : std::string();
        if (splitOutputPath(job.path.empty() ? decoded : job.path, asGiven_, target) != OutputPathProblem::None)
            continue;
        keys.clear();
        std::uint64_t parent = target.absolute ? 1 : 0;
        for (std::size_t index = 0; index < target.folder.size(); ++index) {
            link.assign(reinterpret_cast<const char*>(&parent), sizeof parent);
            link += target.folder.component(index);
            keys.push_back(parent = nameHash(link));
        }
        // Deepest first: a folder already counted has its parents counted.
        for (auto key = keys.rbegin(); key != keys.rend() && folders.insert(*key).second; ++key) {
        }
        if (folders.size() > cap)
            break;
    }
    return folders.size();
}

// Whether the jobs would make more folders than one run may: the larger of
// MaxFoldersPerRun and the number of jobs, and at most half the destination's
// free inodes. Counted only when the names could reach the bound at all.
bool Extractor::tooManyFolders(const std::vector<Job>& jobs) const
{
    std::uint64_t cap = std::max<std::uint64_t>(MaxFoldersPerRun, jobs.size());
    struct statvfs system {};
    if (::fstatvfs(destination_, &system) == 0 && system.f_files > 0)
        cap = std::min<std::uint64_t>(cap, system.f_favail / 2);
    std::uint64_t separators = 0;  // a bound on the folders the names name
    for (const Job& job : jobs) {
        const std::optional<EntryView> entry = entryTable().at(job.index);
        const std::string_view name = !job.path.empty() ? std::string_view(job.path)
                                      : entry           ? entry->name
                                                        : std::string_view();
        separators += static_cast<std::uint64_t>(
            std::count_if(name.begin(), name.end(), [](char c) { return c == '/' || c == '\\'; }));
        if (separators > cap)
            return folderCount(jobs, cap) > cap;
    }
    return false;
}

// --- the run ---------------------------------------------------------------------

void Extractor::extractInOrder(const std::vector<Job>& jobs, const Report& report)
{
    for (const Job& job : jobs) {
        const Result result = job.path.empty() ? extract(job.index) : extract(job.index, job.path);
        report(result);
        if (result.status == Status::Cancelled || (options_.stopAtFirstFailure && result.status == Status::Failed))
            break;
    }
}

void Extractor::extractAll(const std::vector<Job>& jobs, const Report& report)
{
    if (!archive_ || destination_ < 0) {
        extractInOrder(jobs, report);
        return;
    }
    if (!encoding_)
        encoding_ = chooseNameEncoding(entryTable().entries(), options_.names);
    if (tooManyFolders(jobs)) {
        // Refused whole, before anything is made: the first job says why.
        Result result;
        result.index = jobs.front().index;
        done(result, Problem::TooManyFolders, ArchiveError::CannotWriteOutput, EMLINK);
        report(result);
        return;
    }
    const Budget limits = budget();
    halt_.store(false);
    heldLimit_ = limits.heldFiles;
    unnamedFiles_.store(true);  // tried again: the destination may have changed
    lane_->folders.setCacheLimit(limits.folders);
    Run run(*this, jobs, report, limits);
    run.go();
    lane_->folders.setCacheLimit(FolderWalk::MaxOpenFolders);
}

std::vector<Extractor::Result> Extractor::extractAll(const std::vector<std::int32_t>& indices)
{
    std::vector<Job> jobs;
    jobs.reserve(indices.size());
    for (std::int32_t index : indices)
        jobs.push_back({index, std::string()});
    std::vector<Result> results;
    results.reserve(indices.size());
    extractAll(jobs, [&results](const Result& result) { results.push_back(result); });
    return results;
}

// --- Run --------------------------------------------------------------------------

Extractor::Run::Run(Extractor& owner, const std::vector<Job>& jobs, const Report& report, const Budget& limits)
    : owner_(owner), jobs_(jobs), report_(report), table_(owner.entryTable()), limits_(limits),
      stopAtFailure_(owner.options_.stopAtFirstFailure), batch_(std::make_unique<Batch>())
{
    // Positions go on from the last call, whose paths the check of
    // conflicts still holds.
    base_ = owner.positions_;
    owner.positions_ += static_cast<std::int64_t>(jobs.size());
    batchStart_ = reported_ = planned_ = base_;
    // A renamed entry's new path is one the check of conflicts did not
    // plan: any later job with that path waits for every job planned so far.
    ask_ = [this](const Question& question) {
        OverwriteAnswer answer = owner_.askCaller(question);
        if (answer.action == OverwriteAnswer::Action::Rename)
            owner_.conflicts_->note(planned_ - 1, *question.folder, answer.newName);
        return answer;
    };
}

Extractor::Run::~Run() = default;

void Extractor::Run::go()
{
    for (std::size_t position = 0; position < jobs_.size(); ++position) {
        if (owner_.cancelled() || cancelReported_ || stopped_ || !take(position))
            break;
    }
    finish();
}

// Judges job position and plans it: into the batch, or written here when
// it is large or its path climbs. False when the run ends with it.
bool Extractor::Run::take(std::size_t position)
{
    const std::int64_t here = base_ + static_cast<std::int64_t>(position);
    planned_ = here + 1;
    const Job& job = jobs_[position];
    Item item;
    judge(job, item);
    if (!item.refused) {
        const EntryView entry = *table_.at(job.index);
        const OutputConflicts::Verdict verdict = owner_.conflicts_->add(here, item.target.folder, item.target.leaf);
        item.mayExist = verdict.seen || owner_.singles_;
        if (!small(entry) || item.target.climbs)
            return writeHere(item, job);
        // Held back until the job it must follow is written, unless that
        // one is in this batch, written before it by the same thread. Jobs
        // read ahead wait for nothing: their batches are put in place one
        // after the other in any case.
        const std::int64_t follows = verdict.everything ? here - 1 : verdict.after;
        if (!(stopAtFailure_ && pool_) && follows >= reported_ && follows < batchStart_) {
            flush(true);
            while (reported_ <= follows)
                takeOne();
        }
        batch_->storedBytes += entry.storedSize;
        if (stopAtFailure_)
            batch_->storedBytes += entry.originalSize;  // held in memory, possibly
    }
    const bool refused = item.refused;
    batch_->items.push_back(std::move(item));
    if (refused && stopAtFailure_) {
        flush(false);  // stopping at a failure, nothing after it is wanted
        return false;
    }
    if (batch_->items.size() >= BatchJobs || batch_->storedBytes >= BatchBytes)
        flush(position + 1 < jobs_.size());
    return true;
}

// The job's name, decoded and made safe when the caller gave no path, and
// judged: item.refused with its result when it is refused.
void Extractor::Run::judge(const Job& job, Item& item)
{
    const std::optional<EntryView> entry = table_.at(job.index);
    std::string path = job.path;
    if (path.empty() && entry) {
        path = outputNameFor(entry->name, *owner_.encoding_);
        if (path.empty()) {
            item.result.index = job.index;
            item.refused = true;
            owner_.done(item.result, Problem::UnsafeName, ArchiveError::UnsafeName);
            return;
        }
    }
    item.refused = !owner_.target(job.index, path, item.result, item.target);
}

// A large entry, or a path that climbs, written on this thread after
// everything before it, block by block with progress. False when the run
// ended before it.
bool Extractor::Run::writeHere(Item& item, const Job& job)
{
    flush(false);
    drainAll();
    if (stopped_ || cancelReported_)
        return false;
    Result result = item.result;
    const bool climbs = item.target.climbs;
    owner_.write(
        *owner_.lane_, item.target, item.mayExist || climbs, ask_,
        [this, &job](OutputFile& out, Result& r) { return owner_.fillFromSource(job.index, out, r); }, result);
    // Where a path that climbs ends is not known to the check of conflicts:
    // every later path looks before it is written.
    owner_.singles_ = owner_.singles_ || climbs;
    report_(result);
    cancelReported_ = result.status == Status::Cancelled;
    stopHere(result);
    ++reported_;
    ++batchStart_;
    return true;
}

// Hands the batch gathered so far to the threads (or writes it here when
// there are none), and starts a new one.
void Extractor::Run::flush(bool moreToCome)
{
    if (batch_->items.empty())
        return;
    const std::int64_t size = static_cast<std::int64_t>(batch_->items.size());
    if (!pool_ && limits_.threads > 1 && moreToCome)
        pool_ = std::make_unique<Pool>(owner_, limits_.threads, limits_.folders);
    if (pool_) {
        batch_->prepareOnly = stopAtFailure_;
        pool_->push(std::move(batch_));
        // Memory stays bounded: a few batches a thread at most.
        if (pool_->inFlight() > 2 * static_cast<std::size_t>(limits_.threads))
            takeOne();
    } else {
        owner_.runBatch(*owner_.lane_, *batch_, ask_);
        reportItems(*batch_);
    }
    batch_ = std::make_unique<Batch>();
    batchStart_ += size;
}

void Extractor::Run::takeOne()
{
    reportItems(*pool_->takeOldest(ask_));
}

void Extractor::Run::drainAll()
{
    while (pool_ && pool_->inFlight() > 0)
        takeOne();
}

void Extractor::Run::finish()
{
    if (stopped_) {
        batch_->items.clear();
        drainAll();  // what the threads still hold is dropped
        return;
    }
    const bool cancelledBetween = !cancelReported_ && owner_.cancelled();
    flush(false);
    drainAll();
    if (cancelledBetween && !cancelReported_ && !stopped_ && reported_ < owner_.positions_) {
        // Cancelled between jobs: the next one says so, as extract() would.
        Result result;
        result.index = jobs_[static_cast<std::size_t>(reported_ - base_)].index;
        owner_.done(result, Problem::Cancelled, ArchiveError::None);
        report_(result);
    }
}

void Extractor::Run::stopHere(const Result& result)
{
    if (stopAtFailure_ && result.status == Status::Failed) {
        stopped_ = true;
        owner_.halt_.store(true);  // the threads prepare nothing more
    }
}

void Extractor::Run::reportWritten(const Item& item)
{
    if (item.written > 0 && owner_.options_.progress)
        owner_.options_.progress(item.result.index, item.written, table_.at(item.result.index)->originalSize);
    cancelReported_ = cancelReported_ || item.result.status == Status::Cancelled;
    report_(item.result);
    stopHere(item.result);
}

// A finished batch's results, in order: those of jobs read ahead up to the
// one that ended the run; the others up to a failure that stops the run,
// and of jobs cancelled before they began only the first.
void Extractor::Run::reportItems(Batch& finished)
{
    for (Item& item : finished.items) {
        if (finished.prepareOnly) {
            if (stopped_ || cancelReported_ || !item.placed)
                break;
            reportWritten(item);
            continue;
        }
        if (stopped_)
            break;
        if (!item.started) {
            if (!cancelReported_)
                report_(item.result);
            cancelReported_ = true;
            continue;
        }
        reportWritten(item);
    }
    reported_ += static_cast<std::int64_t>(finished.items.size());
}

}  // namespace vza
