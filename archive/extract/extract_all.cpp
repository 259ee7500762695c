// SPDX-License-Identifier: MIT
// Extractor::extractAll: many entries, on several threads, ending as if
// written one after the other.
//
// The calling thread judges each job's name, asks OutputConflicts which
// earlier job it must follow, and gathers consecutive small jobs into
// batches. Each batch is written in order by one thread, which reads each
// entry whole into memory through its own EntryReader (neighbours come from
// one read ahead) and writes it with one write. A job that must follow an earlier job of another batch
// is held back until that batch is done; a large entry waits for everything
// before it and is written on the calling thread, block by block, with
// progress as it goes. The calling thread takes the batches back in order
// and reports their results, so callbacks see the same sequence whatever the
// number of threads.
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
#include <algorithm>
#include <cerrno>

#include <sys/resource.h>

#include "vza/archive/extract/extractor_parts.h"
#include "vza/archive/extract/output_conflicts.h"
#include "vza/archive/format/format.h"
#include "vza/archive/read/archive.h"
#include "vza/archive/read/entry_reader.h"

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
// Prepared files held open at most, and the share of the descriptor limit
// they may take: an eighth leaves room for the folders each thread keeps
// open and for the rest of the program (one batch a thread fits in 1 024).
// Past it an entry read ahead waits in memory instead.
constexpr int MaxHeldFiles = 512;
constexpr rlim_t HeldShare = 8;

bool small(const EntryView& entry)
{
    return entry.storedSize <= SmallEntry && entry.originalSize <= SmallEntry;
}

int heldFileLimit()
{
    struct rlimit limit {};
    if (::getrlimit(RLIMIT_NOFILE, &limit) != 0)
        return 0;
    if (limit.rlim_cur == RLIM_INFINITY)
        return MaxHeldFiles;
    return static_cast<int>(std::min<rlim_t>(MaxHeldFiles, limit.rlim_cur / HeldShare));
}

}  // namespace

// --- Pool ----------------------------------------------------------------------

Extractor::Pool::Pool(Extractor& owner, unsigned threads) : owner_(owner)
{
    for (unsigned n = 0; n < threads; ++n) {
        lanes_.push_back(std::make_unique<Lane>());
        lanes_.back()->folders.start(owner.destination_, owner.options_.createFolders, owner.destinationMade_,
                                     owner.made_.get());
    }
    for (auto& lane : lanes_)
        threads_.emplace_back([this, &lane] { work(*lane); });
}

Extractor::Pool::~Pool()
{
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stopping_ = true;
    }
    work_.notify_all();
    answers_.notify_all();
    turns_.notify_all();
    for (std::thread& thread : threads_)
        thread.join();
}

void Extractor::Pool::push(std::unique_ptr<Batch> batch)
{
    {
        std::lock_guard<std::mutex> lock(mutex_);
        batch->sequence = pushed_++;
        waiting_.push_back(batch.get());
        order_.push_back(std::move(batch));
    }
    work_.notify_one();
}

void Extractor::Pool::work(Lane& lane)
{
    for (;;) {
        Batch* batch = nullptr;
        {
            std::unique_lock<std::mutex> lock(mutex_);
            work_.wait(lock, [this] { return stopping_ || !waiting_.empty(); });
            if (waiting_.empty())
                return;
            batch = waiting_.front();
            waiting_.pop_front();
        }
        const Ask ask = [this, batch](const Question& question) { return askCaller(*batch, question); };
        if (batch->prepareOnly) {
            // Read ahead while other threads write; then, in turn, in place.
            owner_.prepareBatch(lane, *batch);
            bool turn = false;
            {
                std::unique_lock<std::mutex> lock(mutex_);
                turns_.wait(lock, [&] { return turn_ == batch->sequence || stopping_; });
                turn = turn_ == batch->sequence;
            }
            if (turn)
                owner_.placeBatch(lane, *batch, ask);
            {
                std::lock_guard<std::mutex> lock(mutex_);
                ++turn_;
            }
            turns_.notify_all();
        } else {
            owner_.runBatch(lane, *batch, ask);
        }
        {
            std::lock_guard<std::mutex> lock(mutex_);
            batch->done = true;
        }
        progress_.notify_one();
    }
}

