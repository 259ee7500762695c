// SPDX-License-Identifier: MIT
#include "vza/archive/format/data_buffer.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>

#include "vza/archive/format/format.h"
#include "vza/archive/fs/output_file.h"

namespace vza {

namespace {

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};
using FilePtr = std::unique_ptr<std::FILE, FileCloser>;

}  // namespace

void DataBuffer::reset()
{
    bytes.clear();
    bytes.shrink_to_fit();
    info.clear();
}

void DataBuffer::assign(const void* src, std::size_t length)
{
    const auto* first = static_cast<const std::uint8_t*>(src);
    bytes.assign(first, first + length);
    info.originalSize = info.storedSize = static_cast<std::uint32_t>(length);
}

void DataBuffer::setName(const std::string& name)
{
    info.name = toSlashes(name);
}

std::uint8_t DataBuffer::byteAt(std::size_t offset) const
{
    return offset < bytes.size() ? bytes[offset] : 0;
}

void DataBuffer::appendU32(std::uint32_t value)
{
    bytes.resize(bytes.size() + 4);
    putU32(value, bytes.data() + bytes.size() - 4);
}

std::uint32_t DataBuffer::getU32At(std::size_t offset) const
{
    if (bytes.size() < 4 || offset > bytes.size() - 4)
        return 0;
    return getU32(bytes.data() + offset);
}

bool DataBuffer::readRange(const std::string& path, std::int64_t offset, std::uint32_t length)
{
    systemError_ = 0;
    FilePtr file{std::fopen(path.c_str(), "rb")};
    if (!file || offset < 0 || fseeko(file.get(), offset, SEEK_SET) != 0) {
        systemError_ = offset < 0 ? EINVAL : errno;
        return false;
    }
    // Grow only as bytes arrive, so a length the file cannot hold costs no
    // more memory than the file has.
    bytes.clear();
    std::uint8_t block[ChunkSize];
    std::size_t remaining = length;
    while (remaining > 0) {
        const std::size_t want = remaining > ChunkSize ? ChunkSize : remaining;
        // A remainder of exactly ChunkSize is read in one piece, like any
        // other remainder.
        const std::size_t got = std::fread(block, 1, want, file.get());
        if (got != want) {
            systemError_ = std::ferror(file.get()) ? errno : 0;
            bytes.clear();
            return false;
        }
        bytes.insert(bytes.end(), block, block + got);
        remaining -= got;
    }
    info.originalSize = info.storedSize = static_cast<std::uint32_t>(bytes.size());
    return true;
}

bool DataBuffer::loadFile(const std::string& path)
{
    systemError_ = 0;
    // O_NONBLOCK: opening a FIFO must not wait for a writer; it is refused
    // below like every other file that is not a regular one (a device such
    // as /dev/zero never ends).
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) {
        systemError_ = errno;
        return false;
    }
    struct stat status {};
    int error = ::fstat(fd, &status) != 0                                 ? errno
                : S_ISDIR(status.st_mode)                                 ? EISDIR
                : !S_ISREG(status.st_mode)                                ? EINVAL
                : static_cast<std::uint64_t>(status.st_size) > UINT32_MAX ? EFBIG
                                                                          : 0;
    // Exactly the size seen: a file that is shorter by then is an error, and
    // what it grew by since is not read.
    std::vector<std::uint8_t> loaded;
    if (error == 0) {
        loaded.resize(static_cast<std::size_t>(status.st_size));
        std::size_t got = 0;
        while (got < loaded.size()) {
            const ssize_t n = ::read(fd, loaded.data() + got, std::min(loaded.size() - got, std::size_t{1} << 24));
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0) {
                error = n < 0 ? errno : EIO;
                break;
            }
            got += static_cast<std::size_t>(n);
        }
    }
    ::close(fd);
    if (error != 0) {
        systemError_ = error;
        return false;
    }
    bytes = std::move(loaded);
    info.originalSize = info.storedSize = static_cast<std::uint32_t>(bytes.size());
    return true;
}

bool DataBuffer::writeFile(const std::string& path) const
{
    OutputFile out;
    const bool written = out.create(path) && out.write(bytes.data(), bytes.size()) && out.commit();
    systemError_ = written                                                 ? 0
                   : out.problem() == OutputFile::Problem::TargetIsFolder  ? EISDIR
                   : out.problem() == OutputFile::Problem::TargetIsSpecial ? EEXIST
                                                                           : out.systemError();
    return written;
}

}  // namespace vza
