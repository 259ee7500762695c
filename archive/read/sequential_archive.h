// SPDX-License-Identifier: MIT
// Reading an archive from a stream that cannot seek: a pipe, a FIFO, a socket.
//
// The format lays an archive out in the order it is needed: header, index,
// then the entries' stored bytes in index order. This reader takes them in
// that order in one pass over the descriptor, holding no more than the index
// and one block of an entry; nothing is read twice and nothing is spooled.
// Entries are asked for in rising index order; those passed over are read
// and dropped.
//
// Use: begin() reads the plain start of the header, so that flags() tells
// whether a password is needed; then readIndex(password); then streamEntry()
// for the entries wanted.
#pragma once

#include <cstdint>
#include <cstdio>
#include <functional>
#include <optional>
#include <string>

#include "vza/archive/format/archive_entry.h"
#include "vza/archive/format/archive_error.h"
#include "vza/archive/format/entry_table.h"
#include "vza/archive/fs/file_identity.h"
#include "vza/codec/blowfish.h"

namespace vza {

class OutputFile;

class SequentialArchive {
public:
    SequentialArchive() = default;
    ~SequentialArchive();  // wipes the key schedule from memory
    SequentialArchive(const SequentialArchive&) = delete;
    SequentialArchive& operator=(const SequentialArchive&) = delete;

    // Starts reading the archive from descriptor fd (left open; the caller
    // owns it): reads the magic number and the flags word. False with
    // NotAnArchive or CannotOpenArchive (a read error, see systemError()).
    bool begin(int fd);

    // The file the stream is read from when it is a regular file (standard
    // input redirected from one: `vza extract - < a.vza`), by fstat of the
    // descriptor; unknown for a pipe, a FIFO or a device. Such a file is the
    // archive on disk as much as one opened by name.
    FileIdentity identity() const { return FileIdentity::ofDescriptor(fd_, true); }

    // The flags word read by begin().
    std::uint32_t flags() const { return flags_; }

    // Reads the rest of the header and the index, checking them as opening
    // a file does. An encrypted archive's key schedule is built from
    // password and kept here, for the index and every entry; the
    // process-wide key is left alone.
    bool readIndex(const std::string& password);

    std::int32_t entryCount() const { return table_.count(); }
    // The record of entry index, or nothing; its name is a view into this
    // reader's index, good until the next readIndex or its end.
    std::optional<EntryView> entry(std::int32_t index) const { return table_.at(index); }
    const EntryTable& entryTable() const { return table_; }

    // Reads entry index through sink and checks it as Archive::streamEntry
    // does. index must not be below any entry read or passed over before
    // (NoSuchEntry); the entries between are read and dropped. After a
    // failure the stream's position is lost and nothing more can be read.
    using ChunkSink = std::function<bool(const std::uint8_t* data, std::size_t length)>;
    bool streamEntry(std::int32_t index, const ChunkSink& sink);

    // streamEntry into out, which the caller created and commits; progress,
    // when given, hears each piece's length and returns false to stop (as
    // Archive::writeEntry's does).
    using Progress = std::function<bool(std::size_t length)>;
    bool writeEntry(std::int32_t index, OutputFile& out, const Progress& progress = {});

    // Why the last call failed, and the system's errno for a read error (0
    // when the input simply ended).
    ArchiveError lastError() const { return lastError_; }
    int systemError() const { return systemError_; }

private:
    bool fail(ArchiveError error);
    bool skipTo(std::int32_t index);
    // Reads exactly length bytes; a short read loses the stream's position.
    bool readExactly(std::uint8_t* data, std::size_t length);
    static ssize_t readCookie(void* cookie, char* buffer, std::size_t size);

    int fd_ = -1;
    std::FILE* stream_ = nullptr;  // fd_, with the header's first bytes given back in front
    unsigned char start_[8] = {};
    std::size_t startLeft_ = 0;  // bytes of start_ not yet read again through stream_
    std::uint32_t flags_ = 0;
    EntryTable table_;
    CipherState key_{};
    std::int32_t next_ = 0;  // the entry whose stored bytes come next in the stream
    bool broken_ = false;    // a failure left the position unknown
    int systemError_ = 0;
    ArchiveError lastError_ = ArchiveError::None;
};

}  // namespace vza
