// SPDX-License-Identifier: MIT
#include "vza/archive/read/sequential_archive.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <unistd.h>
#include <vector>

#include "vza/archive/format/data_buffer.h"
#include "vza/archive/format/format.h"
#include "vza/archive/fs/output_file.h"
#include "vza/archive/read/entry_decoder.h"

namespace vza {

SequentialArchive::~SequentialArchive()
{
    if (stream_ != nullptr)
        std::fclose(stream_);  // closes the cookie, not fd_
    ::explicit_bzero(&key_, sizeof key_);
}

bool SequentialArchive::fail(ArchiveError error)
{
    lastError_ = error;
    return false;
}

// The stream's reader: first the bytes begin() took, then the descriptor.
ssize_t SequentialArchive::readCookie(void* cookie, char* buffer, std::size_t size)
{
    auto* self = static_cast<SequentialArchive*>(cookie);
    if (self->startLeft_ > 0) {
        const std::size_t offset = sizeof self->start_ - self->startLeft_;
        const std::size_t count = std::min(size, self->startLeft_);
        std::memcpy(buffer, self->start_ + offset, count);
        self->startLeft_ -= count;
        return static_cast<ssize_t>(count);
    }
    for (;;) {
        const ssize_t got = ::read(self->fd_, buffer, size);
        if (got >= 0 || errno != EINTR) {
            if (got < 0)
                self->systemError_ = errno;
            return got;
        }
    }
}

bool SequentialArchive::begin(int fd)
{
    fd_ = fd;
    systemError_ = 0;
    std::size_t have = 0;
    while (have < sizeof start_) {
        const ssize_t got = ::read(fd_, start_ + have, sizeof start_ - have);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0) {
            systemError_ = errno;
            return fail(ArchiveError::CannotOpenArchive);
        }
        if (got == 0)
            return fail(ArchiveError::NotAnArchive);
        have += static_cast<std::size_t>(got);
    }
    if (getU32(start_) != ArchiveMagic)
        return fail(ArchiveError::NotAnArchive);
    flags_ = getU32(start_ + 4);
    startLeft_ = sizeof start_;
    cookie_io_functions_t functions{};
    functions.read = &SequentialArchive::readCookie;
    stream_ = fopencookie(this, "rb", functions);
    if (stream_ == nullptr) {
        systemError_ = errno;
        return fail(ArchiveError::CannotOpenArchive);
    }
    lastError_ = ArchiveError::None;
    return true;
}

bool SequentialArchive::readIndex(const std::string& password)
{
    if (stream_ == nullptr)
        return fail(ArchiveError::CannotOpenArchive);
    ArchiveError error = ArchiveError::None;
    if (!table_.read(stream_, password, key_, &error)) {
        broken_ = true;
        return fail(std::ferror(stream_) ? ArchiveError::CannotOpenArchive : error);
    }
    next_ = 0;
    lastError_ = ArchiveError::None;
    return true;
}

bool SequentialArchive::readExactly(std::uint8_t* data, std::size_t length)
{
    if (std::fread(data, 1, length, stream_) == length)
        return true;
    broken_ = true;
    return fail(std::ferror(stream_) ? ArchiveError::CannotOpenArchive : ArchiveError::EntryTruncated);
}

bool SequentialArchive::skipTo(std::int32_t index)
{
    std::vector<std::uint8_t> block(DataBuffer::ChunkSize);
    while (next_ < index) {
        std::uint64_t left = table_.at(next_)->storedSize;
        while (left > 0) {
            const std::size_t want = static_cast<std::size_t>(std::min<std::uint64_t>(left, block.size()));
            if (!readExactly(block.data(), want))
                return false;
            left -= want;
        }
        ++next_;
    }
    return true;
}

bool SequentialArchive::writeEntry(std::int32_t index, OutputFile& out, const Progress& progress)
{
    return streamEntry(index, [&](const std::uint8_t* data, std::size_t length) {
        return out.write(data, length) && (!progress || progress(length));
    });
}

bool SequentialArchive::streamEntry(std::int32_t index, const ChunkSink& sink)
{
    const std::optional<EntryView> entry = table_.at(index);
    if (!entry || stream_ == nullptr || index < next_)
        return fail(ArchiveError::NoSuchEntry);
    if (broken_)
        return fail(ArchiveError::EntryTruncated);
    if (!skipTo(index))
        return false;

    EntryDecoder decoder(table_.flags(), *entry, key_, sink);
    std::vector<std::uint8_t> block(std::min<std::size_t>(entry->storedSize, DataBuffer::ChunkSize));
    std::uint64_t left = entry->storedSize;
    ArchiveError fault = ArchiveError::None;
    while (left > 0) {
        const std::size_t want = static_cast<std::size_t>(std::min<std::uint64_t>(left, block.size()));
        if (!readExactly(block.data(), want))
            return false;
        left -= want;
        // After a fault the rest of the entry is still read, so that the
        // entries after it can be reached.
        if (fault == ArchiveError::None && !decoder.feed(block.data(), want))
            fault = decoder.error();
    }
    ++next_;
    if (fault == ArchiveError::None && !decoder.finish())
        fault = decoder.error();
    if (fault != ArchiveError::None)
        return fail(fault);
    lastError_ = ArchiveError::None;
    return true;
}

}  // namespace vza
