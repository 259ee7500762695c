// SPDX-License-Identifier: MIT
#include "vza/archive/write/archive_writer.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <fcntl.h>
#include <optional>
#include <sys/sendfile.h>
#include <unistd.h>

#include "vza/archive/format/data_buffer.h"
#include "vza/archive/format/entry_table.h"
#include "vza/archive/format/format.h"
#include "vza/archive/fs/process_limits.h"
#include "vza/archive/names/path_components.h"
#include "vza/archive/write/archive_output.h"
#include "vza/archive/write/deflate_pool.h"
#include "vza/codec/block_deflater.h"
#include "vza/codec/blowfish.h"
#include "vza/codec/parallel_cipher.h"

namespace vza {

namespace {

// Input is read, and sealed bytes are written, in pieces of this size: the
// writer's memory does not grow with the size of its inputs.
constexpr std::size_t PieceSize = std::size_t{1} << 20;
// Plain inputs from this size on are copied by the kernel (copy_file_range).
constexpr std::uint64_t KernelCopyFrom = 64 << 10;
// For tests: act as where the kernel cannot copy between the two files.
bool kernelCopyRefused = false;

// Writes all of data, at offset when given, else at the file's position
// (the only way into a pipe); short writes and EINTR are retried.
bool writeFully(int fd, const std::uint8_t* data, std::size_t length, std::optional<std::uint64_t> offset)
{
    while (length > 0) {
        const ssize_t done =
            offset ? ::pwrite(fd, data, length, static_cast<off_t>(*offset)) : ::write(fd, data, length);
        if (done < 0 && errno == EINTR)
            continue;
        if (done <= 0)
            return false;
        data += done;
        length -= static_cast<std::size_t>(done);
        if (offset)
            *offset += static_cast<std::uint64_t>(done);
    }
    return true;
}

bool writeAll(int fd, const std::uint8_t* data, std::size_t length)
{
    return writeFully(fd, data, length, std::nullopt);
}

bool writeAllAt(int fd, const std::uint8_t* data, std::size_t length, std::uint64_t offset)
{
    return writeFully(fd, data, length, offset);
}

// A file for the data area of a compressed archive written to a pipe: its
// sizes are known only once everything is compressed, and the index comes
// first. Unlinked from the start, so it goes with the process.
int openSpool()
{
    const char* folder = std::getenv("TMPDIR");
    if (!folder || !*folder)
        folder = "/tmp";
#ifdef O_TMPFILE
    const int fd = ::open(folder, O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
    if (fd >= 0)
        return fd;
#endif
    std::string name = std::string(folder) + "/.vza-spool-XXXXXX";
    const int named = ::mkostemp(name.data(), O_CLOEXEC);
    if (named >= 0)
        ::unlink(name.c_str());
    return named;
}

}  // namespace

void refuseKernelCopyForTesting(bool refused)
{
    kernelCopyRefused = refused;
}

bool prepareStored(DataBuffer& buffer, std::uint32_t flags)
{
    if ((flags & FlagCompressed) && !buffer.compress())
        return false;
    if (flags & FlagEncrypted)
        buffer.encrypt();
    return true;
}

// The writer's own key schedule, made from the password at begin(). Long
// runs (the pieces of a large entry) are enciphered on as many threads as
// the writer compresses on, set when the archive is written.
struct ArchiveWriter::Cipher {
    CipherState state;
    std::unique_ptr<ParallelCipher> parallel;
    unsigned threads = 0;

    void useThreads(unsigned count)
    {
        if (count != threads)
            parallel = count > 1 ? std::make_unique<ParallelCipher>(count) : nullptr;
        threads = count;
    }
    void encipher(std::uint8_t* bytes, std::size_t length) const
    {
        if (parallel)
            parallel->encrypt(state, bytes, length);
        else
            encryptBuffer(state, bytes, length);
    }
};

// Where the data area goes: the output itself (at offset base), or a spool.
// A stream takes its bytes in order only.
class ArchiveWriter::Target {
public:
    Target(int fd, bool seekable, std::uint64_t base, std::uint64_t dataStart, std::uint64_t limit)
        : fd_(fd), seekable_(seekable), base_(base), dataStart_(dataStart), limit_(limit)
    {}

    int fd() const { return fd_; }
    bool seekable() const { return seekable_; }
    std::uint64_t base() const { return base_; }

    // Writes data at offset of the data area. Fails with ArchiveTooLarge when
    // the archive would reach its limit, CannotWriteOutput when the write
    // fails. Small writes that follow each other into a file are gathered
    // into one system call (see flush()).
    ArchiveError write(std::uint64_t offset, const std::uint8_t* data, std::size_t length)
    {
        if (const ArchiveError room = reserve(offset, length); room != ArchiveError::None)
            return room;
        if (seekable_) {
            if (!pending_.empty() && offset == pendingAt_ + pending_.size() && pending_.size() + length <= PieceSize) {
                pending_.insert(pending_.end(), data, data + length);
                return ArchiveError::None;
            }
            if (const ArchiveError error = flush(); error != ArchiveError::None)
                return error;
            if (length >= PieceSize / 4)
                return writeAllAt(fd_, data, length, base_ + offset) ? ArchiveError::None
                                                                     : ArchiveError::CannotWriteOutput;
            if (pending_.capacity() < PieceSize)
                pending_.reserve(PieceSize);
            pendingAt_ = offset;
            pending_.assign(data, data + length);
            return ArchiveError::None;
        }
        if (offset != written_ || !writeAll(fd_, data, length))
            return ArchiveError::CannotWriteOutput;
        written_ += length;
        return ArchiveError::None;
    }

    ArchiveError reserve(std::uint64_t offset, std::uint64_t length) const
    {
        return dataStart_ + offset + length >= limit_ ? ArchiveError::ArchiveTooLarge : ArchiveError::None;
    }

