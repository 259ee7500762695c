// SPDX-License-Identifier: MIT
#include "vza/archive/write/archive_lock.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace vza {

namespace {

bool sameFile(const struct stat& a, const struct stat& b)
{
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

// flock, retried when a signal breaks the wait.
int lockFile(int fd, int operation)
{
    int result;
    do {
        result = ::flock(fd, operation);
    } while (result != 0 && errno == EINTR);
    return result;
}

}  // namespace

void ArchiveLock::release()
{
    // Unlocked before it is closed: the lock belongs to the open file, which
    // a duplicate of the descriptor (an Archive reading through it) would
    // otherwise keep locked.
    if (fd_ >= 0) {
        lockFile(fd_, LOCK_UN);
        ::close(fd_);
    }
    fd_ = -1;
    status_ = {};
}

bool ArchiveLock::acquire(int folder, const std::string& name, const Notice& notice)
{
    release();
    bool toldWaiting = false;
    for (int unlockedTries = 0; unlockedTries < 3;) {
        // O_NONBLOCK: a FIFO put at the name must not hold the open.
        const int fd = ::openat(folder, name.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
        if (fd < 0)
            return false;
        struct stat status {};
        if (::fstat(fd, &status) != 0 || !S_ISREG(status.st_mode)) {
            const int error = status.st_mode == 0 ? errno : S_ISDIR(status.st_mode) ? EISDIR : EINVAL;
            ::close(fd);
            errno = error;
            return false;
        }
        bool locked = lockFile(fd, LOCK_EX | LOCK_NB) == 0;
        if (!locked && errno == EWOULDBLOCK) {
            if (notice && !toldWaiting)
                notice(Event::Waiting);
            toldWaiting = true;
            locked = lockFile(fd, LOCK_EX) == 0;
        }
        if (!locked) {
            const int error = errno;
            if (error != ENOLCK && error != EOPNOTSUPP && error != EINVAL) {
                ::close(fd);
                errno = error;
                return false;
            }
            if (notice && unlockedTries == 0)
                notice(Event::Unsupported);
            ++unlockedTries;
        }
        // The one who held the lock may have put a new archive at the name
        // (or changed this one: its status is taken now).
        struct stat now {};
        if (::fstat(fd, &status) == 0 && ::fstatat(folder, name.c_str(), &now, AT_SYMLINK_NOFOLLOW) == 0 &&
            sameFile(now, status)) {
            fd_ = fd;
            status_ = status;
            return true;
        }
        ::close(fd);
    }
    errno = EAGAIN;
    return false;
}

}  // namespace vza