// A question from a worker goes to the calling thread, which asks it when
// this batch is the oldest: questions come in job order.
Extractor::OverwriteAnswer Extractor::Pool::askCaller(Batch& batch, const Question& question)
{
    std::unique_lock<std::mutex> lock(mutex_);
    batch.question = &question;
    batch.answered = false;
    progress_.notify_one();
    answers_.wait(lock, [&] { return batch.answered || stopping_; });
    batch.question = nullptr;
    return batch.answered ? std::move(batch.answer) : OverwriteAnswer::keep();
}

std::unique_ptr<Extractor::Batch> Extractor::Pool::takeOldest(const Ask& ask)
{
    std::unique_lock<std::mutex> lock(mutex_);
    Batch& oldest = *order_.front();
    for (;;) {
        progress_.wait(lock, [&] { return oldest.done || (oldest.question && !oldest.answered); });
        if (oldest.done)
            break;
        // The worker waits for the answer, so its question stays valid.
        const Question& question = *oldest.question;
        lock.unlock();
        OverwriteAnswer answer = ask(question);
        lock.lock();
        oldest.answer = std::move(answer);
        oldest.answered = true;
        answers_.notify_all();
    }
    std::unique_ptr<Batch> batch = std::move(order_.front());
    order_.pop_front();
    return batch;
}

// --- one batch -------------------------------------------------------------------

bool Extractor::Lane::readWhole(Archive& archive, std::int32_t index)
{
    if (!reader)
        reader = std::make_unique<EntryReader>(archive);
    plain.clear();
    return reader->streamEntry(index, [this](const std::uint8_t* data, std::size_t length) {
        plain.insert(plain.end(), data, data + length);
        return true;
    });
}

// Writes the batch's jobs in order on lane: each entry is read whole into
// memory by the lane's own reader (neighbouring small entries come from one
// read ahead) and written in one call.
void Extractor::runBatch(Lane& lane, Batch& batch, const Ask& ask)
{
    const bool stopAtFailure = options_.stopAtFirstFailure;
    bool failed = false;
    for (Item& item : batch.items) {
        if (failed)
            continue;  // not started, and not reported
        if (cancelled()) {
            done(item.result, Problem::Cancelled, ArchiveError::None);
            continue;  // not started
        }
        item.started = true;
        if (item.refused) {
            failed = stopAtFailure && item.result.status == Status::Failed;
            continue;
        }
        const std::int32_t index = item.result.index;
        write(
            lane, item.target, item.mayExist, ask,
            [&](OutputFile& out, Result& result) {
                if (!lane.readWhole(*archive_, index))
                    return done(result, Problem::ReadFailed, lane.reader->lastError(), lane.reader->systemError());
                if (lane.plain.empty())
                    return true;
                if (!out.write(lane.plain.data(), lane.plain.size()))
                    return done(result, Problem::CannotWrite, ArchiveError::CannotWriteOutput, out.systemError());
                item.written = lane.plain.size();
                // As after each block of a large entry.
                return !cancelled() || done(result, Problem::Cancelled, ArchiveError::None);
            },
            item.result);
        failed = stopAtFailure && item.result.status == Status::Failed;
    }
}

// Reads the batch's entries ahead, leaving nothing anyone can see: each goes
// into an unnamed file in its folder when the folder is there and a file
// may be held open, else into memory. Nothing is made, looked at or asked.
void Extractor::prepareBatch(Lane& lane, Batch& batch)
{
    lane.folders.makeFolders(false);
    for (Item& item : batch.items) {
        if (halt_.load(std::memory_order_relaxed) || cancelled())
            continue;  // not started
        item.started = true;
        if (item.refused)
            continue;
        if (!lane.readWhole(*archive_, item.result.index)) {
            item.readFailed = true;
            item.readError = lane.reader->lastError();
            item.readSystemError = lane.reader->systemError();
            continue;
        }
        item.written = lane.plain.size();
        if (unnamedFiles_.load(std::memory_order_relaxed) && heldFiles_.load(std::memory_order_relaxed) < heldLimit_) {
            heldFiles_.fetch_add(1, std::memory_order_relaxed);
            HeldFile file(new OutputFile, HeldFileRelease{&heldFiles_});
            FolderWalk::Failure failure;
            const int parent = lane.folders.open(item.target.folder, failure);
            if (parent >= 0 && file->create(parent, item.target.leaf)) {
                if (file->namedTemporary())
                    unnamedFiles_.store(false, std::memory_order_relaxed);  // a name would be seen
                else if (file->write(lane.plain.data(), lane.plain.size())) {
                    item.file = std::move(file);
                    continue;
                }
            }
            // Not here: the calling thread makes the file, and meets
            // whatever stood in the way, in its turn.
        }
        item.bytes.assign(lane.plain.begin(), lane.plain.end());
    }
}