    // For copies made by the kernel straight into a stream.
    void advance(std::uint64_t length) { written_ += length; }

    // Writes what write() gathered; needed before the file is used directly.
    ArchiveError flush()
    {
        if (pending_.empty())
            return ArchiveError::None;
        const bool written = writeAllAt(fd_, pending_.data(), pending_.size(), base_ + pendingAt_);
        pending_.clear();
        return written ? ArchiveError::None : ArchiveError::CannotWriteOutput;
    }

private:
    int fd_;
    bool seekable_;
    std::uint64_t base_;
    std::uint64_t dataStart_;
    std::uint64_t limit_;
    std::uint64_t written_ = 0;
    std::vector<std::uint8_t> pending_;
    std::uint64_t pendingAt_ = 0;
};

// The plain bytes of one entry, from memory or from its file, read in order
// and never past the size planned.
class ArchiveWriter::EntryInput {
public:
    EntryInput() = default;
    EntryInput(const EntryInput&) = delete;
    EntryInput& operator=(const EntryInput&) = delete;
    ~EntryInput()
    {
        if (fd >= 0)
            ::close(fd);
    }

    // Reads the next length bytes of a file into into (length no more than
    // what is left of the planned size).
    ArchiveError read(std::uint8_t* into, std::size_t length)
    {
        std::size_t got = 0;
        while (got < length) {
            const ssize_t n = ::read(fd, into + got, length - got);
            if (n < 0 && errno == EINTR)
                continue;
            if (n < 0) {
                error = errno;
                return ArchiveError::CannotReadInput;
            }
            if (n == 0)
                return ArchiveError::InputChanged;  // shrank since it was planned
            got += static_cast<std::size_t>(n);
        }
        done += length;
        return ArchiveError::None;
    }

    // The next piece, at most PieceSize bytes, in data/length; length 0 at
    // the end. False when the file is shorter than planned or cannot be read.
    ArchiveError next(const std::uint8_t*& data, std::size_t& length)
    {
        const std::uint64_t left = size - done;
        length = static_cast<std::size_t>(std::min<std::uint64_t>(left, PieceSize));
        if (inMemory) {
            data = memory + done;
            done += length;
            return ArchiveError::None;
        }
        // Sized to the file: most inputs are small, and a buffer is filled
        // with zeros when made.
        if (buffer.empty() && length > 0)
            buffer.resize(static_cast<std::size_t>(std::min<std::uint64_t>(size, PieceSize)) + 1);
        data = buffer.data();
        if (length == left && length > 0)
            return readLast(buffer.data(), length);
        return read(buffer.data(), length);
    }

    // Reads the last length bytes, asking for one more: a file that grew
    // gives it, and a first read that stops one short of the request has
    // met the end, which spares checkEnd() its own call.
    ArchiveError readLast(std::uint8_t* into, std::size_t length)
    {
        ssize_t n;
        do {
            n = ::read(fd, into, length + 1);
        } while (n < 0 && errno == EINTR);
        if (n < 0) {
            error = errno;
            return ArchiveError::CannotReadInput;
        }
        const auto got = static_cast<std::size_t>(n);
        if (got > length)
            return ArchiveError::InputChanged;  // grew since it was planned
        if (got == length) {
            done += length;
            endSeen = true;
            return ArchiveError::None;
        }
        if (got == 0)
            return ArchiveError::InputChanged;  // shrank since it was planned
        done += got;
        return read(into + got, length - got);
    }

    // After the last piece: the file must end where it was planned to.
    ArchiveError checkEnd()
    {
        if (inMemory || endSeen)
            return ArchiveError::None;
        std::uint8_t probe;
        ssize_t n;
        do {
            n = ::pread(fd, &probe, 1, static_cast<off_t>(size));
        } while (n < 0 && errno == EINTR);
        if (n < 0) {
            error = errno;
            return ArchiveError::CannotReadInput;
        }
        return n == 0 ? ArchiveError::None : ArchiveError::InputChanged;
    }

    ArchiveError rewind()
    {
        done = 0;
        endSeen = false;
        if (!inMemory && ::lseek(fd, 0, SEEK_SET) != 0) {
            error = errno;
            return ArchiveError::CannotReadInput;
        }
        return ArchiveError::None;
    }

    bool inMemory = false;
    bool endSeen = false;  // a read has already found the end where it was planned
    const std::uint8_t* memory = nullptr;
    int fd = -1;
    std::uint64_t size = 0;
    std::uint64_t done = 0;
    int error = 0;
    std::vector<std::uint8_t> buffer;
};

namespace {

// Writes the sealed form of an entry in pieces: the payload enciphered block
// by block from at + 8, zero-padded, and the first block (magic and payload
// length) either first, when the length is known, or last. ECB blocks are
// enciphered independently, so the order does not matter.
template <class Cipher, class Target>
class Sealer {
public:
    // payload, when known, sizes the buffer: a small entry does not get a
    // whole piece allocated and cleared for it.
    Sealer(Cipher* cipher, Target& target, std::uint64_t at, std::uint64_t payload = PieceSize)
        : cipher_(cipher), target_(target), at_(at),
          capacity_(static_cast<std::size_t>(std::min<std::uint64_t>(
              PieceSize, roundUp8(static_cast<std::int64_t>(std::max<std::uint64_t>(payload, 8))))))
    {}

    ArchiveError writePrefix(std::uint32_t length)
    {
        std::uint8_t block[8];
        putU32(ArchiveMagic, block);
        putU32(length, block + 4);
        cipher_->encipher(block, 8);
        return target_.write(at_, block, 8);
    }

