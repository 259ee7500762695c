// SPDX-License-Identifier: MIT
#include "vza/archive/read/decipher_ahead.h"

#include <algorithm>
#include <cerrno>
#include <system_error>

#include <unistd.h>

#include "vza/archive/fs/process_limits.h"

namespace vza {

DecipherAhead::DecipherAhead(int fd, std::uint64_t offset, std::uint64_t length, const CipherState& key,
                             std::size_t keepFirst, unsigned threads)
    : fd_(fd), offset_(offset), length_(length), key_(key), keepFirst_(keepFirst),
      count_((length + PieceSize - 1) / PieceSize),
      threads_(std::clamp(threads == 0 ? usableCpuCount() : threads, 1u, MaxThreads))
{
    // No more threads than pieces.
    threads_ = static_cast<unsigned>(std::max<std::uint64_t>(1, std::min<std::uint64_t>(threads_, count_)));
}

DecipherAhead::~DecipherAhead()
{
    stop();
}

void DecipherAhead::stop()
{
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stop_ = true;
    }
    changed_.notify_all();
    for (std::thread& worker : workers_)
        worker.join();
    workers_.clear();
}

bool DecipherAhead::start()
{
    ring_.resize(Pieces * PieceSize);
    for (unsigned i = 0; i < threads_; ++i) {
        try {
            workers_.emplace_back([this] { run(); });
        } catch (const std::system_error&) {
            break;  // fewer threads: the ones made share the pieces
        }
    }
    return !workers_.empty();
}

// Reads piece number into piece and deciphers its whole blocks. False, with
// the errno (0 when the file was short), when it cannot be read whole.
bool DecipherAhead::readPiece(std::uint64_t number, std::uint8_t* piece, std::size_t& length, int& error) const
{
    const std::uint64_t at = number * PieceSize;
    length = static_cast<std::size_t>(std::min<std::uint64_t>(length_ - at, PieceSize));
    std::size_t have = 0;
    while (have < length) {
        const ssize_t got = ::pread(fd_, piece + have, length - have, static_cast<off_t>(offset_ + at + have));
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0) {
            error = got < 0 ? errno : 0;
            return false;
        }
        have += static_cast<std::size_t>(got);
    }
    const std::size_t from = number == 0 ? std::min(keepFirst_, length) : 0;
    decryptBuffer(key_, piece + from, (length - from) & ~std::size_t{7});
    return true;
}

// A worker: takes up the next piece whose slot the caller has let go,
// fills it, and hands it over, until the entry is read or a read fails.
void DecipherAhead::run()
{
    std::unique_lock<std::mutex> lock(mutex_);
    while (true) {
        changed_.wait(lock, [this] {
            return stop_ || claimed_ >= count_ || claimed_ >= failedAt_ || claimed_ - released_ < Pieces;
        });
        if (stop_ || claimed_ >= count_ || claimed_ >= failedAt_)
            return;
        const std::uint64_t number = claimed_++;
        const std::size_t slot = static_cast<std::size_t>(number % Pieces);
        lock.unlock();
        std::size_t length = 0;
        int error = 0;
        const bool read = readPiece(number, ring_.data() + slot * PieceSize, length, error);
        lock.lock();
        if (read) {
            lengths_[slot] = length;
            ready_[slot] = true;
        } else if (number < failedAt_) {
            failedAt_ = number;
            systemError_ = error;
        }
        changed_.notify_all();
    }
}

bool DecipherAhead::next(const std::uint8_t*& data, std::size_t& length)
{
    std::unique_lock<std::mutex> lock(mutex_);
    if (holding_) {
        ready_[released_ % Pieces] = false;
        ++released_;
        holding_ = false;
        changed_.notify_all();
    }
    const std::size_t slot = static_cast<std::size_t>(released_ % Pieces);
    changed_.wait(lock, [&] { return ready_[slot] || released_ >= count_ || released_ >= failedAt_; });
    if (!ready_[slot]) {
        failed_ = released_ >= failedAt_ && released_ < count_;
        return false;
    }
    data = ring_.data() + slot * PieceSize;
    length = lengths_[slot];
    holding_ = true;
    return true;
}

}  // namespace vza