// The batch's turn: every job before it has ended not Failed. Its jobs go
// in place in order, through the same steps as write() one after the other,
// up to the first that fails or finds cancel set; that one ends the run.
void Extractor::placeBatch(Lane& lane, Batch& batch, const Ask& ask)
{
    lane.folders.makeFolders(options_.createFolders);
    for (Item& item : batch.items) {
        if (halt_.load(std::memory_order_relaxed))
            return;
        item.placed = true;
        if (!item.started || cancelled()) {
            done(item.result, Problem::Cancelled, ArchiveError::None);
            halt_.store(true);
            return;
        }
        if (!item.refused) {
            write(
                lane, item.target, item.mayExist, ask,
                [this, &item](OutputFile& out, Result& result) {
                    if (item.readFailed)
                        return done(result, Problem::ReadFailed, item.readError, item.readSystemError);
                    if (item.file || item.bytes.empty() || out.write(item.bytes.data(), item.bytes.size()))
                        return true;
                    return done(result, Problem::CannotWrite, ArchiveError::CannotWriteOutput, out.systemError());
                },
                item.result, item.file.get());
            item.file.reset();
            item.bytes = {};
        }
        if (item.result.status == Status::Failed || item.result.status == Status::Cancelled) {
            halt_.store(true);
            return;
        }
    }
}

// --- the run ---------------------------------------------------------------------