    ArchiveError push(const std::uint8_t* data, std::size_t length)
    {
        while (length > 0) {
            if (buffer_.empty())
                buffer_.resize(capacity_);
            const std::size_t take = std::min(length, capacity_ - fill_);
            std::memcpy(buffer_.data() + fill_, data, take);
            fill_ += take;
            data += take;
            length -= take;
            if (fill_ == capacity_) {
                if (const ArchiveError error = flush(); error != ArchiveError::None)
                    return error;
            }
        }
        return ArchiveError::None;
    }

    // Pads and writes what is left; the payload's sealed length is then
    // roundUp8(payload) + 8.
    ArchiveError finish()
    {
        const std::size_t padded = static_cast<std::size_t>(roundUp8(static_cast<std::int64_t>(fill_)));
        if (padded > 0 && buffer_.size() < padded)
            buffer_.resize(capacity_);
        std::fill(buffer_.begin() + static_cast<std::ptrdiff_t>(fill_),
                  buffer_.begin() + static_cast<std::ptrdiff_t>(padded), 0);
        fill_ = padded;
        return flush();
    }

    // Starts over, for the entry at at.
    void restart(std::uint64_t at)
    {
        at_ = at;
        fill_ = 0;
        written_ = 0;
    }

private:
    ArchiveError flush()
    {
        if (fill_ == 0)
            return ArchiveError::None;
        cipher_->encipher(buffer_.data(), fill_);
        const ArchiveError error = target_.write(at_ + 8 + written_, buffer_.data(), fill_);
        written_ += fill_;
        fill_ = 0;
        return error;
    }

