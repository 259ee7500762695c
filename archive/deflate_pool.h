// SPDX-License-Identifier: MIT
// Pieces of entries compressed on worker threads and handed back in the
// order they were given, for the writer of compressed archives.
//
// The writer reads each entry in pieces (see BlockDeflater) and submits
// them; workers compress whichever piece is next; take() returns the oldest
// piece once it is done. What a piece becomes depends only on its bytes, so
// the archive is the same however many threads there are.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace vza {

class BlockDeflater;

struct DeflatePiece {
    std::size_t entry = 0;
    bool first = false;                  // the entry's first piece
    bool last = false;                   // its last: closes the stream
    std::vector<std::uint8_t> input;     // the bytes, when read from a file
    const std::uint8_t* data = nullptr;  // the bytes: input.data(), or the caller's memory
    std::size_t length = 0;
    std::vector<std::uint8_t> dictionary;  // up to 32 KiB of the entry just before it
    std::vector<std::uint8_t> output;      // the compressed piece
    std::uint32_t checksum = 0;            // Adler-32 of the bytes
    bool ok = false;                       // compressed without error
    bool done = false;                     // for the pool
    bool started = false;                  // for the pool
};

class DeflatePool {
public:
    // threads: how many pieces may be compressed at once; with 1 no thread
    // is started and take() compresses on the calling thread.
    explicit DeflatePool(unsigned threads);
    ~DeflatePool();  // waits for the pieces being compressed, drops the rest
    DeflatePool(const DeflatePool&) = delete;
    DeflatePool& operator=(const DeflatePool&) = delete;

    // A piece to fill: a used one with its buffers kept, or a new one.
    std::unique_ptr<DeflatePiece> spare();
    void recycle(std::unique_ptr<DeflatePiece> piece);

    void submit(std::unique_ptr<DeflatePiece> piece);
    // The oldest piece submitted, once compressed; nullptr when none is left.
    std::unique_ptr<DeflatePiece> take();
    std::size_t pending() const { return queue_.size(); }

private:
    void work();

    std::vector<std::thread> workers_;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<std::unique_ptr<DeflatePiece>> queue_;  // in order submitted
    std::size_t unstarted_ = 0;                        // pieces at the queue's end nobody has taken up
    bool stopping_ = false;
    std::vector<std::unique_ptr<DeflatePiece>> spares_;
    std::unique_ptr<BlockDeflater> here_;  // without threads
};

}  // namespace vza
