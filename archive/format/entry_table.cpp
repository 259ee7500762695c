// SPDX-License-Identifier: MIT
#include "vza/archive/format/entry_table.h"

#include <algorithm>
#include <cstdlib>
#include <ctime>
#include <sys/stat.h>

#include "vza/archive/format/data_buffer.h"
#include "vza/archive/format/format.h"
#include "vza/archive/fs/huge_pages.h"
#include "vza/codec/blowfish.h"

namespace vza {

namespace {

constexpr std::uint32_t CheckModulus = 268435455;  // 0x0FFFFFFF

// The index region read front to back in pieces of at most a few hundred
// KiB, deciphered piece by piece when sealed: a million-entry index is never
// held whole beside its parsed entries, and a length the file does not hold
// never turns into a large allocation.
class IndexPieces {
public:
    IndexPieces(std::FILE* file, std::uint64_t storedSize, const CipherState* key)
        : file_(file), unread_(storedSize), key_(key)
    {}

    // Points at the next length bytes of the index and moves past them;
    // false when the file ends first.
    bool take(std::size_t length, const std::uint8_t*& bytes)
    {
        if (end_ - begin_ < length && !fill(length))
            return false;
        bytes = buffer_.data() + begin_;
        begin_ += length;
        return true;
    }

    // Reads the rest of the region (padding, bytes after the last record),
    // so the file is left where the data area starts.
    bool finish()
    {
        while (unread_ > 0) {
            begin_ = end_;  // nothing read so far is wanted
            if (!fill(1))
                return false;
        }
        return true;
    }

private:
    static constexpr std::size_t Piece = 256 << 10;  // a multiple of the cipher's 8-byte block

    bool fill(std::size_t length)
    {
        // Keep what is left, at the front, and room for length bytes and a piece.
        const std::size_t kept = end_ - begin_;
        std::copy(buffer_.begin() + static_cast<std::ptrdiff_t>(begin_),
                  buffer_.begin() + static_cast<std::ptrdiff_t>(end_), buffer_.begin());
        begin_ = 0;
        end_ = kept;
        while (end_ - begin_ < length) {
            if (unread_ == 0)
                return false;
            // Whole pieces keep the reads on the cipher's block boundaries;
            // a record longer than a piece is read in several.
            const std::size_t want = static_cast<std::size_t>(std::min<std::uint64_t>(unread_, Piece));
            if (buffer_.size() < end_ + want)
                buffer_.resize(end_ + want);
            const std::size_t got = std::fread(buffer_.data() + end_, 1, want, file_);
            if (got != want)
                return false;
            if (key_)
                decryptBuffer(*key_, buffer_.data() + end_, got);
            end_ += got;
            unread_ -= got;
        }
        return true;
    }