unsigned Extractor::threadCount() const
{
    unsigned threads = options_.threads;
    if (threads == 0)
        threads = std::max(1u, std::thread::hardware_concurrency());
    return std::min(threads, MaxThreads);
}

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
    const EntryTable& table = entryTable();
    if (!encoding_)
        encoding_ = chooseNameEncoding(table.entries(), options_.names);
    const unsigned threads = caseBlind_ ? 1 : threadCount();
    const bool stopAtFailure = options_.stopAtFirstFailure;
    // A renamed entry's new path is one the check of conflicts did not
    // plan: any later job with that path waits for every job planned so far.
    std::int64_t planned = positions_;
    const Ask ask = [this, &planned](const Question& question) {
        OverwriteAnswer answer = askCaller(question);
        if (answer.action == OverwriteAnswer::Action::Rename)
            conflicts_->note(planned - 1, *question.folder, answer.newName);
        return answer;
    };
    halt_.store(false);
    heldLimit_ = heldFileLimit();
    unnamedFiles_.store(true);  // tried again: the destination may have changed

    std::unique_ptr<Pool> pool;
    OutputConflicts& conflicts = *conflicts_;
    // Positions go on from the last call, whose paths conflicts still holds.
    const std::int64_t base = positions_;
    positions_ += static_cast<std::int64_t>(jobs.size());
    auto batch = std::make_unique<Batch>();
    std::int64_t batchStart = base;  // the position of batch's first job
    std::int64_t reported = base;    // every job before it is written and reported
    bool cancelReported = false;
    bool stopped = false;  // stopAtFirstFailure: a job failed, nothing more is reported

    const auto stopHere = [&](const Result& result) {
        if (stopAtFailure && result.status == Status::Failed) {
            stopped = true;
            halt_.store(true);  // the threads prepare nothing more
        }
    };
    const auto reportWritten = [&](const Item& item) {
        if (item.written > 0 && options_.progress)
            options_.progress(item.result.index, item.written, table.at(item.result.index)->originalSize);
        cancelReported = cancelReported || item.result.status == Status::Cancelled;
        report(item.result);
        stopHere(item.result);
    };
    auto reportItems = [&](Batch& finished) {
        if (finished.prepareOnly) {
            // Put in place in their turn: each job up to the one that
            // ended the run.
            for (Item& item : finished.items) {
                if (stopped || cancelReported || !item.placed)
                    break;
                reportWritten(item);
            }
        } else {
            for (Item& item : finished.items) {
                if (stopped)
                    break;  // the jobs after a failure are not reported
                if (!item.started) {
                    // Cancelled before it began: the first such job is reported,
                    // as extract() would; no later job is.
                    if (!cancelReported)
                        report(item.result);
                    cancelReported = true;
                    continue;
                }
                reportWritten(item);
            }
        }
        reported += static_cast<std::int64_t>(finished.items.size());
    };
    auto takeOne = [&] { reportItems(*pool->takeOldest(ask)); };
    auto drainAll = [&] {
        while (pool && pool->inFlight() > 0)
            takeOne();
    };
    auto flush = [&](bool moreToCome) {
        if (batch->items.empty())
            return;
        const std::int64_t size = static_cast<std::int64_t>(batch->items.size());
        if (!pool && threads > 1 && moreToCome)
            pool = std::make_unique<Pool>(*this, threads);
        if (pool) {
            batch->prepareOnly = stopAtFailure;
            pool->push(std::move(batch));
            // Memory stays bounded: a few batches a thread at most.
            if (pool->inFlight() > 2 * static_cast<std::size_t>(threads))
                takeOne();
        } else {
            runBatch(*lane_, *batch, ask);
            reportItems(*batch);
        }
        batch = std::make_unique<Batch>();
        batchStart += size;
    };

    for (std::size_t position = 0; position < jobs.size(); ++position) {
        const std::int64_t here = base + static_cast<std::int64_t>(position);
        planned = here + 1;
        if (cancelled() || cancelReported || stopped)
            break;
        const Job& job = jobs[position];
        Item item;
        const std::optional<EntryView> entry = table.at(job.index);
        std::string path = job.path;
        if (path.empty() && entry) {
            path = outputNameFor(entry->name, *encoding_);
            if (path.empty()) {
                item.result.index = job.index;
                item.refused = true;
                done(item.result, Problem::UnsafeName, ArchiveError::UnsafeName);
            }
        }
        if (!item.refused)
            item.refused = !target(job.index, path, item.result, item.target);
        if (!item.refused) {
            const OutputConflicts::Verdict verdict = conflicts.add(here, item.target.folder, item.target.leaf);
            item.mayExist = verdict.seen || singles_;
            const std::int64_t follows = verdict.everything ? here - 1 : verdict.after;
            const bool alone = item.target.climbs;
            if (!small(*entry) || alone) {
                // Written here, after everything before it, block by block
                // with progress.
                flush(false);
                drainAll();
                if (stopped || cancelReported)
                    break;
                Result result = item.result;
                write(
                    *lane_, item.target, item.mayExist || alone, ask,
                    [this, &job](OutputFile& out, Result& r) { return fillFromSource(job.index, out, r); }, result);
                // Where a path that climbs ends is not known to the check
                // of conflicts: every later path looks before it is written.
                singles_ = singles_ || alone;
                report(result);
                cancelReported = result.status == Status::Cancelled;
                stopHere(result);
                ++reported;
                ++batchStart;
                continue;
            }
            // Held back until the job it must follow is written, unless
            // that one is in this batch, written before it by the same
            // thread. Jobs read ahead wait for nothing: their batches are
            // put in place one after the other in any case.
            const bool prepared = stopAtFailure && pool;
            if (!prepared && follows >= reported && follows < batchStart) {
                flush(true);
                while (reported <= follows)
                    takeOne();
            }
            batch->storedBytes += entry->storedSize;
            if (stopAtFailure)
                batch->storedBytes += entry->originalSize;  // held in memory, possibly
        }
        const bool refused = item.refused;
        batch->items.push_back(std::move(item));
        // Stopping at a failure, nothing after a refused name is wanted.
        if (refused && stopAtFailure) {
            flush(false);
            break;
        }
        if (batch->items.size() >= BatchJobs || batch->storedBytes >= BatchBytes)
            flush(position + 1 < jobs.size());
    }
    if (stopped) {
        batch->items.clear();
        drainAll();  // what the threads still hold is dropped
        return;
    }
    if (!cancelReported && cancelled()) {
        // Cancelled between jobs: the next one says so, as extract() would.
        flush(false);
        drainAll();
        if (!cancelReported && !stopped && reported < positions_) {
            Result result;
            result.index = jobs[static_cast<std::size_t>(reported - base)].index;
            done(result, Problem::Cancelled, ArchiveError::None);
            report(result);
        }
        return;
    }
    flush(false);
    drainAll();
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

}  // namespace vza
