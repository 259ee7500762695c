// SPDX-License-Identifier: MIT
#include "vza/archive/read/entry_reader.h"

#include <algorithm>
#include <cerrno>

#include <fcntl.h>
#include <sys/sendfile.h>
#include <sys/stat.h>
#include <unistd.h>

#include "vza/archive/format/format.h"
#include "vza/archive/read/archive.h"
#include "vza/archive/read/decipher_ahead.h"
#include "vza/archive/read/entry_decoder.h"

namespace vza {

namespace {

// Entries up to this stored size, read one after another, are taken from a
// window read ahead in one call rather than one pread each.
constexpr std::size_t SmallEntry = 16 << 10;
constexpr std::size_t WindowSize = 256 << 10;
// Enciphered entries from this stored size on are read and deciphered ahead
// on a second thread. Smaller ones are not worth a thread; and extractAll's
// workers, which already keep every core busy, only ever read entries below
// it (its large entries are read by the calling thread, alone).
constexpr std::uint64_t ReadAheadFrom = 1 << 20;

}  // namespace

EntryReader::EntryReader(const Archive& archive) : archive_(&archive) {}

EntryReader::~EntryReader() = default;

bool EntryReader::fail(ArchiveError error, int systemError)
{
    lastError_ = error;
    systemError_ = systemError;
    return false;
}

bool EntryReader::succeed()
{
    lastError_ = ArchiveError::None;
    systemError_ = 0;
    return true;
}

bool EntryReader::streamEntry(std::int32_t index, const ChunkSink& sink)
{
    const std::optional<EntryView> entry = archive_->entry(index);
    if (!entry)
        return fail(ArchiveError::NoSuchEntry);
    const int fd = archive_->descriptor();
    if (fd < 0)
        return fail(ArchiveError::CannotOpenArchive, EBADF);
    const std::uint64_t offset = archive_->archiveIndex().entryOffset(index);
    if (offset > static_cast<std::uint64_t>(INT64_MAX) - entry->storedSize)
        return fail(ArchiveError::EntryTruncated);

    if (decoder_)
        decoder_->restart(archive_->flags(), *entry, archive_->keySchedule(), sink);
    else
        decoder_ = std::make_unique<EntryDecoder>(archive_->flags(), *entry, archive_->keySchedule(), sink);
    if ((archive_->flags() & FlagEncrypted) && entry->storedSize >= ReadAheadFrom) {
        DecipherAhead ahead(fd, offset, entry->storedSize, archive_->keySchedule(), 8);
        if (ahead.start())
            return feedDecipheredAhead(ahead, offset + entry->storedSize);
    }
    return feedStoredBytes(fd, offset, entry->storedSize);
}

// A large sealed entry: its bytes come deciphered from the second thread.
bool EntryReader::feedDecipheredAhead(DecipherAhead& ahead, std::uint64_t end)
{
    const std::uint8_t* data = nullptr;
    std::size_t length = 0;
    while (ahead.next(data, length))
        if (!decoder_->feedDeciphered(data, length))
            return fail(decoder_->error());
    if (ahead.failed())
        return fail(ArchiveError::EntryTruncated, ahead.systemError());
    nextOffset_ = end;
    return finishDecoding();
}

// The stored bytes at [offset, offset + size) to the decoder: a small entry
// read right after the one before, or one the caller said more are to follow
// (limitReadAhead), from the window read ahead; any other in blocks of pread.
bool EntryReader::feedStoredBytes(int fd, std::uint64_t offset, std::uint64_t size)
{
    const bool small = size > 0 && size <= SmallEntry;
    if (small && !inWindow(offset, size) && (offset == nextOffset_ || offset < aheadEnd_))
        fillWindow(fd, offset, static_cast<std::size_t>(size));
    if (small && inWindow(offset, size)) {
        // Copied out: the decoder deciphers in place, and the window must
        // keep the stored bytes should the entry be read again.
        const std::size_t length = static_cast<std::size_t>(size);
        if (block_.size() < length)
            block_.resize(length);
        std::copy_n(window_.data() + (offset - windowStart_), length, block_.data());
        if (!decoder_->feed(block_.data(), length))
            return fail(decoder_->error());
    } else if (!feedBlocks(fd, offset, size)) {
        return false;
    }
    nextOffset_ = offset + size;
    return finishDecoding();
}

// Reads [offset, offset + size) in blocks and feeds each to the decoder.
// One block for every entry: pieces of ChunkSize (a multiple of 8, as the
// decoder wants) keep memory bounded whatever the entry's size.
bool EntryReader::feedBlocks(int fd, std::uint64_t offset, std::uint64_t size)
{
    const std::size_t blockSize = static_cast<std::size_t>(std::min<std::uint64_t>(size, DataBuffer::ChunkSize));
    if (block_.size() < blockSize)
        block_.resize(blockSize);
    for (std::uint64_t position = offset, left = size; left > 0;) {
        const std::size_t want = static_cast<std::size_t>(std::min<std::uint64_t>(left, blockSize));
        std::size_t have = 0;
        while (have < want) {
            const ssize_t got = ::pread(fd, block_.data() + have, want - have, static_cast<off_t>(position + have));
            if (got < 0 && errno == EINTR)
                continue;
            if (got <= 0)
                return fail(ArchiveError::EntryTruncated, got < 0 ? errno : 0);
            have += static_cast<std::size_t>(got);
        }
        if (!decoder_->feed(block_.data(), want))
            return fail(decoder_->error());
        position += want;
        left -= want;
    }
    return true;
}

bool EntryReader::finishDecoding()
{
    return decoder_->finish() ? succeed() : fail(decoder_->error());
}

bool EntryReader::inWindow(std::uint64_t offset, std::uint64_t length) const
{
    return offset >= windowStart_ && offset - windowStart_ <= windowLength_ &&
           length <= windowLength_ - (offset - windowStart_);
}

// Reads ahead from offset: a full window, or up to the caller's limit, but
// never less than length, the entry being read.
void EntryReader::fillWindow(int fd, std::uint64_t offset, std::size_t length)
{
    std::size_t size = WindowSize;
    if (aheadEnd_ > offset)
        size = static_cast<std::size_t>(std::min<std::uint64_t>(size, aheadEnd_ - offset));
    size = std::max(size, length);
    if (window_.size() < size)
        window_.resize(size);
    windowStart_ = offset;
    windowLength_ = 0;
    while (windowLength_ < size) {
        const ssize_t got = ::pread(fd, window_.data() + windowLength_, size - windowLength_,
                                    static_cast<off_t>(offset + windowLength_));
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            break;  // the end of the file, or an error the direct read reports
        windowLength_ += static_cast<std::size_t>(got);
    }
}

bool EntryReader::writeEntry(std::int32_t index, OutputFile& out, const Progress& progress)
{
    const std::optional<EntryView> entry = archive_->entry(index);
    if (!entry)
        return fail(ArchiveError::NoSuchEntry);
    // Bytes stored as they are need no decoding: the length rule says so
    // for a compressed archive too.
    if (!(archive_->flags() & FlagEncrypted) && entry->storedSize == entry->originalSize) {
        switch (copyStoredBytes(index, out, progress)) {
        case Copy::Done: return succeed();
        case Copy::Failed: return false;
        case Copy::Unsupported: break;
        }
    }
    const bool written = streamEntry(index, [&](const std::uint8_t* data, std::size_t length) {
        return out.write(data, length) && (!progress || progress(length));
    });
    if (!written && lastError_ == ArchiveError::CannotWriteOutput)
        systemError_ = out.systemError();
    return written;
}

EntryReader::Copy EntryReader::copyStoredBytes(std::int32_t index, OutputFile& out, const Progress& progress)
{
    const int target = out.descriptor();
    if (target < 0)
        return Copy::Unsupported;
    const int source = archive_->descriptor();
    if (source < 0) {
        fail(ArchiveError::CannotOpenArchive, EBADF);
        return Copy::Failed;
    }
    struct stat status;
    const std::uint64_t offset = archive_->archiveIndex().entryOffset(index);
    const std::uint64_t length = archive_->entry(index)->storedSize;
    // An empty entry has nothing that could be missing, wherever it lies.
    if (fstat(source, &status) != 0 || (length > 0 && offset + length > static_cast<std::uint64_t>(status.st_size))) {
        fail(ArchiveError::EntryTruncated);
        return Copy::Failed;
    }
    // sendfile copies page cache to page cache, without a pass through
    // user memory; it reads at position, never moving the descriptor's own
    // offset, so other readers of the archive are not disturbed. Steps of
    // 8 MiB keep progress reports coming.
    off_t position = static_cast<off_t>(offset);
    std::uint64_t left = length;
    while (left > 0) {
        const std::size_t step = static_cast<std::size_t>(std::min<std::uint64_t>(left, 8 << 20));
        const ssize_t sent = ::sendfile(target, source, &position, step);
        if (sent < 0 && errno == EINTR)
            continue;
        if (sent < 0 && left == length && (errno == EINVAL || errno == ENOSYS))
            return Copy::Unsupported;  // e.g. a target that cannot take it: copy by hand
        if (sent <= 0) {
            if (sent == 0)
                fail(ArchiveError::EntryTruncated);
            else
                fail(ArchiveError::CannotWriteOutput, errno);
            return Copy::Failed;
        }
        left -= static_cast<std::uint64_t>(sent);
        if (progress && !progress(static_cast<std::size_t>(sent))) {
            fail(ArchiveError::CannotWriteOutput);
            return Copy::Failed;
        }
    }
    return Copy::Done;
}

}  // namespace vza