    Cipher* cipher_;
    Target& target_;
    std::uint64_t at_;
    std::size_t capacity_;  // a multiple of 8, at most PieceSize
    std::vector<std::uint8_t> buffer_;
    std::size_t fill_ = 0;
    std::uint64_t written_ = 0;
};

}  // namespace

ArchiveWriter::ArchiveWriter() = default;
ArchiveWriter::~ArchiveWriter() = default;

bool ArchiveWriter::fail(ArchiveError error, int systemError)
{
    lastError_ = error;
    systemError_ = systemError;
    return false;
}

bool ArchiveWriter::begin(std::uint32_t flags, const std::string& password)
{
    index_.clear();
    records_.clear();
    sources_.clear();
    memory_.clear();
    inodes_.clear();
    fileDevices_.clear();
    devices_.clear();
    stored_.clear();
    cipher_.reset();
    flags_ = 0;
    begun_ = false;
    prepared_ = false;
    preparedData_ = nullptr;
    preparedLength_ = 0;
    failedEntry_ = -1;
    lastError_ = ArchiveError::None;
    systemError_ = 0;
    if (flags & FlagEncrypted) {
        // The key schedule needs at least one key byte.
        if (password.empty())
            return fail(ArchiveError::EmptyPassword);
        cipher_ = std::make_unique<Cipher>();
        setKey(cipher_->state, reinterpret_cast<const std::uint8_t*>(password.data()), password.size());
    }
    flags_ = flags;
    plainEnd_ = HeaderSize;
    begun_ = true;
    return true;
}

void ArchiveWriter::beginPrepared(std::uint32_t flags, const CipherState& key, const std::uint8_t* data,
                                  std::size_t length)
{
    begin(flags & ~FlagEncrypted);
    flags_ = flags;
    if (flags & FlagEncrypted) {
        cipher_ = std::make_unique<Cipher>();
        cipher_->state = key;
    }
    prepared_ = true;
    preparedData_ = data;
    preparedLength_ = length;
}

bool ArchiveWriter::addRecord(std::string_view name, std::uint32_t originalSize, std::uint32_t storedSize)
{
    if (!begun_ || !prepared_)
        return fail(ArchiveError::CannotWriteOutput);
    return appendRecord(name, originalSize, storedSize, Stored);
}

bool ArchiveWriter::plan(const std::string& name, std::uint64_t size, std::uint32_t source)
{
    if (!begun_)
        return fail(lastError_ == ArchiveError::None ? ArchiveError::CannotWriteOutput : lastError_);
    const std::string stored = toSlashes(name);
    if (!safeStoredName(stored))
        return fail(ArchiveError::UnsafeName);
    return planSized(stored, size, source);
}

// An entry of a stored name already judged, size bytes before sealing.
bool ArchiveWriter::planSized(std::string_view stored, std::uint64_t size, std::uint32_t source)
{
    if (size > UINT32_MAX)
        return fail(ArchiveError::ArchiveTooLarge);
    const bool encrypted = (flags_ & FlagEncrypted) != 0;
    const std::uint64_t storedSize =
        encrypted ? static_cast<std::uint64_t>(roundUp8(static_cast<std::int64_t>(size))) + 8 : size;
    return appendRecord(stored, size, storedSize, source);
}

// The data area as it is when nothing is compressed: exact for archives
// without compression (refused now, before anything is written, when it
// reaches the limit); for compressed ones only the index counts yet.
bool ArchiveWriter::appendRecord(std::string_view name, std::uint64_t originalSize, std::uint64_t storedSize,
                                 std::uint32_t source)
{
    const std::uint64_t indexSize = index_.size() + RecordHeaderSize + name.size();
    const std::uint64_t plainEnd = plainEnd_ + RecordHeaderSize + name.size() + storedSize;
    const std::uint64_t indexEnd =
        HeaderSize + static_cast<std::uint64_t>(roundUp8(static_cast<std::int64_t>(indexSize)));
    if (indexEnd >= maxArchiveSize_ || (!(flags_ & FlagCompressed) && plainEnd + 7 >= maxArchiveSize_))
        return fail(ArchiveError::ArchiveTooLarge);
    plainEnd_ = plainEnd;
    const std::size_t at = index_.size();
    index_.resize(static_cast<std::size_t>(indexSize));
    putU32(static_cast<std::uint32_t>(name.size()), index_.data() + at);
    putU32(static_cast<std::uint32_t>(storedSize), index_.data() + at + 4);
    putU32(static_cast<std::uint32_t>(originalSize), index_.data() + at + 8);
    std::memcpy(index_.data() + at + RecordHeaderSize, name.data(), name.size());
    records_.push_back(static_cast<std::uint32_t>(at));
    sources_.push_back(source);
    return true;
}

bool ArchiveWriter::addStored(const EntryView& entry, int fd, std::uint64_t offset)
{
    if (!begun_)
        return fail(lastError_ == ArchiveError::None ? ArchiveError::CannotWriteOutput : lastError_);
    // The sizes must be ones these flags give, or the copy would be an
    // entry no reader can take apart.
    const std::uint64_t storedSize = entry.storedSize;
    const bool fits = (flags_ & FlagEncrypted)    ? storedSize >= 8 && storedSize % 8 == 0
                      : (flags_ & FlagCompressed) ? true
                                                  : storedSize == entry.originalSize;
    if (!fits)
        return fail(ArchiveError::EntryCorrupt);
    if (!appendRecord(entry.name, entry.originalSize, storedSize, Stored | static_cast<std::uint32_t>(stored_.size())))
        return false;
    stored_.push_back(StoredBytes{fd, offset});
    return true;
}

bool ArchiveWriter::copyStored(std::size_t index, Target& target, std::uint64_t at)
{
    const StoredBytes& source = stored_[sources_[index] & SourceNumber];
    const std::uint8_t* record = index_.data() + records_[index];
    const std::uint64_t length = getU32(record + 4);
    if (const ArchiveError room = target.reserve(at, length); room != ArchiveError::None)
        return fail(room);
    std::vector<std::uint8_t> piece(static_cast<std::size_t>(std::min<std::uint64_t>(length, PieceSize)));
    std::uint64_t done = 0;
    while (done < length) {
        const std::size_t want = static_cast<std::size_t>(std::min<std::uint64_t>(length - done, PieceSize));
        const ssize_t got = ::pread(source.fd, piece.data(), want, static_cast<off_t>(source.offset + done));
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            return fail(ArchiveError::CannotReadInput, errno);
        if (got == 0)
            return fail(ArchiveError::EntryTruncated);
        // A sealed entry must open with the magic and its payload length
        // under this archive's key: one sealed under another key (a password
        // that got past the header check by chance), or damaged, is not
        // copied under the new index.
        if (done == 0 && (flags_ & FlagEncrypted)) {
            if (got < 8)
                return fail(ArchiveError::EntryTruncated);  // a regular file reads short only at its end
            std::uint8_t block[8];
            std::memcpy(block, piece.data(), 8);
            decryptBlock(cipher_->state, block);
            const std::uint64_t payload = getU32(block + 4);
            if (getU32(block) != ArchiveMagic ||
                static_cast<std::uint64_t>(roundUp8(static_cast<std::int64_t>(payload))) + 8 != length)
                return fail(ArchiveError::EntryCorrupt);
        }
        if (const ArchiveError error = target.write(at + done, piece.data(), static_cast<std::size_t>(got));
            error != ArchiveError::None)
            return fail(error, error == ArchiveError::CannotWriteOutput ? errno : 0);
        done += static_cast<std::uint64_t>(got);
    }
    if (progress_)
        progress_(index, getU32(record + 8));
    return true;
}

void ArchiveWriter::reserve(std::size_t entries, std::size_t nameBytes)
{
    index_.reserve(index_.size() + entries * RecordHeaderSize + nameBytes);
    records_.reserve(records_.size() + entries);
    sources_.reserve(sources_.size() + entries);
    inodes_.reserve(inodes_.size() + entries);
    fileDevices_.reserve(fileDevices_.size() + entries);
}

void ArchiveWriter::setMaxArchiveSize(std::uint64_t bytes)
{
    maxArchiveSize_ = std::min(bytes, MaxArchiveSize);
}

ArchiveEntry ArchiveWriter::entry(std::size_t index) const
{
    const std::uint8_t* record = index_.data() + records_[index];
    return ArchiveEntry{std::string(reinterpret_cast<const char*>(record + RecordHeaderSize), getU32(record)),
                        getU32(record + 8), getU32(record + 4)};
}

bool ArchiveWriter::addBytes(const std::string& name, const void* bytes, std::size_t length)
{
    const auto* first = static_cast<const std::uint8_t*>(bytes);
    if (!plan(name, length, InMemory | static_cast<std::uint32_t>(memory_.size())))
        return false;
    memory_.emplace_back(first, first + length);
    return true;
}

bool ArchiveWriter::addFile(const std::string& name, const struct stat& seen)
{
    if (!begun_)
        return fail(lastError_ == ArchiveError::None ? ArchiveError::CannotWriteOutput : lastError_);
    const std::string stored = toSlashes(name);
    if (!safeStoredName(stored))
        return fail(ArchiveError::UnsafeName);
    return planFile(stored, seen);
}

bool ArchiveWriter::addFile(const InputTree::StoredName& name, const struct stat& seen)
{
    if (!begun_)
        return fail(lastError_ == ArchiveError::None ? ArchiveError::CannotWriteOutput : lastError_);
    return planFile(name.text(), seen);
}

// A file planned under its stored name, its identity kept for writing.
bool ArchiveWriter::planFile(std::string_view storedName, const struct stat& seen)
{
    if (!S_ISREG(seen.st_mode) || seen.st_size < 0)
        return fail(ArchiveError::CannotReadInput, EINVAL);
    if (!planSized(storedName, static_cast<std::uint64_t>(seen.st_size), static_cast<std::uint32_t>(inodes_.size())))
        return false;
    const auto device = static_cast<std::uint64_t>(seen.st_dev);
    std::size_t number = fileDevices_.empty() ? 0 : fileDevices_.back();
    if (number >= devices_.size() || devices_[number] != device) {
        number = static_cast<std::size_t>(std::find(devices_.begin(), devices_.end(), device) - devices_.begin());
        if (number == devices_.size())
            devices_.push_back(device);
    }
    inodes_.push_back(static_cast<std::uint64_t>(seen.st_ino));
    fileDevices_.push_back(static_cast<std::uint32_t>(number));
    return true;
}

// Writes the header and the index from the file's start, enciphered piece
// by piece for an encrypted archive (ECB: each 8-byte block on its own, and
// the run from byte 8 on stays aligned to them), padded to 8 bytes then.
bool ArchiveWriter::writeHead(int fd, bool seekable) const
{
    const bool encrypted = (flags_ & FlagEncrypted) != 0;
    std::uint8_t header[HeaderSize];
    std::uint32_t check[4];
    makeCheckWords(check);
    putU32(ArchiveMagic, header);
    putU32(flags_, header + 4);
    for (std::size_t i = 0; i < 4; ++i)
        putU32(check[i], header + 8 + 4 * i);
    putU32(static_cast<std::uint32_t>(sources_.size()), header + 24);
    putU32(static_cast<std::uint32_t>(index_.size()), header + 28);
    if (encrypted)
        cipher_->encipher(header + 8, HeaderSize - 8);
    std::uint64_t at = 0;
    auto put = [&](const std::uint8_t* data, std::size_t length) {
        const bool ok = seekable ? writeAllAt(fd, data, length, at) : writeAll(fd, data, length);
        at += length;
        return ok;
    };
    if (!put(header, HeaderSize))
        return false;
    if (!encrypted)
        return put(index_.data(), index_.size());
    std::vector<std::uint8_t> piece;
    for (std::size_t done = 0; done < index_.size();) {
        const std::size_t take = std::min(index_.size() - done, PieceSize);
        piece.assign(index_.begin() + static_cast<std::ptrdiff_t>(done),
                     index_.begin() + static_cast<std::ptrdiff_t>(done + take));
        piece.resize(static_cast<std::size_t>(roundUp8(static_cast<std::int64_t>(take))), 0);
        cipher_->encipher(piece.data(), piece.size());
        if (!put(piece.data(), piece.size()))
            return false;
        done += take;
    }
    return true;
}

std::uint64_t ArchiveWriter::dataSize() const
{
    if (prepared_)
        return preparedLength_;
    std::uint64_t total = 0;
    for (const std::uint32_t record : records_)
        total += getU32(index_.data() + record + 4);
    return total;
}

bool ArchiveWriter::writeTo(const std::string& path)
{
    if (!begun_)
        return fail(lastError_ == ArchiveError::None ? ArchiveError::CannotWriteOutput : lastError_);
    ArchiveOutput output;
    if (!output.open(path))
        return fail(output.lastError(), output.systemError());
    return writeTo(output);
}

bool ArchiveWriter::writeTo(int fd)
{
    if (!begun_)
        return fail(lastError_ == ArchiveError::None ? ArchiveError::CannotWriteOutput : lastError_);
    ArchiveOutput output;
    if (!output.openStream(fd))
        return fail(output.lastError(), output.systemError());
    return writeTo(output);
}

bool ArchiveWriter::writeTo(ArchiveOutput& output)
{
    if (!begun_)
        return fail(lastError_ == ArchiveError::None ? ArchiveError::CannotWriteOutput : lastError_);
    if (output.descriptor() < 0)
        return fail(ArchiveError::CannotWriteOutput, EBADF);
    const bool written = write(output);
    if (!written)
        output.discard();
    return written;
}

bool ArchiveWriter::write(ArchiveOutput& output)
{
    failedEntry_ = -1;
    lastError_ = ArchiveError::None;
    systemError_ = 0;
    const std::uint64_t dataStart =
        HeaderSize + static_cast<std::uint64_t>(
                         (flags_ & FlagEncrypted) ? roundUp8(static_cast<std::int64_t>(index_.size())) : index_.size());
    const int fd = output.descriptor();
    if (cipher_)
        cipher_->useThreads(threadCount());

    if (output.seekable()) {
        // Header and index go in last, over the room left for them: only
        // then are the stored sizes known (and enciphered with the rest).
        Target target(fd, true, dataStart, dataStart, maxArchiveSize_);
        if (!writeEntries(target))
            return false;
        if (::ftruncate(fd, static_cast<off_t>(dataStart + dataSize())) != 0 || !writeHead(fd, true))
            return fail(ArchiveError::CannotWriteOutput, errno);
    } else if (!(flags_ & FlagCompressed)) {
        // Every stored size follows from the planned sizes: header and index
        // first, then the entries straight into the stream.
        if (!writeHead(fd, false))
            return fail(ArchiveError::CannotWriteOutput, errno);
        Target target(fd, false, 0, dataStart, maxArchiveSize_);
        if (!writeEntries(target))
            return false;
    } else {
        // Compressed sizes are known only once compressed, and the index
        // comes first: the data area is spooled to a temporary file.
        if (!writeSpooled(fd, dataStart))
            return false;
    }
    if (!output.commit())
        return fail(output.lastError(), output.systemError());
    return true;
}

// A compressed archive to a stream: the data area into an unlinked spool
// file first, then the header and index, then the spool.
bool ArchiveWriter::writeSpooled(int fd, std::uint64_t dataStart)
{
    const int spool = openSpool();
    if (spool < 0)
        return fail(ArchiveError::CannotWriteOutput, errno);
    Target target(spool, true, 0, dataStart, maxArchiveSize_);
    const bool ok = writeEntries(target) && (writeHead(fd, false) || fail(ArchiveError::CannotWriteOutput, errno)) &&
                    sendSpool(spool, fd);
    ::close(spool);
    return ok;
}

// Copies the spool's data area to the stream fd: by the kernel (sendfile),
// or by hand where the output does not take it.
bool ArchiveWriter::sendSpool(int spool, int fd)
{
    std::uint64_t left = dataSize();
    std::vector<std::uint8_t> piece;
    off_t position = 0;
    while (left > 0) {
        const std::size_t step = static_cast<std::size_t>(std::min<std::uint64_t>(left, PieceSize));
        ssize_t sent = kernelCopyRefused ? (errno = EINVAL, -1) : ::sendfile(fd, spool, &position, step);
        if (sent < 0 && errno == EINTR)
            continue;
        if (sent < 0 && (errno == EINVAL || errno == ENOSYS)) {
            piece.resize(step);
            sent = ::pread(spool, piece.data(), step, position);
            if (sent > 0 && !writeAll(fd, piece.data(), static_cast<std::size_t>(sent)))
                sent = -1;
            if (sent > 0)
                position += sent;
        }
        if (sent <= 0)
            return fail(ArchiveError::CannotWriteOutput, sent < 0 ? errno : EIO);
        left -= static_cast<std::uint64_t>(sent);
    }
    return true;
}

unsigned ArchiveWriter::threadCount() const
{
    if (threads_ != 0)
        return threads_;
    return std::clamp(usableCpuCount(), 1u, 16u);
}

// The data area of beginPrepared(), as it stands.
bool ArchiveWriter::writePrepared(Target& target)
{
    for (std::size_t done = 0; done < preparedLength_;) {
        const std::size_t take = std::min(preparedLength_ - done, PieceSize);
        if (const ArchiveError error = target.write(done, preparedData_ + done, take); error != ArchiveError::None)
            return fail(error, error == ArchiveError::CannotWriteOutput ? errno : 0);
        done += take;
    }
    const ArchiveError flushed = target.flush();
    return flushed == ArchiveError::None || fail(flushed, errno);
}

bool ArchiveWriter::writeEntries(Target& target)
{
    if (prepared_)
        return writePrepared(target);
    // Level 0 stores: every entry as it is, which a compressed archive
    // reads as plain by its length.
    if ((flags_ & FlagCompressed) && level_ != 0) {
        if (!writeCompressed(target))
            return false;
        const ArchiveError flushed = target.flush();
        return flushed == ArchiveError::None || fail(flushed, errno);
    }
    std::uint64_t offset = 0;
    for (std::size_t i = 0; i < sources_.size(); ++i) {
        std::uint32_t stored = 0;
        if (!writeEntry(i, target, offset, stored)) {
            failedEntry_ = static_cast<std::int64_t>(i);
            return false;
        }
        putU32(stored, index_.data() + records_[i] + 4);
        offset += stored;
    }
    const ArchiveError flushed = target.flush();
    return flushed == ArchiveError::None || fail(flushed, errno);
}

// Compressed archives: the entries are read in pieces of 1 MiB on this
// thread, compressed by the pool on as many threads as allowed, and written
// back here in order. A few pieces (or batches of small ones) are ahead at
// most, so memory stays a few MiB whatever the inputs. An entry whose
// stream is not shorter than its bytes is stored as it is: from its piece
// when it had only one, else read again.
class ArchiveWriter::CompressedRun {
public:
    CompressedRun(ArchiveWriter& writer, Target& target)
        : writer_(writer), target_(target), threads_(writer.threadCount()), pool_(threads_, writer.level_),
          ahead_(std::min<std::size_t>(2 * std::size_t{threads_} + 2, 12)),
          maxOpen_(ahead_ * DeflatePool::MaxBatchPieces), sealer_(writer.cipher_.get(), target, 0)
    {}