    std::FILE* file_;
    std::uint64_t unread_;  // bytes of the region not yet read from the file
    const CipherState* key_;
    std::vector<std::uint8_t> buffer_;
    std::size_t begin_ = 0;  // buffer_[begin_, end_) is read, not yet taken
    std::size_t end_ = 0;
};

// Bytes left in file after its current position, or -1 when unknown.
std::int64_t bytesLeft(std::FILE* file)
{
    struct stat info;
    if (fstat(fileno(file), &info) != 0 || !S_ISREG(info.st_mode))
        return -1;
    const off_t position = ftello(file);
    return position < 0 ? -1 : static_cast<std::int64_t>(info.st_size - position);
}

}  // namespace

void makeCheckWords(std::uint32_t words[4])
{
    std::srand(static_cast<unsigned>(std::time(nullptr)));
    const int skip = std::rand() % 1024 + 1024;
    for (int i = 0; i < skip; ++i)
        std::rand();
    words[0] = static_cast<std::uint32_t>(std::rand()) % CheckModulus;
    words[1] = static_cast<std::uint32_t>(std::rand()) % CheckModulus;
    words[2] = words[0] + words[1];
    words[3] = words[2] + 1;
}

void EntryTable::clear()
{
    entries_.clear();
    indexSize_ = indexStoredSize_ = 0;
    std::vector<std::uint64_t>{0}.swap(offsets_);
    lookup_.clear();
}

std::uint64_t EntryTable::entryOffset(std::int64_t index) const
{
    if (index < 0 || static_cast<std::uint64_t>(index) >= entries_.size())
        return 0;
    return dataStart() + offsets_[static_cast<std::size_t>(index)];
}

std::int32_t EntryTable::find(std::string_view name) const
{
    return lookup_.find(entries_, toSlashes(name));
}

namespace {

// What the header says about the index that follows it.
struct IndexHeader {
    std::uint32_t count = 0;       // records
    std::uint32_t size = 0;        // bytes of records
    std::uint64_t storedSize = 0;  // bytes in the file: size rounded up to the cipher's block when sealed
};

// Reads the header and checks its words, deciphered with the key built from
// password when the archive is sealed. flags are set once the magic number
// is there, even when a check fails after it (a caller may ask whether a
// password is needed).
ArchiveError readHeader(std::FILE* file, const std::string& password, CipherState& key, std::uint32_t& flags,
                        IndexHeader& out)
{
    std::uint8_t header[HeaderSize];
    if (std::fread(header, 1, HeaderSize, file) != HeaderSize || getU32(header) != ArchiveMagic)
        return std::ferror(file) ? ArchiveError::CannotOpenArchive : ArchiveError::NotAnArchive;
    flags = getU32(header + 4);
    const bool encrypted = (flags & FlagEncrypted) != 0;
    if (encrypted) {
        // The key schedule needs at least one key byte.
        if (password.empty())
            return ArchiveError::EmptyPassword;
        setKey(key, reinterpret_cast<const std::uint8_t*>(password.data()), password.size());
        decryptBuffer(key, header + 8, 24);
    }
    const std::uint32_t checkA = getU32(header + 8);
    const std::uint32_t checkB = getU32(header + 12);
    if (getU32(header + 16) != checkA + checkB || getU32(header + 20) != checkA + checkB + 1)
        return ArchiveError::WrongPassword;
    out.count = getU32(header + 24);
    out.size = getU32(header + 28);
    out.storedSize = encrypted ? static_cast<std::uint64_t>(roundUp8(out.size)) : out.size;
    return out.storedSize > UINT32_MAX ? ArchiveError::DamagedIndex : ArchiveError::None;
}

// Takes header.count records from index into entries and their running
// offsets, each checked against the index's size; then the rest of the
// index. False when a record overruns it or the file ends first.
bool readRecords(IndexPieces& index, const IndexHeader& header, EntryRecords& entries,
                 std::vector<std::uint64_t>& offsets)
{
    std::uint64_t position = 0;
    std::uint64_t offset = 0;
    const std::uint8_t* record = nullptr;
    const std::uint8_t* name = nullptr;
    for (std::uint32_t i = 0; i < header.count; ++i) {
        if (position + RecordHeaderSize > header.size || !index.take(RecordHeaderSize, record))
            return false;
        const std::uint32_t nameLength = getU32(record);
        const std::uint32_t stored = getU32(record + 4);
        const std::uint32_t original = getU32(record + 8);
        if (position + RecordHeaderSize + nameLength > header.size || !index.take(nameLength, name))
            return false;
        // Cannot fail: an index's names stay below 4 GiB, its records
        // below 2^31 - 1.
        if (!entries.add(std::string_view(reinterpret_cast<const char*>(name), nameLength), original, stored))
            return false;
        offset += stored;
        offsets.push_back(offset);
        position += RecordHeaderSize + nameLength;
    }
    return index.finish();
}

}  // namespace

bool EntryTable::read(std::FILE* file, const std::string& password, CipherState& key, ArchiveError* error)
{
    auto fail = [error](ArchiveError why) {
        if (error)
            *error = why;
        return false;
    };
    IndexHeader header;
    if (const ArchiveError problem = readHeader(file, password, key, flags_, header); problem != ArchiveError::None)
        return fail(problem);
    indexSize_ = header.size;
    indexStoredSize_ = static_cast<std::uint32_t>(header.storedSize);

    // Every record takes at least 12 bytes, and the index must be in the file:
    // checked before anything is sized from these numbers.
    const std::int64_t left = bytesLeft(file);
    if (std::uint64_t{header.count} * RecordHeaderSize > header.size ||
        (left >= 0 && header.storedSize > static_cast<std::uint64_t>(left)))
        return fail(ArchiveError::DamagedIndex);

    // The entries and their offsets are built in one pass; the name lookup
    // is left for the first find().
    entries_.clear();
    offsets_.assign(1, 0);
    lookup_.clear();
    // Room for every record and name up front only when the file is known to
    // hold them (checked above); from a pipe the entries grow as records
    // arrive. The names take what the records' headers leave.
    if (left >= 0) {
        entries_.reserve(header.count, header.size - std::size_t{header.count} * RecordHeaderSize);
        reserveLarge(offsets_, std::size_t{header.count} + 1);
    }
    IndexPieces index(file, header.storedSize, (flags_ & FlagEncrypted) ? &key : nullptr);
    return readRecords(index, header, entries_, offsets_) || fail(ArchiveError::DamagedIndex);
}

std::vector<std::uint8_t> plainHeaderAndIndex(const EntryRecords& entries, std::uint32_t flags)
{
    std::vector<std::uint8_t> out(HeaderSize);
    std::uint32_t check[4];
    makeCheckWords(check);
    for (std::size_t i = 0; i < 4; ++i)
        putU32(check[i], out.data() + 8 + 4 * i);

    for (std::size_t i = 0; i < entries.size(); ++i) {
        const EntryView entry = entries[i];
        const std::size_t at = out.size();
        out.resize(at + RecordHeaderSize + entry.name.size());
        putU32(static_cast<std::uint32_t>(entry.name.size()), out.data() + at);
        putU32(entry.storedSize, out.data() + at + 4);
        putU32(entry.originalSize, out.data() + at + 8);
        std::copy(entry.name.begin(), entry.name.end(),
                  out.begin() + static_cast<std::ptrdiff_t>(at + RecordHeaderSize));
    }

    putU32(ArchiveMagic, out.data());
    putU32(flags, out.data() + 4);
    putU32(static_cast<std::uint32_t>(entries.size()), out.data() + 24);
    putU32(static_cast<std::uint32_t>(out.size() - HeaderSize), out.data() + 28);
    if (flags & FlagEncrypted)
        out.resize(static_cast<std::size_t>(roundUp8(static_cast<std::int64_t>(out.size()))), 0);
    return out;
}

std::vector<std::uint8_t> EntryTable::headerAndIndex(std::uint32_t flags) const
{
    return headerAndIndex(flags, cipherState());
}

std::vector<std::uint8_t> EntryTable::headerAndIndex(std::uint32_t flags, const CipherState& key) const
{
    std::vector<std::uint8_t> out = plainHeaderAndIndex(entries_, flags);
    // Header words and padded index are one enciphered run from offset 8.
    if (flags & FlagEncrypted)
        encryptBuffer(key, out.data() + 8, out.size() - 8);
    return out;
}

bool EntryTable::write(std::FILE* file, std::uint32_t flags) const
{
    const std::vector<std::uint8_t> out = headerAndIndex(flags);
    return std::fwrite(out.data(), 1, out.size(), file) == out.size();
}

bool EntryTable::addRecord(const DataBuffer* buffer)
{
    if (!buffer)
        return true;
    const auto stored = static_cast<std::uint32_t>(buffer->bytes.size());
    if (!entries_.add(buffer->info.name, buffer->info.originalSize, stored))
        return false;
    offsets_.push_back(offsets_.back() + stored);
    lookup_.append(entries_);
    return true;
}

}  // namespace vza
