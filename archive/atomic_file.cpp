#include "archive/atomic_file.h"

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <random>
#include <unistd.h>

namespace vza {

namespace {

std::string folderOf(const std::string& path)
{
    const auto slash = path.find_last_of('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

std::string baseOf(const std::string& path)
{
    const auto slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

}  // namespace

int createTempBeside(const std::string& target, std::string& tempPath)
{
    // A random name beside the target, created exclusively with mode 0666 so
    // that the umask applies as it does for fopen(path, "wb").
    static thread_local std::mt19937_64 random{std::random_device{}()};
    const std::string stem = folderOf(target) + "/." + baseOf(target).substr(0, 64) + ".";
    for (int attempt = 0; attempt < 100; ++attempt) {
        char suffix[24];
        std::snprintf(suffix, sizeof suffix, "%012llx.tmp",
                      static_cast<unsigned long long>(random() & 0xFFFFFFFFFFFFull));
        std::string candidate = stem + suffix;
        const int fd = ::open(candidate.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0) {
            tempPath = std::move(candidate);
            return fd;
        }
        if (errno != EEXIST)
            return -1;
    }
    return -1;
}

AtomicFile::~AtomicFile()
{
    discard();
}

bool AtomicFile::open(const std::string& target)
{
    discard();
    systemError_ = 0;
    if (target.empty() || target.back() == '/' || target.find('\0') != std::string::npos)
        return false;
    const int fd = createTempBeside(target, tempPath_);
    if (fd < 0) {
        systemError_ = errno;
        return false;
    }
    file_ = ::fdopen(fd, "wb");
    if (!file_) {
        systemError_ = errno;
        ::close(fd);
        ::unlink(tempPath_.c_str());
        tempPath_.clear();
        return false;
    }
    target_ = target;
    return true;
}

bool AtomicFile::write(const void* data, std::size_t length)
{
    if (!file_)
        return false;
    if (length == 0 || std::fwrite(data, 1, length, file_) == length)
        return true;
    systemError_ = errno;
    return false;
}

int AtomicFile::descriptor()
{
    if (!file_)
        return -1;
    if (std::fflush(file_) != 0) {
        systemError_ = errno;
        return -1;
    }
    return fileno(file_);
}

bool AtomicFile::commit()
{
    if (!file_)
        return false;
    // The first failing call gives the reason; a write error seen before
    // has its own already.
    const bool flushed = std::fflush(file_) == 0;
    if (!flushed)
        systemError_ = errno;
    const bool clean = flushed && !std::ferror(file_);
    const bool closed = std::fclose(file_) == 0;
    if (!closed && clean)
        systemError_ = errno;
    file_ = nullptr;
    const bool renamed = clean && closed && std::rename(tempPath_.c_str(), target_.c_str()) == 0;
    if (!renamed && clean && closed)
        systemError_ = errno;
    if (!renamed) {
        ::unlink(tempPath_.c_str());
        tempPath_.clear();
        return false;
    }
    tempPath_.clear();
    return true;
}

void AtomicFile::discard()
{
    if (file_) {
        std::fclose(file_);
        file_ = nullptr;
    }
    if (!tempPath_.empty()) {
        ::unlink(tempPath_.c_str());
        tempPath_.clear();
    }
}

}  // namespace vza