    bool run()
    {
        while (true) {
            while (pool_.pending() < ahead_ && open_.size() < maxOpen_ &&
                   ((!open_.empty() && !open_.back().read) || next_ < writer_.sources_.size())) {
                if (!produce())
                    return false;
            }
            if (!open_.empty() && open_.front().stored) {
                if (!copyFront())
                    return false;
                continue;
            }
            std::unique_ptr<DeflatePiece> piece = pool_.take();
            if (!piece)
                return true;
            // The rest of an entry already stored as it is goes unused.
            const bool used = open_.empty() || piece->entry != open_.front().index || writePiece(*piece);
            if (!used)
                return false;
            pool_.recycle(std::move(piece));
        }
    }

private:
    // An entry from the one being written (front) to the one being read (back).
    struct Open {
        std::size_t index = 0;
        EntryInput input;
        bool read = false;    // every piece handed to the pool
        bool stored = false;  // copied as it is stored (addStored), without pieces
    };

    bool failAt(std::size_t index, ArchiveError error, int systemError)
    {
        writer_.failedEntry_ = static_cast<std::int64_t>(index);
        return writer_.fail(error, systemError);
    }

    bool writeFailed(std::size_t index)
    {
        return failAt(index, writeError_, writeError_ == ArchiveError::CannotWriteOutput ? errno : 0);
    }

