// SPDX-License-Identifier: MIT
// Pieces of entries compressed on worker threads and handed back in the
// order they were given, for the writer of compressed archives.
//
// The writer reads each entry in pieces (see BlockDeflater) and submits
// them; workers compress whichever piece is next; take() returns the oldest
// piece once it is done. What a piece becomes depends only on its bytes, so
// the archive is the same however many threads there are.
//
// Small pieces (the whole of a small file, say) are handed to the workers
// in batches of up to BatchBytes, compressed one after the other by one
// worker: a thread hand-off per file would cost more than compressing it.
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
};

class DeflatePool {
public:
    // A batch is handed to the workers once it holds this many bytes or
    // MaxBatchPieces pieces (or when the writer waits for it).
    static constexpr std::size_t BatchBytes = std::size_t{256} << 10;
    static constexpr std::size_t MaxBatchPieces = 512;

    // threads: how many pieces may be compressed at once; with 1 no thread
    // is started and take() compresses on the calling thread. level: the
    // deflater's (see BlockDeflater).
    explicit DeflatePool(unsigned threads, int level = -1);
    ~DeflatePool();  // waits for the pieces being compressed, drops the rest
    DeflatePool(const DeflatePool&) = delete;
    DeflatePool& operator=(const DeflatePool&) = delete;

    // A piece to fill: a used one with its buffers kept, or a new one.
    std::unique_ptr<DeflatePiece> spare();
    void recycle(std::unique_ptr<DeflatePiece> piece);

    void submit(std::unique_ptr<DeflatePiece> piece);
    // The oldest piece submitted, once compressed; nullptr when none is left.
    std::unique_ptr<DeflatePiece> take();
    // Batches submitted and not yet taken whole (a piece counts as one
    // without threads): what the writer bounds its read-ahead by.
    std::size_t pending() const;

private:
    struct Batch {
        std::vector<std::unique_ptr<DeflatePiece>> pieces;
        std::size_t bytes = 0;
        std::size_t taken = 0;  // pieces handed back so far
        bool done = false;
    };
    void work();
    void release();  // hands the batch being filled to the workers; mutex held

    std::vector<std::thread> workers_;
    std::mutex mutex_;
    std::condition_variable work_;              // workers wait here for a batch
    std::condition_variable ready_;             // take() waits here for the oldest batch
    std::deque<std::unique_ptr<Batch>> queue_;  // handed to the workers, in order submitted
    std::size_t unstarted_ = 0;                 // batches at the queue's end nobody has taken up
    std::unique_ptr<Batch> filling_;            // after the queue, not handed over yet
    bool stopping_ = false;
    std::vector<std::unique_ptr<DeflatePiece>> spares_;
    std::vector<std::unique_ptr<Batch>> spareBatches_;
    std::deque<std::unique_ptr<DeflatePiece>> here_;  // without threads
    std::unique_ptr<BlockDeflater> deflater_;         // without threads
    int level_;
};

}  // namespace vza
