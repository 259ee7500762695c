#include "archive/archive_writer.h"

#include <cerrno>
#include <cstdio>
#include <unistd.h>

#include "archive/data_buffer.h"
#include "archive/format.h"

namespace vza {

bool prepareStored(DataBuffer& buffer, std::uint32_t flags)
{
    if ((flags & FlagCompressed) && !buffer.compress())
        return false;
    if (flags & FlagEncrypted)
        buffer.encrypt();
    return true;
}

ArchiveWriter::~ArchiveWriter()
{
    abort();
}

bool ArchiveWriter::fail(ArchiveError error, int systemError)
{
    lastError_ = error;
    systemError_ = systemError;
    abort();
    return false;
}

void ArchiveWriter::abort()
{
    if (spool_) {
        std::fclose(spool_);
        spool_ = nullptr;
    }
    entryTable_.clear();
    size_ = 0;
}

bool ArchiveWriter::begin(const std::string& path)
{
    abort();
    lastError_ = ArchiveError::None;
    systemError_ = 0;
    path_ = path;
    // The spool sits beside the output (same file system, so the data is not
    // written twice across devices) and is unlinked at once: it disappears
    // with the process whatever happens.
    std::string spoolPath;
    const int fd = createTempBeside(path, spoolPath);
    if (fd < 0)
        return fail(ArchiveError::CannotWriteOutput, errno);
    ::unlink(spoolPath.c_str());
    spool_ = ::fdopen(fd, "w+b");
    if (!spool_) {
        const int reason = errno;
        ::close(fd);
        return fail(ArchiveError::CannotWriteOutput, reason);
    }
    size_ = HeaderSize;
    return true;
}

bool ArchiveWriter::add(const DataBuffer& buffer)
{
    if (!spool_)
        return fail(ArchiveError::CannotWriteOutput);
    // The index may be padded to 8 when encrypted: count that now so the
    // archive is refused before it is written, not after.
    const std::uint64_t grown = size_ + RecordHeaderSize + buffer.info.name.size() + 7 + buffer.bytes.size();
    if (buffer.bytes.size() > UINT32_MAX || grown >= MaxArchiveSize)
        return fail(ArchiveError::ArchiveTooLarge);
    if (!buffer.bytes.empty() &&
        std::fwrite(buffer.bytes.data(), 1, buffer.bytes.size(), spool_) != buffer.bytes.size())
        return fail(ArchiveError::CannotWriteOutput, errno);
    entryTable_.addRecord(&buffer);
    size_ = grown - 7;
    return true;
}

bool ArchiveWriter::finish(std::uint32_t flags)
{
    if (!spool_)
        return fail(ArchiveError::CannotWriteOutput);
    const std::vector<std::uint8_t> head = entryTable_.headerAndIndex(flags);
    if (head.size() + entryTable_.dataSize() >= MaxArchiveSize)
        return fail(ArchiveError::ArchiveTooLarge);

    AtomicFile out;
    if (std::fflush(spool_) != 0 || std::fseek(spool_, 0, SEEK_SET) != 0)
        return fail(ArchiveError::CannotWriteOutput, errno);
    if (!out.open(path_) || !out.write(head.data(), head.size()))
        return fail(ArchiveError::CannotWriteOutput, out.systemError());
    std::vector<std::uint8_t> block(1 << 20);
    std::uint64_t left = entryTable_.dataSize();
    while (left > 0) {
        const std::size_t want = left < block.size() ? static_cast<std::size_t>(left) : block.size();
        if (std::fread(block.data(), 1, want, spool_) != want)
            return fail(ArchiveError::CannotWriteOutput, std::ferror(spool_) ? errno : 0);
        if (!out.write(block.data(), want))
            return fail(ArchiveError::CannotWriteOutput, out.systemError());
        left -= want;
    }
    if (!out.commit())
        return fail(ArchiveError::CannotWriteOutput, out.systemError());
    abort();
    return true;
}

}  // namespace vza
