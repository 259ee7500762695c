// SPDX-License-Identifier: MIT
// Reading one large enciphered entry a few pieces ahead, on other threads.
//
// Deciphering is most of the work of reading an entry that is only
// enciphered, and ECB blocks are independent: the pieces are shared out
// among worker threads (one per processor this process may run on, up to
// MaxThreads), each reading its piece at its offset (pread: the
// descriptor's own position is never moved) into a ring slot and
// deciphering it in place, while the calling thread takes the pieces in
// order and inflates or writes them. Memory is the ring, Pieces slots of
// PieceSize, whatever the entry's size.
//
//     DecipherAhead ahead(fd, offset, storedSize, key, 8);
//     if (ahead.start())
//         while (ahead.next(data, length)) ...;   // then ahead.failed()
//
// Used by EntryReader for enciphered entries of ReadAheadFrom bytes or more.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <thread>
#include <vector>

#include "vza/codec/blowfish.h"

namespace vza {

class DecipherAhead {
public:
    static constexpr std::size_t PieceSize = 256 << 10;  // a multiple of 8
    static constexpr std::size_t Pieces = 8;
    static constexpr unsigned MaxThreads = 4;

    // Will read length bytes of fd from offset and decipher them with key,
    // all but the first keepFirst bytes, which are handed over as stored (the
    // seal's prefix, which the decoder checks on a copy of its own). Only
    // whole blocks are deciphered: a piece whose length is not a multiple of
    // 8 (a damaged entry) keeps its last partial block as stored, for the
    // decoder to refuse. threads: how many pieces are read and deciphered at
    // once (0: one per processor this process may run on, at most
    // MaxThreads). fd and key must outlive this object.
    DecipherAhead(int fd, std::uint64_t offset, std::uint64_t length, const CipherState& key, std::size_t keepFirst,
                  unsigned threads = 0);

    // Stops the threads (each finishes the piece it is on) and waits for them.
    ~DecipherAhead();
    DecipherAhead(const DecipherAhead&) = delete;
    DecipherAhead& operator=(const DecipherAhead&) = delete;

    // Starts the threads. False when not even one could be made: read the
    // entry without them.
    bool start();

    // The next piece, in order; it stays valid until the next call. False
    // at the end of the entry or once a read failed (see failed()): every
    // piece before the one that failed is handed over first.
    bool next(const std::uint8_t*& data, std::size_t& length);

    // After next() gave false: whether a read failed or the file ended early,
    // and the system's errno for a failed read (0 when the file was short).
    bool failed() const { return failed_; }
    int systemError() const { return systemError_; }

private:
    void run();
    bool readPiece(std::uint64_t number, std::uint8_t* piece, std::size_t& length, int& error) const;
    void stop();

    const int fd_;
    const std::uint64_t offset_;
    const std::uint64_t length_;
    const CipherState& key_;
    const std::size_t keepFirst_;
    const std::uint64_t count_;  // pieces in all
    unsigned threads_;

    std::vector<std::uint8_t> ring_;  // Pieces slots of PieceSize
    std::size_t lengths_[Pieces] = {};
    bool ready_[Pieces] = {};
    std::mutex mutex_;
    std::condition_variable changed_;
    std::uint64_t claimed_ = 0;            // pieces a thread has taken up so far
    std::uint64_t released_ = 0;           // pieces the caller is done with
    std::uint64_t failedAt_ = UINT64_MAX;  // the first piece that could not be read
    bool holding_ = false;                 // the caller holds piece released_
    bool stop_ = false;                    // asked to stop
    bool failed_ = false;
    int systemError_ = 0;
    std::vector<std::thread> workers_;
};

}  // namespace vza
