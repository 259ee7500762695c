// SPDX-License-Identifier: MIT
// Holding an archive file against other writers, from reading it to
// replacing it.
//
// Two programs that each read an archive, add to it and put a new one in its
// place would lose one of the additions. A writer therefore takes an advisory
// lock (flock LOCK_EX: it belongs to the open file, so closing some other
// descriptor of the same file does not drop it, as an fcntl lock would) on the
// very file it reads, before it reads the index, and keeps it until the new
// archive is in place. Only programs that lock too are held off.
//
// Whoever held the lock before may have replaced the archive meanwhile: once
// the lock is taken, the name must still lead to the locked file, or the file
// now at the name is opened and locked instead.
#pragma once

#include <functional>
#include <string>
#include <sys/stat.h>

namespace vza {

class ArchiveLock {
public:
    enum class Event {
        Waiting,      // another program holds the lock: waiting for it (told once)
        Unsupported,  // this file system cannot lock: going on unlocked (told once)
    };
    using Notice = std::function<void(Event)>;

    ArchiveLock() = default;
    ~ArchiveLock() { release(); }
    ArchiveLock(const ArchiveLock&) = delete;
    ArchiveLock& operator=(const ArchiveLock&) = delete;

    // Opens name (one component, no link followed) in the folder open as
    // folder and locks it, waiting as long as another program holds it. True
    // when the name leads to the locked file (or to the file held unlocked
    // after Event::Unsupported); false with errno set when name cannot be
    // opened (ENOENT: nothing is there) or is not a regular file (EISDIR for
    // a folder, EINVAL for anything else).
    bool acquire(int folder, const std::string& name, const Notice& notice = {});

    // The locked file's descriptor (read-only) and its status when locked;
    // -1 when nothing is held.
    int descriptor() const { return fd_; }
    const struct stat& status() const { return status_; }

    // Lets go of the file and its lock (unlocked even where a duplicate of
    // the descriptor stays open).
    void release();

private:
    int fd_ = -1;
    struct stat status_ {};
};

}  // namespace vza
