// SPDX-License-Identifier: MIT
// A new file that nobody sees until it is complete.
//
// An OutputFile is created in a folder given as a descriptor the caller holds,
// for a target name inside that folder (one path component). It is written
// through descriptor() or write(), and commit() puts it in place under the
// target name in one step; until then the folder holds nothing new, and a file
// that is never committed is gone.
//
// Where the file system supports it the file is made with O_TMPFILE: it has no
// name at all while it is written, so even SIGKILL or a power cut leaves
// nothing behind. commit() links it in with
//     linkat(AT_FDCWD, "/proc/self/fd/N", folder, name, AT_SYMLINK_FOLLOW)
// (never the AT_EMPTY_PATH form, which needs a capability on many kernels).
// linkat never replaces, so when the target exists the file is linked under
// a random name ".TARGET.XXXXXXXXXXXX.tmp" first and then renamed over the
// target: if the process is killed with SIGKILL between those two calls,
// that one name is left behind. On other signals it is removed (see below).
//
// Where O_TMPFILE is not supported (vfat, exfat, NFS), or /proc is not procfs,
// the file is written under such a random name from the start and renamed
// over the target by commit(); SIGKILL then leaves that name. Where linking
// through /proc is refused at commit() (ENOENT, EACCES, EPERM, EXDEV: a
// hardened /proc, a security module), the file's bytes are copied into a
// named temporary that takes its place, and the TemporaryChoice given to
// create() makes the destination's later files named from the start.
//
// Each temporary name is kept in a small registry. removePendingOutputFiles()
// empties it and is async-signal-safe, for a program's SIGINT, SIGTERM and
// SIGHUP handlers. A program with several threads instead blocks those
// signals and waits for them on a thread of its own, which calls
// holdOutputFilesAndRemovePending(): it waits for every file that is just
// making or renaming a temporary, removes them all and lets no new one
// appear, so the cleanup is complete whatever the other threads are doing.
// Only SIGKILL (or a crash) can then leave a temporary file.
//
// Closing: a named temporary is closed, and the close checked, before it is
// renamed: a late write error (NFS, a quota) never replaces anything. An
// unnamed file can only be closed once it is linked in; when that close
// fails the file stays in place and commit() reports the failure (placed()
// tells): removing it by name could remove what another process put there,
// and a file it replaced is gone either way.
//
// Permissions: a new file gets 0666 less the umask, as fopen(path, "w")
// would. A regular file that is replaced passes its permission bits (0777,
// never setuid, setgid or sticky) to its replacement, so a private file stays
// private and a program stays executable; its owner and other hard links are
// not carried over.
//
// What commit() will not replace: a folder, a FIFO, a device or a socket at the
// target is refused (checked just before the rename, so under a race with
// another process the promise is that such a target is never written
// through). A symbolic link at the target is replaced by the file itself; its
// destination is never written.
//
// Nothing here calls fsync: extraction does not need it. A program that must
// survive a power cut (an archive writer) calls syncData() before commit() and
// syncFolder() after it.
//
// An OutputFile is used by one thread at a time; different OutputFiles may be
// used by different threads.
#pragma once

#include <atomic>
#include <cstddef>
#include <functional>
#include <string>

#include <sys/stat.h>

namespace vza {

// Shared by the files of one destination: once linking an unnamed file in
// through /proc is refused there, later files are named from the start.
struct TemporaryChoice {
    std::atomic<bool> named{false};
};

class OutputFile {
public:
    OutputFile() = default;
    ~OutputFile();  // discard()s an uncommitted file
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;

    // Why the last call of this object failed.
    enum class Problem {
        None,
        System,           // a system call failed; systemError() holds its errno
        BadName,          // name is empty, ".", "..", holds '/' or NUL, or is too long
        TargetIsFolder,   // commit(): a folder is at the target
        TargetIsSpecial,  // commit(): a FIFO, device or socket is at the target
        TargetExists,     // commit(Replace::No): something is at the target
        TargetRefused,    // commit(): the caller's check refused the target
    };

    // Starts a new file that will be called name (one path component) in the
    // folder open as folder (an O_DIRECTORY or O_PATH descriptor, or
    // AT_FDCWD). The caller keeps folder open until commit() or discard().
    // An earlier uncommitted file of this object is discarded first. choice,
    // when given, is read here and set by commit() (see TemporaryChoice); it
    // outlives the file.
    bool create(int folder, const std::string& name, TemporaryChoice* choice = nullptr);

    // As create(), but only ever an unnamed file: false (System, EOPNOTSUPP)
    // where it would be named, having made nothing anyone can see. For
    // files read ahead that must not show until their turn.
    bool createUnnamed(int folder, const std::string& name, TemporaryChoice* choice = nullptr);

    // As create() for a path typed by a user: its folder part is opened as
    // given (symbolic links in it followed, as the user meant them), its last
    // component is the target. Never use it for names that come from data.
    bool create(const std::string& path);

