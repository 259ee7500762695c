// SPDX-License-Identifier: MIT
#include "extraction_run.h"

#include <QFile>

#include "vza/archive/read/archive.h"

namespace {

std::mutex holdMutex;
std::condition_variable holdChanged;
bool holdOn = false;
bool holdReleased = false;

}  // namespace

void vzA_ExtractionRun::holdAfterFirstRow(bool on)
{
    const std::lock_guard<std::mutex> lock(holdMutex);
    holdOn = on;
    holdReleased = false;
}

void vzA_ExtractionRun::releaseHeld()
{
    {
        const std::lock_guard<std::mutex> lock(holdMutex);
        holdReleased = true;
    }
    holdChanged.notify_all();
}

// Runs on the worker thread.
void vzA_ExtractionRun::waitIfHeld()
{
    std::unique_lock<std::mutex> lock(holdMutex);
    holdChanged.wait(lock, [this] { return !holdOn || holdReleased || cancel_.load(); });
}

vzA_ExtractionRun::vzA_ExtractionRun(vza::Archive& archive, Request request)
    : archive_(archive), request_(std::move(request))
{}

vzA_ExtractionRun::~vzA_ExtractionRun()
{
    cancel();
    join();
}

void vzA_ExtractionRun::start()
{
    thread_ = std::thread([this] { work(); });
}

void vzA_ExtractionRun::cancel()
{
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        const std::lock_guard<std::mutex> held(holdMutex);
        cancel_.store(true);
    }
    answered_.notify_all();
    holdChanged.notify_all();
}

void vzA_ExtractionRun::join()
{
    if (thread_.joinable())
        thread_.join();
}

vzA_ExtractionRun::Progress vzA_ExtractionRun::progress() const
{
    Progress p;
    p.currentRow = currentRow_.load(std::memory_order_relaxed);
    p.rowsDone = rowsDone_.load(std::memory_order_relaxed);
    p.bytesDone = bytesBefore_.load(std::memory_order_relaxed) + entryDone_.load(std::memory_order_relaxed);
    p.bytesTotal = bytesTotal_.load(std::memory_order_relaxed);
    return p;
}

bool vzA_ExtractionRun::pendingQuestion(Question& question) const
{
    const std::lock_guard<std::mutex> lock(mutex_);
    if (!questionPending_ || hasAnswer_ || cancel_.load())
        return false;
    question = question_;
    return true;
}

void vzA_ExtractionRun::answer(Answer answer, const std::string& newName)
{
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        if (!questionPending_)
            return;
        answer_ = answer;
        newName_ = newName;
        hasAnswer_ = true;
        if (answer == Answer::Cancel)
            cancel_.store(true);
    }
    answered_.notify_all();
}

std::string vzA_ExtractionRun::outputPath(const vza::Archive& archive, const Request& request, std::int32_t row)
{
    // A name the user typed is used as given; an empty one, or none, means
    // the entry's own name decoded and made safe.
    const QString typed = request.changedNames.value(row);
    if (!typed.isEmpty())
        return QFile::encodeName(typed).toStdString();
    const std::optional<vza::EntryView> entry = archive.entry(row);
    return entry ? vza::outputNameFor(entry->name, request.encoding) : std::string();
}

// Runs on the worker thread, which the engine asks in row order.
vza::Extractor::OverwriteAnswer vzA_ExtractionRun::ask(vza::Extractor& extractor, std::int32_t row,
                                                       const std::string& path)
{
    using Reply = vza::Extractor::OverwriteAnswer;
    if (yesToAll_)
        return Reply::replace();
    if (noToAll_)
        return Reply::keep();
    // Looked for before the lock: the GUI thread may wait on it meanwhile.
    std::string freeName = extractor.proposeFreeName(path);
    std::unique_lock<std::mutex> lock(mutex_);
    if (cancel_.load()) {
        refusedByCancel_.insert(row);
        return Reply::keep();
    }
    questionPending_ = true;
    hasAnswer_ = false;
    question_ = {row, path, std::move(freeName)};
    lock.unlock();
    emit questionAsked();
    lock.lock();
    answered_.wait(lock, [this] { return hasAnswer_ || cancel_.load(); });
    questionPending_ = false;
    if (!hasAnswer_ || answer_ == Answer::Cancel) {
        refusedByCancel_.insert(row);
        return Reply::keep();
    }
    switch (answer_) {
    case Answer::YesToAll: yesToAll_ = true; return Reply::replace();
    case Answer::Yes: return Reply::replace();
    case Answer::NoToAll: noToAll_ = true; return Reply::keep();
    case Answer::Rename: return Reply::rename(newName_);
    case Answer::No:
    case Answer::Cancel: return Reply::keep();
    }
    return Reply::keep();
}

