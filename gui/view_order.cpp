// SPDX-License-Identifier: MIT
#include "view_order.h"

#include <QMetaObject>

#include <algorithm>
#include <numeric>
#include <string>
#include <string_view>

#include "vza/archive/read/archive.h"

namespace {

constexpr std::int32_t CheckEvery = 4096;

enum Column { OutputColumn = 0, DataColumn = 1, SizeColumn = 2, StoredColumn = 3 };

std::string_view upToZero(std::string_view name)
{
    return name.substr(0, name.find('\0'));
}

// The names compared and searched, as UTF-8: the stored name as shown, and
// the output name (the one the user typed, else the entry's default).
struct Names {
    const vza::Archive& archive;
    vza::NameEncoding encoding;
    const QHash<int, QString>& changed;

    // Names of a UTF-8 (or raw) archive are their own text.
    bool storedIsText() const { return encoding == vza::NameEncoding::Utf8 || encoding == vza::NameEncoding::Raw; }
    std::string_view stored(std::int32_t entry) const { return archive.entry(entry)->name; }
    std::string data(std::int32_t entry) const
    {
        return std::string(upToZero(vza::decodeName(upToZero(stored(entry)), encoding)));
    }
    std::string output(std::int32_t entry) const
    {
        const auto typed = changed.constFind(entry);
        if (typed != changed.constEnd())
            return typed->toStdString();
        return vza::outputNameFor(stored(entry), encoding);
    }
};

// Case-insensitive search: bytes for an ASCII needle (no byte of a multi-byte
// UTF-8 character is ASCII, so nothing is split), Qt's case folding else.
class Needle {
public:
    explicit Needle(const QString& text) : text_(text)
    {
        ascii_ = std::all_of(text.begin(), text.end(), [](QChar c) { return c.unicode() < 0x80; });
        for (QChar c : text)
            lower_.push_back(char(c.toLower().unicode()));
    }
    bool in(std::string_view hay) const
    {
        if (!ascii_)
            return QString::fromUtf8(hay.data(), qsizetype(hay.size())).contains(text_, Qt::CaseInsensitive);
        const auto same = [](char a, char b) { return (a >= 'A' && a <= 'Z' ? char(a - 'A' + 'a') : a) == b; };
        return std::search(hay.begin(), hay.end(), lower_.begin(), lower_.end(), same) != hay.end();
    }

private:
    QString text_;
    std::string lower_;
    bool ascii_ = true;
};

bool filterRows(const Names& names, const QString& filter, const std::atomic<bool>& stop,
                std::vector<std::int32_t>& rows)
{
    const Needle needle(filter);
    const std::int32_t count = names.archive.entryCount();
    rows.clear();
    for (std::int32_t entry = 0; entry < count; ++entry) {
        if (entry % CheckEvery == 0 && stop.load(std::memory_order_relaxed))
            return false;
        const bool found =
            names.storedIsText() ? needle.in(upToZero(names.stored(entry))) : needle.in(names.data(entry));
        if (found || needle.in(names.output(entry)))
            rows.push_back(entry);
    }
    return true;
}

template <typename Key>
bool sortBy(std::vector<std::int32_t>& rows, const Key& key, Qt::SortOrder order, const std::atomic<bool>& stop)
{
    // Stable: rows of equal keys keep the archive's order, both ways. Once
    // told to stop, every pair compares equal and the sort runs out at once.
    const auto less = [&](std::int32_t a, std::int32_t b) {
        if (stop.load(std::memory_order_relaxed))
            return false;
        return order == Qt::AscendingOrder ? key(a) < key(b) : key(b) < key(a);
    };
    std::stable_sort(rows.begin(), rows.end(), less);
    return !stop.load();
}

// The names of rows (entries) as UTF-8, made into pools on several threads,
// one pool per thread: no allocation per name. keys[entry] views them.
bool makeNameKeys(const Names& names, bool output, const std::vector<std::int32_t>& rows, const std::atomic<bool>& stop,
                  std::vector<std::string>& pools, std::vector<std::string_view>& keys)
{
    const std::size_t parts = std::clamp<std::size_t>(std::thread::hardware_concurrency(), 1, 4);
    pools.assign(parts, std::string());
    std::vector<std::vector<std::size_t>> ends(parts);
    const auto make = [&](std::size_t part) {
        const std::size_t begin = rows.size() * part / parts, end = rows.size() * (part + 1) / parts;
        ends[part].reserve(end - begin);
        for (std::size_t i = begin; i < end; ++i) {
            if (i % CheckEvery == 0 && stop.load(std::memory_order_relaxed))
                return;
            pools[part] += output ? names.output(rows[i]) : names.data(rows[i]);
            ends[part].push_back(pools[part].size());
        }
    };
    std::vector<std::thread> threads;
    for (std::size_t part = 1; part < parts; ++part)
        threads.emplace_back(make, part);
    make(0);
    for (std::thread& thread : threads)
        thread.join();
    if (stop.load())
        return false;
    for (std::size_t part = 0; part < parts; ++part) {
        const std::size_t begin = rows.size() * part / parts;
        std::size_t from = 0;
        for (std::size_t k = 0; k < ends[part].size(); ++k) {
            keys[std::size_t(rows[begin + k])] = std::string_view(pools[part]).substr(from, ends[part][k] - from);
            from = ends[part][k];
        }
    }
    return true;
}

// Sorts rows (entry indices) by request's column.
bool sortRows(const Names& names, const vzA_ViewRequest& request, const std::atomic<bool>& stop,
              std::vector<std::int32_t>& rows)
{
    const vza::Archive& archive = names.archive;
    if (request.column == SizeColumn || request.column == StoredColumn) {
        const bool plain = request.column == SizeColumn;
        std::vector<std::uint32_t> sizes(std::size_t(archive.entryCount()));
        for (const std::int32_t entry : rows) {
            const vza::EntryView e = *archive.entry(entry);
            sizes[std::size_t(entry)] = plain ? e.originalSize : e.storedSize;
        }
        return sortBy(
            rows, [&](std::int32_t entry) { return sizes[std::size_t(entry)]; }, request.order, stop);
    }
    // Each name once, by entry: the stored bytes themselves where they are
    // the text, else made first.
    std::vector<std::string_view> keys(std::size_t(archive.entryCount()));
    std::vector<std::string> pools;
    if (request.column == DataColumn && names.storedIsText()) {
        for (const std::int32_t entry : rows)
            keys[std::size_t(entry)] = upToZero(names.stored(entry));
    } else if (!makeNameKeys(names, request.column == OutputColumn, rows, stop, pools, keys)) {
        return false;
    }
    return sortBy(
        rows, [&](std::int32_t entry) { return keys[std::size_t(entry)]; }, request.order, stop);
}

}  // namespace

