// SPDX-License-Identifier: MIT
// Extractor's threads: the pool that writes batches of jobs in order, and
// what one thread does with one batch (write it, or read it ahead and put it
// in place in its turn). See extract_all.cpp for the run that feeds them.
#include <algorithm>
#include <cerrno>

#include "vza/archive/extract/extractor_parts.h"
#include "vza/archive/read/archive.h"
#include "vza/archive/read/entry_reader.h"

namespace vza {

// --- Pool ----------------------------------------------------------------------

Extractor::Pool::Pool(Extractor& owner, unsigned threads, std::size_t folders) : owner_(owner)
{
    for (unsigned n = 0; n < threads; ++n) {
        lanes_.push_back(std::make_unique<Lane>());
        lanes_.back()->folders.start(owner.destination_, owner.options_.createFolders, owner.destinationMade_,
                                     owner.made_.get());
        lanes_.back()->folders.setCacheLimit(folders);
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

void Extractor::Lane::readAheadWithin(Archive& archive, const Batch& batch)
{
    if (!reader)
        reader = std::make_unique<EntryReader>(archive);
    std::uint64_t end = 0;
    for (const Item& item : batch.items) {
        if (const std::optional<EntryView> entry = archive.entry(item.result.index))
            end = std::max(end, archive.storedOffset(item.result.index) + entry->storedSize);
    }
    reader->limitReadAhead(end);
}

// Writes the batch's jobs in order on lane: each entry is read whole into
// memory by the lane's own reader (neighbouring small entries come from one
// read ahead) and written in one call.
void Extractor::runBatch(Lane& lane, Batch& batch, const Ask& ask)
{
    const bool stopAtFailure = options_.stopAtFirstFailure;
    bool failed = false;
    lane.readAheadWithin(*archive_, batch);
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
    lane.readAheadWithin(*archive_, batch);
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
        if (!holdPrepared(lane, item))
            item.bytes.assign(lane.plain.begin(), lane.plain.end());
    }
}

// Puts the entry just read (lane.plain) into an unnamed file in its folder,
// when the folder is there, the destination takes unnamed files and one
// more may be held open. Nothing anyone can see is made: where the file
// would need a name it is not made at all.
bool Extractor::holdPrepared(Lane& lane, Item& item)
{
    if (!unnamedFiles_.load(std::memory_order_relaxed) || heldFiles_.load(std::memory_order_relaxed) >= heldLimit_)
        return false;
    heldFiles_.fetch_add(1, std::memory_order_relaxed);
    HeldFile file(new OutputFile, HeldFileRelease{&heldFiles_});
    FolderWalk::Failure failure;
    const int parent = lane.folders.open(item.target.folder, failure);
    if (parent < 0)
        return false;  // the calling thread meets whatever is in the way, in its turn
    if (!file->createUnnamed(parent, item.target.leaf, &temporaries_)) {
        if (file->systemError() == EOPNOTSUPP)
            unnamedFiles_.store(false, std::memory_order_relaxed);
        return false;
    }
    if (!file->write(lane.plain.data(), lane.plain.size()))
        return false;
    item.file = std::move(file);
    return true;
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

}  // namespace vza