// The engine as the desktop program uses it: folders made, each existing
// file asked about, progress and cancel shared with the window.
void vzA_ExtractionRun::configure(vza::Extractor& extractor)
{
    vza::Extractor::Options& options = extractor.options();
    options.createFolders = true;
    options.overwrite = vza::Extractor::Overwrite::Ask;
    options.decideOverwrite = [this, &extractor](std::int32_t row, const std::string& path) {
        return ask(extractor, row, path);
    };
    options.progress = [this](std::int32_t row, std::uint64_t done, std::uint64_t) {
        currentRow_.store(row, std::memory_order_relaxed);
        entryDone_.store(done, std::memory_order_relaxed);
    };
    options.cancel = &cancel_;
    options.stopAtFirstFailure = request_.stopAtFirstFailure;
}

std::vector<vza::Extractor::Job> vzA_ExtractionRun::jobs() const
{
    std::vector<vza::Extractor::Job> jobs;
    jobs.reserve(request_.rows.size());
    for (std::int32_t row : request_.rows) {
        std::string path = outputPath(archive_, request_, row);
        // Nothing safe left of the name: refused as such. An empty path
        // would have the engine decode the name its own way instead.
        if (path.empty())
            path.push_back('.');
        jobs.push_back({row, std::move(path)});
    }
    return jobs;
}

// One row's result, in row order, into the progress counters and the outcome.
void vzA_ExtractionRun::record(const vza::Extractor::Result& result)
{
    using Status = vza::Extractor::Status;
    if (result.status == Status::Cancelled) {
        outcome_.cancelled = true;
        return;
    }
    const std::optional<vza::EntryView> entry = archive_.entry(result.index);
    currentRow_.store(result.index, std::memory_order_relaxed);
    bytesBefore_.fetch_add(entry ? entry->originalSize : 0, std::memory_order_relaxed);
    entryDone_.store(0, std::memory_order_relaxed);
    if (rowsDone_.fetch_add(1, std::memory_order_relaxed) == 0)
        waitIfHeld();
    if (result.status == Status::Written) {
        ++outcome_.written;  // entries under way when cancelled are still written
    } else if (result.status == Status::Skipped) {
        // A question answered with Cancel, or not asked after it, ends
        // the run: that row is not counted as one kept.
        if (refusedByCancel_.count(result.index))
            outcome_.cancelled = true;
        else
            outcome_.skipped.push_back(result);
    } else {
        outcome_.failed.push_back(result);
    }
}

// Runs on the worker thread.
void vzA_ExtractionRun::work()
{
    std::uint64_t total = 0;
    for (std::int32_t row : request_.rows)
        if (const std::optional<vza::EntryView> entry = archive_.entry(row))
            total += entry->originalSize;
    bytesTotal_.store(total, std::memory_order_relaxed);

    vza::Extractor extractor(archive_);
    configure(extractor);
    const bool opened =
        request_.destination.empty() ? extractor.openWorkingFolder() : extractor.open(request_.destination);
    if (!opened) {
        outcome_.opened = false;
        outcome_.openError = extractor.openError();
        emit finished();
        return;
    }
    // Small entries go on several threads; questions and results still come
    // here in row order. Stopping at the first failure, the engine reports
    // nothing after it, and every row after it stays untouched.
    extractor.extractAll(jobs(), [this](const vza::Extractor::Result& result) { record(result); });
    extractor.close();
    emit finished();
}
