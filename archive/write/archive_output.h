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
#include <functional>
#include <string>
#include <sys/stat.h>

#include "vza/archive/format/archive_error.h"
#include "vza/archive/fs/output_file.h"
#include "vza/archive/write/archive_lock.h"

namespace vza {

class ArchiveOutput {
public:
    ArchiveOutput() = default;
    ~ArchiveOutput();
    ArchiveOutput(const ArchiveOutput&) = delete;
    ArchiveOutput& operator=(const ArchiveOutput&) = delete;

    // Prepares the output at path as described above. False with lastError
    // CannotWriteOutput (and systemError) when it cannot be written there.
    // A regular file that will be replaced is locked first, as an editor
    // locks the archive it reads (see ArchiveLock; notice hears about the
    // waiting), and held until commit() or discard().
    bool open(const std::string& path, const ArchiveLock::Notice& notice = {});

    // Prepares the replacement of the file name in the folder open as
    // folder, which must stay the file whose status is replaced (the archive
    // an editor read and holds locked): the new file is written beside it,
    // takes its permission bits, and commit() swaps the two in one step
    // (renameat2 RENAME_EXCHANGE), then looks at what it took out: when that
    // is not the file that was read (another program put something else at
    // the name meanwhile), it swaps them back and fails with InputChanged,
    // both left as they were. Where the file system cannot swap (NFS, some
    // FUSE) the name is checked just before an ordinary rename, which leaves
    // a window of a few system calls. folder stays the caller's and open.
    bool openReplacing(int folder, const std::string& name, const struct stat& replaced);

    // Uses fd, already open for writing (standard output, say), as a stream.
    // It is written from its current position and never closed here. A
    // terminal is refused.
    bool openStream(int fd);

    // The descriptor to write to; -1 when not open.
    int descriptor() const { return fd_; }

    // True when bytes may be written at any offset (pwrite) and the file
    // appears only at commit(); false for a stream, written in order.
    bool seekable() const { return seekable_; }

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
    bool swapIn();

    OutputFile file_;
    ArchiveLock lock_;  // the file open() will replace
    // openReplacing(): where the new file is put, and the file it replaces.
    int folder_ = -1;
    std::string name_;
    std::string temporary_;
    struct stat replaced_ {};
    int fd_ = -1;
    bool ownsFd_ = false;
    bool seekable_ = false;
    ArchiveError lastError_ = ArchiveError::None;
    int systemError_ = 0;
};

// For tests: a function run by commit() of an openReplacing() output just
// before the swap (to put another file at the name), and whether to act as
// where the file system cannot swap. Not for programs.
void setReplaceHookForTesting(std::function<void()> hook, bool noExchange = false);

// The file an archive written to path would replace, following a symbolic
// link at path: true with its status when there is one. A program packing a
// folder uses it to leave the old archive out.
bool existingOutput(const std::string& path, struct stat& status);

}  // namespace vza