    // Starts reading the next entry; a stored one needs no pieces.
    bool openNext()
    {
        open_.emplace_back();
        Open& entry = open_.back();
        entry.index = next_++;
        tail_.clear();
        if (writer_.sources_[entry.index] & Stored) {
            entry.stored = entry.read = true;
            return true;
        }
        if (!writer_.openInput(entry.index, entry.input)) {
            writer_.failedEntry_ = static_cast<std::int64_t>(entry.index);
            return false;
        }
        return true;
    }

    // Reads the next piece of the entry being read and hands it to the pool.
    bool produce()
    {
        if ((open_.empty() || open_.back().read) && !openNext())
            return false;
        if (open_.back().stored)
            return true;
        Open& entry = open_.back();
        EntryInput& input = entry.input;
        std::unique_ptr<DeflatePiece> piece = pool_.spare();
        const std::uint64_t at = input.done;
        piece->entry = entry.index;
        piece->first = at == 0;
        piece->length = static_cast<std::size_t>(std::min<std::uint64_t>(input.size - at, PieceSize));
        piece->last = at + piece->length == input.size;
        if (input.inMemory) {
            piece->data = input.memory + at;
            input.done += piece->length;
        } else {
            piece->input.resize(piece->length);
            piece->data = piece->input.data();
            if (const ArchiveError error = input.read(piece->input.data(), piece->length); error != ArchiveError::None)
                return failAt(entry.index, error, input.error);
        }
        if (piece->last) {
            if (const ArchiveError error = input.checkEnd(); error != ArchiveError::None)
                return failAt(entry.index, error, input.error);
            // An entry read in one piece is stored from that piece if its
            // stream is not shorter: its file is not needed any more.
            if (piece->first && input.fd >= 0) {
                ::close(input.fd);
                input.fd = -1;
            }
        }
        piece->dictionary.assign(tail_.begin(), tail_.end());
        if (!piece->last)  // a piece before the last is a whole PieceSize
            tail_.assign(piece->data + piece->length - BlockDeflater::DictionarySize, piece->data + piece->length);
        entry.read = piece->last;
        if (writer_.progress_ && piece->length > 0)
            writer_.progress_(entry.index, piece->length);
        pool_.submit(std::move(piece));
        return true;
    }

