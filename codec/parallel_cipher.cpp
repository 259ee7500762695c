// SPDX-License-Identifier: MIT
#include "vza/codec/parallel_cipher.h"

#include <algorithm>
#include <system_error>

namespace vza {

ParallelCipher::ParallelCipher(unsigned threads) : threads_(std::max(threads, 1u)) {}

ParallelCipher::~ParallelCipher()
{
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stop_ = true;
    }
    start_.notify_all();
    for (std::thread& helper : helpers_)
        helper.join();
}

std::size_t ParallelCipher::encrypt(const CipherState& state, std::uint8_t* bytes, std::size_t length)
{
    // The zero padding of a last partial block, as encryptBuffer does it,
    // leaves every part whole blocks.
    const std::size_t whole = length & ~std::size_t{7};
    if (whole != length) {
        std::fill(bytes + length, bytes + whole + 8, 0);
        run(state, bytes, whole + 8, true);
        return whole + 8;
    }
    run(state, bytes, length, true);
    return length;
}

void ParallelCipher::decrypt(const CipherState& state, std::uint8_t* bytes, std::size_t length)
{
    run(state, bytes, length & ~std::size_t{7}, false);
}

// Part part of threads_ equal parts of whole blocks; the last takes the rest.
void ParallelCipher::work(const CipherState& state, std::uint8_t* bytes, std::size_t length, unsigned part) const
{
    const std::size_t share = (length / 8 / threads_) * 8;
    const std::size_t from = share * part;
    const std::size_t to = part + 1 == threads_ ? length : from + share;
    if (encrypt_)
        encryptBuffer(state, bytes + from, to - from);
    else
        decryptBuffer(state, bytes + from, to - from);
}

void ParallelCipher::run(const CipherState& state, std::uint8_t* bytes, std::size_t length, bool encrypt)
{
    if (length >= SplitFrom && threads_ > 1 && !helpersTried_) {
        helpersTried_ = true;
        for (unsigned part = 1; part < threads_; ++part) {
            try {
                helpers_.emplace_back([this, part] { help(part); });
            } catch (const std::system_error&) {
                break;
            }
        }
        // Fewer helpers than asked for (no more threads): fewer, larger parts.
        threads_ = static_cast<unsigned>(helpers_.size()) + 1;
    }
    if (length < SplitFrom || helpers_.empty()) {
        if (encrypt)
            encryptBuffer(state, bytes, length);
        else
            decryptBuffer(state, bytes, length);
        return;
    }
    {
        std::lock_guard<std::mutex> lock(mutex_);
        state_ = &state;
        bytes_ = bytes;
        length_ = length;
        encrypt_ = encrypt;
        left_ = threads_ - 1;
        ++generation_;
    }
    start_.notify_all();
    work(state, bytes, length, 0);
    std::unique_lock<std::mutex> lock(mutex_);
    done_.wait(lock, [this] { return left_ == 0; });
}

void ParallelCipher::help(unsigned part)
{
    std::uint64_t seen = 0;
    std::unique_lock<std::mutex> lock(mutex_);
    while (true) {
        start_.wait(lock, [&] { return stop_ || generation_ != seen; });
        if (stop_)
            return;
        seen = generation_;
        lock.unlock();
        work(*state_, bytes_, length_, part);
        lock.lock();
        if (--left_ == 0)
            done_.notify_one();
    }
}

}  // namespace vza