    // The open file, -1 before create() or after commit()/discard(). Writing
    // to it directly (write(2), sendfile, a FILE* over a dup) is fine.
    int descriptor() const { return fd_; }

    // Writes all of data at the current offset, retrying short writes.
    bool write(const void* data, std::size_t length);

    // fsync of the file's data. Optional; call it before commit().
    bool syncData();

    enum class Replace { Yes, No };
    // Looks at what is at the target (lstat) just before it is replaced;
    // returns false to refuse it (e.g. the archive being read).
    using TargetCheck = std::function<bool(const struct stat& existing)>;

    // Puts the file in place under its name and closes it. With Replace::No
    // an existing target is never replaced, atomically (TargetExists). When
    // commit() fails the file is discarded and the target is untouched, but
    // for an unnamed file whose close failed once it was in place (placed()).
    bool commit(Replace replace = Replace::Yes, const TargetCheck& check = {});

    // Whether the last commit() put the file in place, even if it failed.
    bool placed() const { return placed_; }

    // Closes and removes the file; the target is untouched. Harmless when
    // nothing is open.
    void discard();

    // For an unnamed file only (not namedTemporary()): commit() puts it in
    // folder instead of the folder given to create(), which the caller may
    // then close, and under name when one is given (one path component,
    // as for create()). folder must be on the same file system (the same
    // folder opened again, or one made meanwhile beside it); otherwise
    // commit() fails with EXDEV and nothing is put in place. False for a
    // named file or a bad name.
    bool placeIn(int folder, const std::string& name = {});

    // The folder descriptor of the last create(), e.g. for syncFolder()
    // after a commit(); it stays open until the next create() or the end of
    // this object.
    int folder() const { return folder_; }

    // True when this file is written under a temporary name (no O_TMPFILE).
    bool namedTemporary() const { return !tempName_.empty(); }

    Problem problem() const { return problem_; }
    int systemError() const { return systemError_; }

private:
    bool fail(Problem problem, int error = 0);
    bool start(int folder, const std::string& name, TemporaryChoice* choice);
    bool openUnnamed();
    bool createNamed();
    bool linkUnnamed(const std::string& name);
    bool rescueUnnamed();
    bool renameExclusive();
    bool replaceByRename();
    bool checkTarget(const struct stat& existing, const TargetCheck& check);
    bool commitUnnamed(Replace replace, const TargetCheck& check);
    bool commitNamed(Replace replace, const TargetCheck& check);

    int fd_ = -1;
    int folder_ = -1;       // the folder descriptor the file is created in
    int ownedFolder_ = -1;  // the one create(path) opened, kept until the next create()
    std::string name_;      // the target
    std::string tempName_;  // the named temporary, "" with O_TMPFILE
    int slot_ = -1;         // its place in the cleanup registry
    TemporaryChoice* choice_ = nullptr;
    bool placed_ = false;
    Problem problem_ = Problem::None;
    int systemError_ = 0;
};

// fsync of the folder open as folder, so that a rename in it is on disk.
bool syncFolder(int folder);

// Removes every named temporary file that an OutputFile of this process still
// has, with unlinkat only: async-signal-safe, no memory allocated, no lock
// taken. For signal handlers (SIGINT, SIGTERM, SIGHUP) that then end the
// program; OutputFiles used after the call fail on commit().
void removePendingOutputFiles() noexcept;

// For a program's signal thread that then ends the program (see above):
// takes the lock every OutputFile holds while a named temporary comes into
// being and is registered, or is renamed or removed and forgotten, and never
// gives it back; then removes every named temporary. When it returns none
// exists and none can appear: threads that try wait for good. Not
// async-signal-safe (use removePendingOutputFiles in a handler).
void holdOutputFilesAndRemovePending() noexcept;

// For tests: true makes every later create() use a named temporary as where
// O_TMPFILE is not supported; false returns to the normal choice.
void forceNamedTemporaries(bool on);

// For tests: faults injected at fixed moments, so that races and rare
// failures are tried deterministically. Not for programs.
struct OutputFileFaults {
    // Called at the start of create() and createUnnamed() with the folder and
    // the target name (e.g. to wait until a thread has come that far).
    std::function<void(int folder, const std::string& name)> beforeCreate;
    // Called at the start of commit() with the folder and the target name
    // (e.g. to put a folder or a FIFO there after the caller's own look).
    std::function<void(int folder, const std::string& name)> beforeCommit;
    // Called while a temporary name is made: registered, not yet on the
    // disk, the registry's lock held shared (e.g. to show that the cleanup
    // of holdOutputFilesAndRemovePending waits for it).
    std::function<void(int folder, const std::string& temporary)> namingTemporary;
    int closeError = 0;              // the file's close in commit() fails so
    int procLinkError = 0;           // linking through /proc fails so
    bool noExclusiveRename = false;  // renameat2(RENAME_NOREPLACE) is unsupported
};
// faults stays in force, shared by every thread, until called with nullptr.
void setOutputFileFaults(const OutputFileFaults* faults);

}  // namespace vza
