// SPDX-License-Identifier: MIT
// Which entries the table shows, and in which order: a permutation of entry
// indices (view row -> entry), made for a sort column and a filter text.
//
// The model keeps no sorted copy of anything: it maps each row it draws
// through the permutation. A permutation of a million entries is built on a
// worker thread and handed to the window whole, so that typing in the filter
// box or clicking a header never holds the window. Sorting is stable (equal
// keys keep the archive's order), names compare by code point, sizes as
// integers; the filter keeps entries whose stored or output name contains
// the text, ignoring case.
#pragma once

#include <QHash>
#include <QObject>
#include <QString>

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <thread>
#include <vector>

#include "vza/archive/names/name_decoding.h"

namespace vza {
class Archive;
}

struct vzA_ViewRequest {
    int column = -1;  // the sort column (entry table's), -1 for the archive's order
    Qt::SortOrder order = Qt::AscendingOrder;
    QString filter;  // empty shows every entry

    // The archive's order, every entry: no permutation needed.
    bool isIdentity() const { return column < 0 && filter.isEmpty(); }
};

// The entries of archive for request, in view order, into rows. changed holds
// the output names the user gave, by entry. False, with rows unspecified,
// when stop became true meanwhile.
bool buildViewOrder(const vza::Archive& archive, vza::NameEncoding encoding, const QHash<int, QString>& changed,
                    const vzA_ViewRequest& request, const std::atomic<bool>& stop, std::vector<std::int32_t>& rows);

// Runs buildViewOrder on worker threads, one build at a time that counts:
// starting one tells the build under way to stop, and only the newest one's
// result is handed on, on the GUI thread.
class vzA_ViewOrderBuilder : public QObject {
public:
    using Ready = std::function<void(std::vector<std::int32_t> rows)>;

    explicit vzA_ViewOrderBuilder(QObject* parent = nullptr);
    ~vzA_ViewOrderBuilder() override;

    // Builds for request; ready runs on this object's thread once done, unless
    // another start() or stop() came first. archive must stay unchanged
    // until then (stop() before changing it).
    void start(const vza::Archive& archive, vza::NameEncoding encoding, QHash<int, QString> changed,
               vzA_ViewRequest request, Ready ready);

    // Stops every build and waits for the threads: no ready comes after.
    void stop();

    // True while the newest build has not handed on its result.
    bool busy() const { return busy_; }

private:
    struct Job {
        std::thread thread;
        std::shared_ptr<std::atomic<bool>> stop;
        std::shared_ptr<std::atomic<bool>> done;
    };
    void reap(bool all);

    std::vector<Job> jobs_;
    std::uint64_t generation_ = 0;
    bool busy_ = false;
};
