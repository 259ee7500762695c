// SPDX-License-Identifier: MIT
// Where a new archive is written: the file that replaces path when the
// archive is complete, or a stream (a pipe) written as it goes.
//
// A regular file at path, or the regular file a symbolic link at path leads
// to, is replaced only by a complete archive: the new one is written to a
// file nobody can see yet, flushed to the disk, then put in place in one
// step, keeping the old file's permission bits. A link that leads nowhere,
// a folder and a terminal are refused. A pipe, socket or character device
// at path is written directly, from its start, and never replaced.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <sys/stat.h>

#include "vza/archive/format/archive_error.h"
#include "vza/archive/fs/output_file.h"

namespace vza {

class ArchiveOutput {
public:
    ArchiveOutput() = default;
    ~ArchiveOutput();
    ArchiveOutput(const ArchiveOutput&) = delete;
    ArchiveOutput& operator=(const ArchiveOutput&) = delete;

    // Prepares the output at path as described above. False with lastError
    // CannotWriteOutput (and systemError) when it cannot be written there.
    bool open(const std::string& path);

    // Uses fd, already open for writing (standard output, say), as a stream.
    // It is written from its current position and never closed here. A
    // terminal is refused.
    bool openStream(int fd);

    // The descriptor to write to; -1 when not open.
    int descriptor() const { return fd_; }

    // True when bytes may be written at any offset (pwrite) and the file
    // appears only at commit(); false for a stream, written in order.
    bool seekable() const { return seekable_; }

    // Writes data after what was written so far (write(2) until done).
    bool append(const void* data, std::size_t length);

    // Makes the archive durable: for a replaced file, flushes it, puts it in
    // place and flushes its folder; for a stream, flushes a regular file
    // behind it. False when any step fails; a replaced file then stays as it was.
    bool commit();

    // Abandons the output: the replacement disappears, the old file stays.
    void discard();

    ArchiveError lastError() const { return lastError_; }
    int systemError() const { return systemError_; }

private:
    bool fail(int error);
    bool failFile();

    OutputFile file_;
    int fd_ = -1;
    bool ownsFd_ = false;
    bool seekable_ = false;
    ArchiveError lastError_ = ArchiveError::None;
    int systemError_ = 0;
};

// The file an archive written to path would replace, following a symbolic
// link at path: true with its status when there is one. A program packing a
// folder uses it to leave the old archive out.
bool existingOutput(const std::string& path, struct stat& status);

}  // namespace vza