    bool copyFront()
    {
        const std::size_t index = open_.front().index;
        if (!writer_.copyStored(index, target_, offset_)) {
            writer_.failedEntry_ = static_cast<std::int64_t>(index);
            return false;
        }
        offset_ += getU32(writer_.index_.data() + writer_.records_[index] + 4);
        open_.pop_front();
        return true;
    }

    // Puts one compressed piece of the entry being written in place.
    bool writePiece(const DeflatePiece& piece)
    {
        Open& entry = open_.front();
        const std::size_t index = entry.index;
        if (!piece.ok)
            return failAt(index, ArchiveError::CompressionFailed, 0);
        if (piece.first) {
            sealer_.restart(offset_);
            payload_ = 0;
            checksum_ = piece.checksum;
        } else {
            checksum_ = BlockDeflater::joinChecksums(checksum_, piece.checksum, piece.length);
        }
        // Kept only when strictly shorter than the entry's bytes: given up as
        // soon as the stream reaches their length.
        const std::uint64_t reach = payload_ + (piece.first ? 2 : 0) + piece.output.size() + (piece.last ? 4 : 0);
        if (reach >= entry.input.size)
            return storeAsIs(entry, piece);
        if ((piece.first && !emit(BlockDeflater::zlibHeader(writer_.level_), 2)) ||
            !emit(piece.output.data(), piece.output.size()))
            return writeFailed(index);
        if (!piece.last)
            return true;
        std::uint8_t trailer[4];
        putU32(checksum_, trailer);
        return (emit(trailer, 4) || writeFailed(index)) && finish(index);
    }

    bool emit(const std::uint8_t* data, std::size_t length)
    {
        writeError_ = writer_.cipher_ ? sealer_.push(data, length) : target_.write(offset_ + payload_, data, length);
        payload_ += length;
        return writeError_ == ArchiveError::None;
    }

    // Ends the entry being written: sealed, its stored size in the index.
    bool finish(std::size_t index)
    {
        std::uint64_t stored = payload_;
        if (writer_.cipher_) {
            if ((writeError_ = sealer_.finish()) != ArchiveError::None ||
                (writeError_ = sealer_.writePrefix(static_cast<std::uint32_t>(payload_))) != ArchiveError::None)
                return writeFailed(index);
            stored = static_cast<std::uint64_t>(roundUp8(static_cast<std::int64_t>(payload_))) + 8;
        }
        putU32(static_cast<std::uint32_t>(stored), writer_.index_.data() + writer_.records_[index] + 4);
        offset_ += stored;
        open_.pop_front();
        return true;
    }

    // The entry's own bytes in place of its stream, which was not shorter:
    // those of its only piece, else read again.
    bool storeAsIs(Open& entry, const DeflatePiece& piece)
    {
        EntryInput& input = entry.input;
        sealer_.restart(offset_);
        payload_ = 0;
        if (piece.first && piece.last)
            return (emit(piece.data, piece.length) || writeFailed(entry.index)) && finish(entry.index);
        if (const ArchiveError error = input.rewind(); error != ArchiveError::None)
            return failAt(entry.index, error, input.error);
        while (true) {
            const std::uint8_t* data = nullptr;
            std::size_t length = 0;
            if (const ArchiveError error = input.next(data, length); error != ArchiveError::None)
                return failAt(entry.index, error, input.error);
            if (length == 0)
                break;
            if (!emit(data, length))
                return writeFailed(entry.index);
        }
        if (const ArchiveError error = input.checkEnd(); error != ArchiveError::None)
            return failAt(entry.index, error, input.error);
        return finish(entry.index);
    }

