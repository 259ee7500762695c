// SPDX-License-Identifier: MIT
#include "vza/archive/write/archive_output.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <random>
#include <unistd.h>

namespace vza {

namespace {

std::function<void()> replaceHook;
bool noExchangeForTesting = false;

bool sameFile(const struct stat& a, const struct stat& b)
{
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

// The new archive's name beside the old one until the swap: short, so that
// it fits wherever the archive's own name does.
std::string replacementName()
{
    static thread_local std::mt19937_64 random{std::random_device{}()};
    char name[32];
    std::snprintf(name, sizeof name, ".vza-%012llx.tmp", static_cast<unsigned long long>(random() & 0xFFFFFFFFFFFFull));
    return name;
}

}  // namespace

void setReplaceHookForTesting(std::function<void()> hook, bool noExchange)
{
    replaceHook = std::move(hook);
    noExchangeForTesting = noExchange;
}

ArchiveOutput::~ArchiveOutput()
{
    discard();
}

bool ArchiveOutput::fail(int error)
{
    discard();
    lastError_ = ArchiveError::CannotWriteOutput;
    systemError_ = error;
    return false;
}

bool ArchiveOutput::failFile()
{
    switch (file_.problem()) {
    case OutputFile::Problem::System: return fail(file_.systemError());
    case OutputFile::Problem::TargetIsFolder: return fail(EISDIR);
    default: return fail(EINVAL);
    }
}

bool existingOutput(const std::string& path, struct stat& status)
{
    return !path.empty() && ::stat(path.c_str(), &status) == 0;
}

bool ArchiveOutput::open(const std::string& path, const ArchiveLock::Notice& notice)
{
    discard();
    lastError_ = ArchiveError::None;
    systemError_ = 0;
    if (path.empty() || path.find('\0') != std::string::npos)
        return fail(ENOENT);

    std::string target = path;
    struct stat link {};
    if (::lstat(path.c_str(), &link) == 0 && S_ISLNK(link.st_mode)) {
        // Written through the link, as tar and zip do: the file it leads to
        // is the one replaced, and the link stays a link. A link that leads
        // nowhere is refused rather than guessed at.
        char resolved[PATH_MAX];
        if (!::realpath(path.c_str(), resolved))
            return fail(errno);
        target = resolved;
    }
    struct stat status {};
    const bool exists = ::stat(target.c_str(), &status) == 0;
    if (exists && S_ISDIR(status.st_mode))
        return fail(EISDIR);
    if (exists && !S_ISREG(status.st_mode)) {
        // A pipe, socket or device: written as a stream, never replaced.
        const int fd = ::open(target.c_str(), O_WRONLY | O_NOCTTY | O_CLOEXEC);
        if (fd < 0)
            return fail(errno);
        if (!openStream(fd)) {
            ::close(fd);
            return false;
        }
        ownsFd_ = true;
        return true;
    }
    // A bare name is given its folder, so that the folder is held open and
    // can be flushed after the rename.
    if (target.find('/') == std::string::npos)
        target.insert(0, "./");
    if (!file_.create(target))
        return failFile();
    // Two writers of one archive one after the other, never at once.
    if (exists && !lock_.acquire(file_.folder(), target.substr(target.find_last_of('/') + 1), notice) &&
        errno != ENOENT)
        return fail(errno);
    fd_ = file_.descriptor();
    seekable_ = true;
    return true;
}

bool ArchiveOutput::openReplacing(int folder, const std::string& name, const struct stat& replaced)
{
    discard();
    lastError_ = ArchiveError::None;
    systemError_ = 0;
    temporary_ = replacementName();
    if (!file_.create(folder, temporary_))
        return failFile();
    // The new archive is for the same people as the old one.
    if (::fchmod(file_.descriptor(), replaced.st_mode & 0777) != 0)
        return fail(errno);
    folder_ = folder;
    name_ = name;
    replaced_ = replaced;
    fd_ = file_.descriptor();
    seekable_ = true;
    return true;
}

// Puts the complete new archive (at temporary_) in the place of the one
// read. The swap leaves the file that was at the name at temporary_, where
// it can be looked at before anything is lost.
bool ArchiveOutput::swapIn()
{
    const char* temporary = temporary_.c_str();
    const char* name = name_.c_str();
    if (replaceHook)
        replaceHook();
    struct stat out {};
    if (!noExchangeForTesting && ::renameat2(folder_, temporary, folder_, name, RENAME_EXCHANGE) == 0) {
        if (::fstatat(folder_, temporary, &out, AT_SYMLINK_NOFOLLOW) == 0 && sameFile(out, replaced_)) {
            ::unlinkat(folder_, temporary, 0);
            return true;
        }
        const int error = errno;
        ::renameat2(folder_, temporary, folder_, name, RENAME_EXCHANGE);
        ::unlinkat(folder_, temporary, 0);
        lastError_ = ArchiveError::InputChanged;
        systemError_ = error == ENOENT ? error : 0;
        return false;
    }
    if (!noExchangeForTesting && errno != EINVAL && errno != ENOSYS && errno != EOPNOTSUPP) {
        const int error = errno;
        ::unlinkat(folder_, temporary, 0);
        return fail(error);
    }
    // No swap here: look, then rename; another program could put a file at
    // the name in between, the one window left.
    if (::fstatat(folder_, name, &out, AT_SYMLINK_NOFOLLOW) != 0 || !sameFile(out, replaced_)) {
        ::unlinkat(folder_, temporary, 0);
        lastError_ = ArchiveError::InputChanged;
        systemError_ = 0;
        return false;
    }
    if (::renameat(folder_, temporary, folder_, name) != 0) {
        const int error = errno;
        ::unlinkat(folder_, temporary, 0);
        return fail(error);
    }
    return true;
}

bool ArchiveOutput::openStream(int fd)
{
    discard();
    lastError_ = ArchiveError::None;
    systemError_ = 0;
    if (::isatty(fd))
        return fail(ENOTTY);
    if (::fcntl(fd, F_GETFL) < 0)
        return fail(errno);
    fd_ = fd;
    ownsFd_ = false;
    seekable_ = false;
    return true;
}

bool ArchiveOutput::commit()
{
    if (fd_ < 0)
        return fail(EBADF);
    if (seekable_) {
        // On the disk before it takes the old archive's place, and the
        // folder after: a power cut leaves the old archive or the new one.
        const bool replacing = folder_ >= 0;
        if (!file_.syncData() || !file_.commit(replacing ? OutputFile::Replace::No : OutputFile::Replace::Yes))
            return failFile();
        fd_ = -1;
        seekable_ = false;
        if (replacing) {
            const bool swapped = swapIn();
            folder_ = -1;
            if (!swapped)
                return false;
        }
        lock_.release();
        // A folder that could only be opened O_PATH (writable, not readable)
        // cannot be flushed; that is no reason to call the archive lost.
        if (!syncFolder(file_.folder()) && errno != EBADF && errno != EINVAL)
            return fail(errno);
        return true;
    }
    struct stat status {};
    if (::fstat(fd_, &status) == 0 && S_ISREG(status.st_mode) && ::fsync(fd_) != 0)
        return fail(errno);
    if (ownsFd_)
        ::close(fd_);
    fd_ = -1;
    ownsFd_ = false;
    return true;
}

void ArchiveOutput::discard()
{
    file_.discard();
    lock_.release();
    folder_ = -1;
    if (ownsFd_ && fd_ >= 0)
        ::close(fd_);
    fd_ = -1;
    ownsFd_ = false;
    seekable_ = false;
}

}  // namespace vza
