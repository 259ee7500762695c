// SPDX-License-Identifier: MIT
// Enciphering or deciphering one long run on several threads at once.
//
// ECB blocks are independent: a run is cut into parts of whole blocks, the
// calling thread takes the first and helper threads the others, and the
// call returns when all are done. The bytes are those of encryptBuffer and
// decryptBuffer on the whole run. Runs shorter than SplitFrom are done on
// the calling thread alone: handing a part over costs a few microseconds.
// One object serves one thread at a time.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <thread>
#include <vector>

#include "vza/codec/blowfish.h"

namespace vza {

class ParallelCipher {
public:
    static constexpr std::size_t SplitFrom = 128 << 10;

    // threads: how many run at once, the caller's included (1: the caller
    // alone). Helpers are started with the first run long enough to split.
    explicit ParallelCipher(unsigned threads);
    ~ParallelCipher();
    ParallelCipher(const ParallelCipher&) = delete;
    ParallelCipher& operator=(const ParallelCipher&) = delete;

    // As encryptBuffer(state, bytes, length) and decryptBuffer(state, bytes,
    // length).
    std::size_t encrypt(const CipherState& state, std::uint8_t* bytes, std::size_t length);
    void decrypt(const CipherState& state, std::uint8_t* bytes, std::size_t length);

private:
    void run(const CipherState& state, std::uint8_t* bytes, std::size_t length, bool encrypt);
    void help(unsigned part);
    void work(const CipherState& state, std::uint8_t* bytes, std::size_t length, unsigned part) const;

    unsigned threads_;
    std::vector<std::thread> helpers_;
    bool helpersTried_ = false;
    std::mutex mutex_;
    std::condition_variable start_;
    std::condition_variable done_;
    // The run being shared out: generation_ counts runs, left_ the helpers'
    // parts not yet done.
    const CipherState* state_ = nullptr;
    std::uint8_t* bytes_ = nullptr;
    std::size_t length_ = 0;
    bool encrypt_ = false;
    std::uint64_t generation_ = 0;
    unsigned left_ = 0;
    bool stop_ = false;
};

}  // namespace vza
