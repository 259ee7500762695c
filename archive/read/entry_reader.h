// SPDX-License-Identifier: MIT
// Reading the entries of an open Archive, from one thread or several.
//
// An Archive holds the descriptor its index was read from, and a reader reads
// entries from it at their offsets (pread, sendfile with an offset): no read
// moves a shared file position, so any number of readers may read one Archive
// at once, one reader per thread. Each reader keeps its own block, inflater
// and last error, and keeps the block and the inflater from entry to entry:
// reading many small entries costs no allocation and no open per entry, and
// small entries read in a row come from one read ahead of them.
//
//     vza::EntryReader reader(archive);  // in each worker thread
//     if (!reader.streamEntry(index, sink))
//         report(reader.lastError(), reader.systemError());
//
// Archive::streamEntry and Archive::writeEntry go through a reader of the
// Archive's own; they are for one thread at a time.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "vza/archive/format/archive_error.h"

namespace vza {

class Archive;
class DecipherAhead;
class EntryDecoder;
class OutputFile;

class EntryReader {
public:
    // archive must stay open, and where it is (not moved or reset), while
    // the reader reads from it.
    explicit EntryReader(const Archive& archive);
    ~EntryReader();
    EntryReader(const EntryReader&) = delete;
    EntryReader& operator=(const EntryReader&) = delete;

    // As Archive::streamEntry: entry index through sink in pieces of at most
    // DataBuffer::ChunkSize bytes, fully checked; a false sink stops the read
    // (CannotWriteOutput).
    using ChunkSink = std::function<bool(const std::uint8_t* data, std::size_t length)>;
    bool streamEntry(std::int32_t index, const ChunkSink& sink);

    // As Archive::writeEntry: the checked plain bytes of entry index into
    // out, which the caller created and commits; entries stored as they are
    // are copied inside the kernel. progress hears each step's length and
    // returns false to stop (CannotWriteOutput).
    using Progress = std::function<bool(std::size_t length)>;
    bool writeEntry(std::int32_t index, OutputFile& out, const Progress& progress = {});

    // Small entries read in a row come from one read ahead of them; a caller
    // that knows where the entries it is about to read end (a file offset)
    // says so here, and no read ahead goes past it, so no byte is read
    // twice. 0, as at first, reads ahead a full window.
    void limitReadAhead(std::uint64_t end) { aheadEnd_ = end; }

    // Why this reader's last call failed, and the system's errno where there
    // was one.
    ArchiveError lastError() const { return lastError_; }
    int systemError() const { return systemError_; }

private:
    enum class Copy { Done, Failed, Unsupported };
    Copy copyStoredBytes(std::int32_t index, OutputFile& out, const Progress& progress);
    bool fail(ArchiveError error, int systemError = 0);
    bool succeed();
    bool feedDecipheredAhead(DecipherAhead& ahead, std::uint64_t end);
    bool feedStoredBytes(int fd, std::uint64_t offset, std::uint64_t size);
    bool feedBlocks(int fd, std::uint64_t offset, std::uint64_t size);
    bool finishDecoding();
    bool inWindow(std::uint64_t offset, std::uint64_t length) const;
    void fillWindow(int fd, std::uint64_t offset, std::size_t length);

    const Archive* archive_;
    std::vector<std::uint8_t> block_;
    // Stored bytes read ahead for small entries read in a row: window_ holds
    // windowLength_ bytes of the file from windowStart_.
    std::vector<std::uint8_t> window_;
    std::uint64_t windowStart_ = 0;
    std::size_t windowLength_ = 0;
    std::uint64_t nextOffset_ = 0;           // where the last entry read ended
    std::uint64_t aheadEnd_ = 0;             // no read ahead past it; 0: no limit
    std::unique_ptr<EntryDecoder> decoder_;  // made for the first entry, then restarted
    ArchiveError lastError_ = ArchiveError::None;
    int systemError_ = 0;
};

}  // namespace vza