    ArchiveWriter& writer_;
    Target& target_;
    const unsigned threads_;
    DeflatePool pool_;
    const std::size_t ahead_;
    // Entries read and not yet written. Only an entry of several pieces
    // keeps its file open, and each of those has a batch to itself, so
    // few files are open at once even with many small entries ahead.
    const std::size_t maxOpen_;
    std::deque<Open> open_;
    std::size_t next_ = 0;
    std::vector<std::uint8_t> tail_;  // the last 32 KiB of the entry being read, for its next piece
    Sealer<Cipher, Target> sealer_;
    std::uint64_t offset_ = 0;   // of the entry being written, in the data area
    std::uint64_t payload_ = 0;  // its bytes so far, before sealing
    std::uint32_t checksum_ = BlockDeflater::EmptyChecksum;
    ArchiveError writeError_ = ArchiveError::None;
};

bool ArchiveWriter::writeCompressed(Target& target)
{
    CompressedRun run(*this, target);
    return run.run();
}

bool ArchiveWriter::openInput(std::size_t index, EntryInput& input)
{
    const std::uint32_t source = sources_[index];
    input.size = getU32(index_.data() + records_[index] + 8);
    if (source & InMemory) {
        input.inMemory = true;
        input.memory = memory_[source & ~InMemory].data();
        return true;
    }
    if (!opener_)
        return fail(ArchiveError::CannotReadInput, ENOENT);
    errno = 0;
    input.fd = opener_(source & SourceNumber);
    if (input.fd < 0)
        return fail(ArchiveError::CannotReadInput, errno);
    // The file now open must be the one planned: a file swapped in since
    // (another file, a device, a folder) is not read at all.
    struct stat status {};
    if (::fstat(input.fd, &status) != 0)
        return fail(ArchiveError::CannotReadInput, errno);
    const std::size_t file = source & SourceNumber;
    if (!S_ISREG(status.st_mode) || static_cast<std::uint64_t>(status.st_dev) != devices_[fileDevices_[file]] ||
        static_cast<std::uint64_t>(status.st_ino) != inodes_[file] ||
        static_cast<std::uint64_t>(status.st_size) != input.size)
        return fail(ArchiveError::InputChanged);
    return true;
}

bool ArchiveWriter::writeEntry(std::size_t index, Target& target, std::uint64_t at, std::uint32_t& stored)
{
    if (sources_[index] & Stored) {
        stored = getU32(index_.data() + records_[index] + 4);
        return copyStored(index, target, at);
    }
    EntryInput input;
    if (!openInput(index, input))
        return false;
    // Plain entries from a file: copied inside the kernel, page cache to
    // page cache, without a pass through this process's memory. Small ones
    // are cheaper read and gathered into one large write: the kernel's copy
    // costs about 40 us a call, several times a small file's read.
    if (!cipher_ && input.fd >= 0 && input.size >= KernelCopyFrom) {
        bool copied = false;
        if (!copyByKernel(index, input, target, at, copied))
            return false;
        if (copied) {
            stored = static_cast<std::uint32_t>(input.size);
            return true;
        }
    }
    return writeThrough(index, input, target, at, stored);
}

// The error of a failed step, with the errno behind it where there is one.
bool ArchiveWriter::failWith(ArchiveError error, const EntryInput& input)
{
    return fail(error, error == ArchiveError::CannotReadInput     ? input.error
                       : error == ArchiveError::CannotWriteOutput ? errno
                                                                  : 0);
}

// copy_file_range into a file, sendfile into a stream. copied stays false
// when the kernel cannot copy between these two (another file system, an
// old kernel): the caller then copies by hand, from the start.
bool ArchiveWriter::copyByKernel(std::size_t index, EntryInput& input, Target& target, std::uint64_t at, bool& copied)
{
    const std::uint64_t size = input.size;
    if (const ArchiveError room = target.reserve(at, size); room != ArchiveError::None)
        return failWith(room, input);
    if (const ArchiveError flushed = target.flush(); flushed != ArchiveError::None)
        return failWith(flushed, input);
    off_t from = 0;
    off_t to = static_cast<off_t>(target.base() + at);
    std::uint64_t left = size;
    while (left > 0) {
        const std::size_t step = static_cast<std::size_t>(std::min<std::uint64_t>(left, std::uint64_t{64} << 20));
        const ssize_t done = kernelCopyRefused   ? (errno = EXDEV, -1)
                             : target.seekable() ? ::copy_file_range(input.fd, &from, target.fd(), &to, step, 0)
                                                 : ::sendfile(target.fd(), input.fd, &from, step);
        if (done < 0 && errno == EINTR)
            continue;
        if (done < 0 && left == size &&
            (errno == EXDEV || errno == EINVAL || errno == ENOSYS || errno == EOPNOTSUPP || errno == EBADF))
            return true;
        if (done < 0)
            return fail(ArchiveError::CannotWriteOutput, errno);
        if (done == 0)
            return fail(ArchiveError::InputChanged);
        left -= static_cast<std::uint64_t>(done);
        if (!target.seekable())
            target.advance(static_cast<std::uint64_t>(done));
        if (progress_)
            progress_(index, static_cast<std::uint64_t>(done));
    }
    if (const ArchiveError end = input.checkEnd(); end != ArchiveError::None)
        return failWith(end, input);
    copied = true;
    return true;
}

// The entry's bytes through this process: written as they are, or sealed
// when the archive is encrypted.
bool ArchiveWriter::writeThrough(std::size_t index, EntryInput& input, Target& target, std::uint64_t at,
                                 std::uint32_t& stored)
{
    Sealer<Cipher, Target> sealer(cipher_.get(), target, at, input.size);
    std::uint64_t payload = 0;
    // The length is known: the seal's first block can go first, as a
    // stream needs it.
    if (cipher_) {
        if (const ArchiveError error = sealer.writePrefix(static_cast<std::uint32_t>(input.size));
            error != ArchiveError::None)
            return failWith(error, input);
    }
    while (true) {
        const std::uint8_t* data = nullptr;
        std::size_t length = 0;
        if (const ArchiveError error = input.next(data, length); error != ArchiveError::None)
            return failWith(error, input);
        if (length == 0)
            break;
        if (progress_)
            progress_(index, length);
        const ArchiveError written = cipher_ ? sealer.push(data, length) : target.write(at + payload, data, length);
        if (written != ArchiveError::None)
            return failWith(written, input);
        payload += length;
    }
    if (const ArchiveError error = input.checkEnd(); error != ArchiveError::None)
        return failWith(error, input);
    if (cipher_) {
        if (const ArchiveError error = sealer.finish(); error != ArchiveError::None)
            return failWith(error, input);
        stored = static_cast<std::uint32_t>(roundUp8(static_cast<std::int64_t>(payload)) + 8);
    } else {
        stored = static_cast<std::uint32_t>(payload);
    }
    return true;
}

}  // namespace vza
