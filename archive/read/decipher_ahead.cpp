// SPDX-License-Identifier: MIT
#include "vza/archive/read/decipher_ahead.h"

#include <algorithm>
#include <cerrno>
#include <system_error>

#include <unistd.h>

namespace vza {

DecipherAhead::DecipherAhead(int fd, std::uint64_t offset, std::uint64_t length, const CipherState& key,
                             std::size_t keepFirst)
    : fd_(fd), offset_(offset), length_(length), key_(key), keepFirst_(keepFirst)
{}

DecipherAhead::~DecipherAhead()
{
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stop_ = true;
    }
    changed_.notify_all();
    if (thread_.joinable())
        thread_.join();
}

bool DecipherAhead::start()
{
    ring_.resize(Pieces * PieceSize);
    try {
        thread_ = std::thread([this] { run(); });
    } catch (const std::system_error&) {
        return false;
    }
    return true;
}

void DecipherAhead::run()
{
    std::uint64_t done = 0;
    while (done < length_) {
        std::uint64_t slot = 0;
        {
            std::unique_lock<std::mutex> lock(mutex_);
            changed_.wait(lock, [this] { return stop_ || produced_ - released_ < Pieces; });
            if (stop_)
                break;
            slot = produced_ % Pieces;
        }
        std::uint8_t* piece = ring_.data() + slot * PieceSize;
        const std::size_t want = static_cast<std::size_t>(std::min<std::uint64_t>(length_ - done, PieceSize));
        std::size_t have = 0;
        int error = 0;
        while (have < want) {
            const ssize_t got = ::pread(fd_, piece + have, want - have, static_cast<off_t>(offset_ + done + have));
            if (got < 0 && errno == EINTR)
                continue;
            if (got <= 0) {
                error = got < 0 ? errno : 0;
                break;
            }
            have += static_cast<std::size_t>(got);
        }
        if (have < want) {
            std::lock_guard<std::mutex> lock(mutex_);
            failed_ = true;
            systemError_ = error;
            break;
        }
        const std::size_t from = done == 0 ? std::min(keepFirst_, want) : 0;
        const std::size_t blocks = (want - from) & ~std::size_t{7};
        decryptBuffer(key_, piece + from, blocks);
        {
            std::lock_guard<std::mutex> lock(mutex_);
            lengths_[slot] = want;
            ++produced_;
        }
        changed_.notify_all();
        done += want;
    }
    {
        std::lock_guard<std::mutex> lock(mutex_);
        ended_ = true;
    }
    changed_.notify_all();
}

bool DecipherAhead::next(const std::uint8_t*& data, std::size_t& length)
{
    std::unique_lock<std::mutex> lock(mutex_);
    if (holding_) {
        ++released_;
        holding_ = false;
        changed_.notify_all();
    }
    changed_.wait(lock, [this] { return produced_ > released_ || ended_; });
    if (produced_ == released_)
        return false;
    const std::uint64_t slot = released_ % Pieces;
    data = ring_.data() + slot * PieceSize;
    length = lengths_[slot];
    holding_ = true;
    return true;
}

}  // namespace vza
