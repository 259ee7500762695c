#include "archive/archive_output.h"

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
        // is the one replaced, and the link stays a link.
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
    if (!file_.open(target))
        return fail(errno != 0 ? errno : EACCES);
    fd_ = file_.descriptor();
    if (exists)
        ::fchmod(fd_, status.st_mode & 07777);
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
        if (::fsync(fd_) != 0)
            return fail(errno);
        fd_ = -1;
        if (!file_.commit())
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
