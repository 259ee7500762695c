// SPDX-License-Identifier: MIT
#include "test_run.h"

#include "vza/archive/read/archive.h"
#include "vza/archive/read/entry_reader.h"

vzA_TestRun::vzA_TestRun(const vza::Archive& archive, vza::NameEncoding encoding)
    : archive_(archive), encoding_(encoding)
{
    for (std::int32_t entry = 0; entry < archive.entryCount(); ++entry)
        total_ += archive.entry(entry)->originalSize;
}

vzA_TestRun::~vzA_TestRun()
{
    cancel();
    join();
}

void vzA_TestRun::start()
{
    thread_ = std::thread([this] { work(); });
}

void vzA_TestRun::cancel()
{
    cancel_.store(true);
}

void vzA_TestRun::join()
{
    if (thread_.joinable())
        thread_.join();
}

// Runs on the worker thread.
void vzA_TestRun::work()
{
    vza::EntryReader reader(archive_);
    const vza::EntryReader::ChunkSink count = [this](const std::uint8_t*, std::size_t length) {
        done_.fetch_add(length, std::memory_order_relaxed);
        return !cancel_.load(std::memory_order_relaxed);
    };
    for (std::int32_t entry = 0; entry < archive_.entryCount(); ++entry) {
        if (cancel_.load()) {
            outcome_.cancelled = true;
            break;
        }
        current_.store(entry, std::memory_order_relaxed);
        const vza::EntryView view = *archive_.entry(entry);
        const bool read = reader.streamEntry(entry, count);
        if (!read && cancel_.load()) {
            outcome_.cancelled = true;
            break;
        }
        const vza::NameVerdict verdict = vza::judgeStoredName(view.name, encoding_);
        outcome_.tally.add(archive_.flags(), view, read && verdict == vza::NameVerdict::Writable);
        if (!read)
            outcome_.failed.push_back({entry, reader.lastError(), reader.systemError(), verdict});
        else if (verdict != vza::NameVerdict::Writable)
            outcome_.failed.push_back({entry, vza::ArchiveError::None, 0, verdict});
    }
    emit finished();
}
