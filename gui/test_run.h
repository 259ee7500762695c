// SPDX-License-Identifier: MIT
// テスト: every entry of the listed archive read as extraction reads it,
// checked and counted, and nothing written. Runs on a worker thread of its
// own, through an EntryReader, so that the window keeps painting and shows
// progress. The words for what was checked are the library's (entry_check.h):
// only an entry that went through zlib is checked; a stored entry is read
// whole but counted apart. An entry whose name extraction refuses fails too.
#pragma once

#include <QObject>

#include <atomic>
#include <cstdint>
#include <thread>
#include <vector>

#include "vza/archive/format/archive_error.h"
#include "vza/archive/format/entry_check.h"
#include "vza/archive/names/name_decoding.h"
#include "vza/archive/names/name_verdict.h"

namespace vza {
class Archive;
}

class vzA_TestRun : public QObject {
    Q_OBJECT

public:
    struct Failure {
        std::int32_t entry = -1;
        vza::ArchiveError error = vza::ArchiveError::None;  // None: the name is refused
        int systemError = 0;
        vza::NameVerdict verdict = vza::NameVerdict::Writable;
    };
    struct Outcome {
        vza::CheckTally tally;
        std::vector<Failure> failed;
        bool cancelled = false;
    };

    // archive stays unchanged while the run lasts (the window starts no
    // other command meanwhile).
    vzA_TestRun(const vza::Archive& archive, vza::NameEncoding encoding);
    ~vzA_TestRun() override;

    void start();
    void cancel();
    void join();

    std::int32_t currentEntry() const { return current_.load(std::memory_order_relaxed); }
    std::uint64_t bytesDone() const { return done_.load(std::memory_order_relaxed); }
    std::uint64_t bytesTotal() const { return total_; }

    // Valid after finished(), or after join().
    const Outcome& outcome() const { return outcome_; }

signals:
    // Emitted from the worker thread; connect with a queued connection.
    void finished();

private:
    void work();

    const vza::Archive& archive_;
    const vza::NameEncoding encoding_;
    std::thread thread_;
    Outcome outcome_;
    std::uint64_t total_ = 0;
    std::atomic<bool> cancel_{false};
    std::atomic<std::int32_t> current_{-1};
    std::atomic<std::uint64_t> done_{0};
};