bool buildViewOrder(const vza::Archive& archive, vza::NameEncoding encoding, const QHash<int, QString>& changed,
                    const vzA_ViewRequest& request, const std::atomic<bool>& stop, std::vector<std::int32_t>& rows)
{
    const Names names{archive, encoding, changed};
    if (!request.filter.isEmpty()) {
        if (!filterRows(names, request.filter, stop, rows))
            return false;
    } else {
        rows.resize(std::size_t(archive.entryCount()));
        std::iota(rows.begin(), rows.end(), 0);
    }
    return request.column < 0 || sortRows(names, request, stop, rows);
}

vzA_ViewOrderBuilder::vzA_ViewOrderBuilder(QObject* parent) : QObject(parent) {}

vzA_ViewOrderBuilder::~vzA_ViewOrderBuilder()
{
    stop();
}

void vzA_ViewOrderBuilder::start(const vza::Archive& archive, vza::NameEncoding encoding, QHash<int, QString> changed,
                                 vzA_ViewRequest request, Ready ready)
{
    for (Job& job : jobs_)
        job.stop->store(true);
    reap(false);
    const std::uint64_t generation = ++generation_;
    busy_ = true;
    Job job{std::thread(), std::make_shared<std::atomic<bool>>(false), std::make_shared<std::atomic<bool>>(false)};
    // The threads are joined before this object goes (stop()), and a queued
    // call to an object that has gone is dropped.
    job.thread = std::thread([this, &archive, encoding, changed = std::move(changed), request = std::move(request),
                              ready = std::move(ready), stop = job.stop, done = job.done, generation]() mutable {
        std::vector<std::int32_t> rows;
        const bool built = buildViewOrder(archive, encoding, changed, request, *stop, rows);
        done->store(true);
        if (!built)
            return;
        // Back on the GUI thread; a newer build or a stop() makes it moot.
        QMetaObject::invokeMethod(
            this,
            [this, rows = std::move(rows), ready = std::move(ready), generation]() mutable {
                if (generation_ != generation)
                    return;
                busy_ = false;
                reap(false);
                ready(std::move(rows));
            },
            Qt::QueuedConnection);
    });
    jobs_.push_back(std::move(job));
}

void vzA_ViewOrderBuilder::stop()
{
    ++generation_;
    busy_ = false;
    for (Job& job : jobs_)
        job.stop->store(true);
    reap(true);
}

// Joins the threads that are done (all of them when all is set).
void vzA_ViewOrderBuilder::reap(bool all)
{
    for (auto it = jobs_.begin(); it != jobs_.end();) {
        if (all || it->done->load()) {
            it->thread.join();
            it = jobs_.erase(it);
        } else {
            ++it;
        }
    }
}
