// SPDX-License-Identifier: MIT
// Reading one large enciphered entry a few pieces ahead, on a second thread.
//
// Deciphering costs about a tenth of inflating; done on the other core while
// the calling thread inflates and writes, it costs no wall time. The thread
// reads the entry's stored bytes at their offsets (pread: the descriptor's
// own position is never moved) into a ring of a few pieces and deciphers
// each piece in place; the caller takes the pieces in order. Memory is the
// ring, 1 MiB, whatever the entry's size.
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
    static constexpr std::size_t Pieces = 4;

    // Will read length bytes of fd from offset and decipher them with key,
    // all but the first keepFirst bytes, which are handed over as stored (the
    // seal's prefix, which the decoder checks on a copy of its own). Only
    // whole blocks are deciphered: a piece whose length is not a multiple of
    // 8 (a damaged entry) keeps its last partial block as stored, for the
    // decoder to refuse. fd and key must outlive this object.
    DecipherAhead(int fd, std::uint64_t offset, std::uint64_t length, const CipherState& key, std::size_t keepFirst);

    // Stops the thread (it finishes the read it is in) and waits for it.
    ~DecipherAhead();
    DecipherAhead(const DecipherAhead&) = delete;
    DecipherAhead& operator=(const DecipherAhead&) = delete;

    // Starts the thread. False when no thread could be made: read the entry
    // without it.
    bool start();

    // The next piece, in order; it stays valid until the next call. False
    // at the end of the entry or once a read failed (see failed()).
    bool next(const std::uint8_t*& data, std::size_t& length);

    // After next() gave false: whether a read failed or the file ended early,
    // and the system's errno for a failed read (0 when the file was short).
    bool failed() const { return failed_; }
    int systemError() const { return systemError_; }

private:
    void run();

    const int fd_;
    const std::uint64_t offset_;
    const std::uint64_t length_;
    const CipherState& key_;
    const std::size_t keepFirst_;

    std::vector<std::uint8_t> ring_;  // Pieces slots of PieceSize
    std::size_t lengths_[Pieces] = {};
    std::mutex mutex_;
    std::condition_variable changed_;
    std::uint64_t produced_ = 0;  // pieces ready so far
    std::uint64_t released_ = 0;  // pieces the caller is done with
    bool holding_ = false;        // the caller holds piece released_
    bool ended_ = false;          // the thread has stopped producing
    bool stop_ = false;           // asked to stop
    bool failed_ = false;
    int systemError_ = 0;
    std::thread thread_;
};

}  // namespace vza
