// SPDX-License-Identifier: MIT
// One extraction in a worker thread, so that the window keeps painting and
// can show progress and take a cancel. The worker hands the rows to the
// engine's extractAll, which writes small entries on several threads and
// still asks, reports and ends as if it wrote them one after the other.
//
// The run has the Archive to itself while it lasts: the window starts no
// other command and only draws the entry names, which extraction never
// changes. The run is joined before the Archive goes (the destructor cancels
// and joins).
//
// Questions go the other way: before replacing an existing file the worker
// signals questionAsked() and waits; the GUI thread shows the question and
// calls answer(). cancel() also ends such a wait, so the GUI thread can
// stop and join a run without running its event loop. The worker looks for
// a free name beside the file before it asks, so that the GUI thread never
// touches the engine.
#pragma once

#include <QHash>
#include <QObject>
#include <QString>

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <unordered_set>
#include <vector>

#include "vza/archive/extract/extractor.h"
#include "vza/archive/names/name_decoding.h"

namespace vza {
class Archive;
}

class vzA_ExtractionRun : public QObject {
    Q_OBJECT

public:
    struct Request {
        std::vector<std::int32_t> rows;                        // entries in the order to write them
        QHash<int, QString> changedNames;                      // output names the user typed, by row
        vza::NameEncoding encoding = vza::NameEncoding::Utf8;  // of the archive's names
        // Empty: output names relative to the working folder, used as given.
        // Otherwise the folder everything is written below.
        std::string destination;
        // True: the run ends at the first failing row, and no row after it
        // leaves anything on the disk. False: every row is tried. Either
        // way small entries are written on several threads.
        bool stopAtFirstFailure = true;
    };

    // Rename: write the entry beside the existing file, under a new name
    // in the same folder (asked again when that name is taken too).
    enum class Answer { Yes, YesToAll, No, NoToAll, Rename, Cancel };

    // A question the worker waits on.
    struct Question {
        std::int32_t row = -1;
        std::string path;      // the output path, relative to the destination
        std::string freeName;  // a last component free in its folder; "" when none was found
    };

    struct Progress {
        std::int32_t currentRow = -1;  // -1 before the first entry
        std::size_t rowsDone = 0;
        std::uint64_t bytesDone = 0;
        std::uint64_t bytesTotal = 0;
    };

    // What came of the run; rows written are only counted.
    struct Outcome {
        bool opened = true;  // false: the destination could not be used
        int openError = 0;   // its errno
        bool cancelled = false;
        std::size_t written = 0;
        std::vector<vza::Extractor::Result> skipped;
        std::vector<vza::Extractor::Result> failed;
    };

    vzA_ExtractionRun(vza::Archive& archive, Request request);
    ~vzA_ExtractionRun() override;

    void start();

    // Stops at the next block: no further entry starts, and an entry being
    // written leaves no file unless it is completed meanwhile (those are
    // counted as written). A question waiting for its answer gets Cancel.
    void cancel();

    // Waits for the worker to end; the outcome is complete afterwards.
    void join();

    Progress progress() const;

    // The question the worker waits on. False when none is waiting.
    bool pendingQuestion(Question& question) const;
    // newName, for Rename: the new last component, as bytes for the file
    // system; the engine refuses the row when it is not a safe leaf name.
    void answer(Answer answer, const std::string& newName = std::string());

    // Valid after finished(), or after join().
    const Outcome& outcome() const { return outcome_; }

    // For tests of what the window does while a run lasts: while on, a run
    // stops after its first row is done and waits there until released or
    // cancelled, so it is still running whatever the machine's speed.
    static void holdAfterFirstRow(bool on);
    static void releaseHeld();

    // The output path of row: the name the user typed, else the entry's
    // name decoded and made safe; as bytes for the file system.
    static std::string outputPath(const vza::Archive& archive, const Request& request, std::int32_t row);

signals:
    // Emitted from the worker thread; connect with a queued connection.
    void questionAsked();
    void finished();

private:
    void work();
    void configure(vza::Extractor& extractor);
    std::vector<vza::Extractor::Job> jobs() const;
    void record(const vza::Extractor::Result& result);
    vza::Extractor::OverwriteAnswer ask(vza::Extractor& extractor, std::int32_t row, const std::string& path);
    void waitIfHeld();

    vza::Archive& archive_;
    const Request request_;
    std::thread thread_;
    Outcome outcome_;

    std::atomic<bool> cancel_{false};
    std::atomic<std::int32_t> currentRow_{-1};
    std::atomic<std::size_t> rowsDone_{0};
    std::atomic<std::uint64_t> bytesBefore_{0};  // of the entries finished
    std::atomic<std::uint64_t> entryDone_{0};    // of the entry being written
    std::atomic<std::uint64_t> bytesTotal_{0};

    mutable std::mutex mutex_;
    std::condition_variable answered_;
    bool questionPending_ = false;
    bool hasAnswer_ = false;
    Answer answer_ = Answer::Cancel;
    std::string newName_;
    Question question_;
    bool yesToAll_ = false;  // worker thread only
    bool noToAll_ = false;   // worker thread only
    // Rows whose question was cut short by a cancel; worker thread only.
    std::unordered_set<std::int32_t> refusedByCancel_;
};
