// SPDX-License-Identifier: MIT
// The Extractor's inner pieces, shared by its one-entry path (extractor.cpp)
// and its many-entry path (extract_all.cpp). Not part of the public API.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "vza/archive/extract/extractor.h"
#include "vza/archive/fs/folder_walk.h"
#include "vza/archive/fs/output_file.h"
#include "vza/archive/read/entry_reader.h"

namespace vza {

// A question about a file at an entry's output path, for the calling thread.
struct Extractor::Question {
    std::int32_t index = -1;
    std::string path;                    // the output path, as the caller is shown it
    const FolderPath* folder = nullptr;  // the folder it is in (Target::folder)
    std::string_view leaf;               // its last component now
};

// How an entry's file goes in place, as decided after the look before it.
struct Extractor::Placement {
    std::string leaf;  // the target's, or the name the caller renamed it to
    OutputFile::Replace replace = OutputFile::Replace::Yes;
    bool renamed = false;
};

// What one thread writes with: its own open folders and buffers.
struct Extractor::Lane {
    FolderWalk folders;
    FolderWalk rootFolders;
    std::vector<std::uint8_t> plain;      // one entry's plain bytes
    std::unique_ptr<EntryReader> reader;  // made on the lane's first batch

    // Reads entry index of archive whole into plain through reader; false
    // with reader's lastError when it cannot be read.
    bool readWhole(Archive& archive, std::int32_t index);
    // Keeps reader's read ahead within the stored bytes of batch's entries:
    // the next batch's bytes are read by the thread that takes it, once.
    void readAheadWithin(Archive& archive, const Batch& batch);
};

// A prepared file (see Item) held open; the count of such files goes down
// when it is put in place or dropped.
struct HeldFileRelease {
    std::atomic<int>* count = nullptr;
    void operator()(OutputFile* file) const
    {
        delete file;  // discards it unless it was put in place
        if (count)
            count->fetch_sub(1, std::memory_order_relaxed);
    }
};
using HeldFile = std::unique_ptr<OutputFile, HeldFileRelease>;

// One job of extractAll on its way.
struct Extractor::Item {
    Result result;
    Target target;
    bool refused = false;  // the name was refused: result is final already
    bool mayExist = true;  // an earlier entry had this path: look before writing
    bool started = false;  // false when cancel came before it
    std::uint64_t written = 0;
    // Prepared ahead (stopAtFirstFailure): the entry read, but nothing on
    // the disk yet that anyone can see. Its bytes are in file, an unnamed
    // file in its folder, or else in bytes; or the read failed.
    HeldFile file;
    std::vector<std::uint8_t> bytes;
    bool readFailed = false;
    ArchiveError readError = ArchiveError::None;
    int readSystemError = 0;
    bool placed = false;  // its turn came: result is final, to be reported
};

// Consecutive small jobs, written by one thread in order.
struct Extractor::Batch {
    std::vector<Item> items;
    std::uint64_t storedBytes = 0;
    // Read ahead first, then put in place when every batch before it is.
    bool prepareOnly = false;
    std::int64_t sequence = 0;  // its place among the batches pushed
    // Under the pool's lock:
    bool done = false;
    const Question* question = nullptr;  // waits for the calling thread
    bool answered = false;
    OverwriteAnswer answer;
};

// Threads that take batches in order and write them; the calling thread
// takes them back in the same order and answers their questions.
class Extractor::Pool {
public:
    // threads threads, each keeping up to folders folders open.
    Pool(Extractor& owner, unsigned threads, std::size_t folders);
    ~Pool();
    Pool(const Pool&) = delete;
    Pool& operator=(const Pool&) = delete;

    void push(std::unique_ptr<Batch> batch);
    std::size_t inFlight() const { return order_.size(); }

    // Waits until the oldest batch is written, meanwhile asking its
    // questions through ask on this thread; hands it back.
    std::unique_ptr<Batch> takeOldest(const Ask& ask);

private:
    void work(Lane& lane);
    OverwriteAnswer askCaller(Batch& batch, const Question& question);

    Extractor& owner_;
    std::mutex mutex_;
    std::condition_variable work_;      // a batch to take, or stop
    std::condition_variable progress_;  // a batch done, or a question
    std::condition_variable answers_;
    std::condition_variable turns_;             // the next batch may be put in place
    std::deque<Batch*> waiting_;                // not yet taken
    std::deque<std::unique_ptr<Batch>> order_;  // every batch not handed back, oldest first
    std::int64_t pushed_ = 0;                   // batches pushed so far
    std::int64_t turn_ = 0;                     // the batch whose files go in place now
    bool stopping_ = false;
    std::vector<std::unique_ptr<Lane>> lanes_;
    std::vector<std::thread> threads_;
};

// One extractAll call: jobs judged and planned in order on the calling
// thread, batches handed to the pool (or written here), results reported
// in job order.
struct Extractor::Run {
    Run(Extractor& owner, const std::vector<Job>& jobs, const Report& report, const Budget& limits);
    ~Run();
    Run(const Run&) = delete;
    Run& operator=(const Run&) = delete;
    void go();

private:
    bool take(std::size_t position);
    void judge(const Job& job, Item& item);
    bool writeHere(Item& item, const Job& job);
    void flush(bool moreToCome);
    void takeOne();
    void drainAll();
    void finish();
    void stopHere(const Result& result);
    void reportWritten(const Item& item);
    void reportItems(Batch& finished);

    Extractor& owner_;
    const std::vector<Job>& jobs_;
    const Report& report_;
    const EntryTable& table_;
    const Budget limits_;
    const bool stopAtFailure_;
    Ask ask_;
    std::unique_ptr<Pool> pool_;
    std::unique_ptr<Batch> batch_;
    std::int64_t base_ = 0;        // the position of the first job
    std::int64_t batchStart_ = 0;  // the position of batch_'s first job
    std::int64_t reported_ = 0;    // every job before it is written and reported
    std::int64_t planned_ = 0;     // every job before it is planned
    bool cancelReported_ = false;
    bool stopped_ = false;  // stopAtFirstFailure: a job failed, nothing more is reported
};

}  // namespace vza
