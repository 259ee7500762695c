// SPDX-License-Identifier: MIT
#include "vza/archive/write/archive_output.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <fcntl.h>
#include <unistd.h>

namespace vza {

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

bool ArchiveOutput::open(const std::string& path)
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
    fd_ = file_.descriptor();
    seekable_ = true;
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

bool ArchiveOutput::append(const void* data, std::size_t length)
{
    const auto* bytes = static_cast<const std::uint8_t*>(data);
    while (length > 0) {
        if (fd_ < 0)
            return fail(EBADF);
        const ssize_t done = ::write(fd_, bytes, length);
        if (done < 0 && errno == EINTR)
            continue;
        if (done <= 0)
            return fail(done < 0 ? errno : EIO);
        bytes += done;
        length -= static_cast<std::size_t>(done);
    }
    return true;
}

bool ArchiveOutput::commit()
{
    if (fd_ < 0)
        return fail(EBADF);
    if (seekable_) {
        // On the disk before it takes the old archive's place, and the
        // folder after: a power cut leaves the old archive or the new one.
        if (!file_.syncData() || !file_.commit())
            return failFile();
        fd_ = -1;
        seekable_ = false;
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
    if (ownsFd_ && fd_ >= 0)
        ::close(fd_);
    fd_ = -1;
    ownsFd_ = false;
    seekable_ = false;
}

}  // namespace vza
