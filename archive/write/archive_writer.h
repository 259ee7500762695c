// SPDX-License-Identifier: MIT
// Building a new archive from files and bytes, streamed in bounded memory.
//
// A writer is used in three steps: begin() with the header's flags and the
// password (the writer keys its own cipher; nothing process-wide changes),
// then one add call per entry in the order the entries are to have, then
// writeTo(). Adding only plans: names are checked and each file's size is
// taken then, so the layout is fixed before a byte is written. writeTo()
// then reads each file once more (twice when its zlib stream turns out not
// to be shorter), compressing and sealing it in pieces of 1 MiB; the pieces
// are compressed on several threads, the bytes written staying the same.
//
// A file whose size or identity differs from what was planned, that cannot
// be read, or an archive that would reach 2 GiB fails the whole archive:
// a file being replaced stays exactly as it was.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <sys/stat.h>
#include <vector>

#include "vza/archive/format/archive_entry.h"
#include "vza/archive/format/archive_error.h"
#include "vza/archive/format/format.h"
#include "vza/archive/write/input_tree.h"
#include "vza/codec/blowfish.h"

namespace vza {

class ArchiveOutput;

class ArchiveWriter {
public:
    ArchiveWriter();
    ~ArchiveWriter();
    ArchiveWriter(const ArchiveWriter&) = delete;
    ArchiveWriter& operator=(const ArchiveWriter&) = delete;

    // Starts planning a new archive whose header has the flags word flags.
    // With FlagEncrypted the writer keys its own cipher with password; an
    // empty password is refused (EmptyPassword), so that no archive can be
    // written that nobody could open: until a begin() succeeds, every add
    // and write fails. Forgets any earlier plan.
    bool begin(std::uint32_t flags, const std::string& password = {});

    // For an archive built whole in memory (ArchiveIndex::save): starts a
    // plan whose header carries flags exactly as given (all 32 bits) and is
    // enciphered, with FlagEncrypted, under key (no password: the caller's
    // key, the process-wide one for save); whose index is made of the
    // records given to addRecord(), names and sizes as they are; and whose
    // data area is data[0..length) as it stands, written whole. data stays
    // the caller's until writeTo() returns.
    void beginPrepared(std::uint32_t flags, const CipherState& key, const std::uint8_t* data, std::size_t length);
    bool addRecord(std::string_view name, std::uint32_t originalSize, std::uint32_t storedSize);

    // Plans an entry holding a copy of bytes[0..length).
    bool addBytes(const std::string& name, const void* bytes, std::size_t length);

    // Plans an entry read from a file when the archive is written. seen is
    // the file's status now (a regular file): writing checks that the file
    // then opened has the same device, inode and size, and reads that many
    // bytes, no more. Files are numbered 0, 1, ... in the order they are added.
    bool addFile(const std::string& name, const struct stat& seen);
    // The same for a name an InputTree has made and judged: taken as it is.
    bool addFile(const InputTree::StoredName& name, const struct stat& seen);

    // Plans an entry whose bytes are already in their stored form for this
    // archive's flags and password: taken from another archive that has
    // both (see Archive::openStoredBytes), to copy it without decoding and
    // encoding it again. Sealed entries are enciphered on their own, so they
    // may move. entry's name and sizes go into the index as they are (the
    // name byte for byte: it is not a new name); its storedSize bytes are read
    // from fd at offset when the archive is written. fd stays the caller's
    // and open until writeTo() returns. Stored and original sizes that no
    // entry of these flags can have are refused (EntryCorrupt), and so,
    // when written, is a sealed entry whose first block does not open under
    // this writer's key.
    bool addStored(const EntryView& entry, int fd, std::uint64_t offset);

    // Opens file number `file` for reading (open(2) with O_NOFOLLOW relative
    // to a folder held open, say); -1 with errno set when it cannot.
    using FileOpener = std::function<int(std::size_t file)>;
    void setFileOpener(FileOpener opener) { opener_ = std::move(opener); }

    // Compresses on up to threads threads at once (0, the default: one for
    // each processor this process may run on). The archive's bytes are the
    // same whatever the number.
    void setThreads(unsigned threads) { threads_ = threads; }

    // The zlib compression level for new entries: 0 (stored in zlib's
    // frame, never shorter, so entries are kept plain) to 9; -1, the
    // default, is zlib's default (6). Copied entries keep their bytes.
    void setLevel(int level) { level_ = level; }

    // Told the entry being written and each piece of its plain bytes read.
    using Progress = std::function<void(std::size_t entry, std::uint64_t bytes)>;
    void setProgress(Progress progress) { progress_ = std::move(progress); }

    // Names are checked as they are added: backslashes become slashes, and a
    // name that is empty, starts with '/' or has an empty, "." or ".."
    // component is refused (UnsafeName). So is an entry of 4 GiB or more,
    // or one that takes an archive without compression to 2 GiB
    // (ArchiveTooLarge). A refused entry leaves the plan as it was.

    // Writes the planned archive to path (see ArchiveOutput: a regular file
    // is replaced only when the whole archive is written and flushed; a pipe
    // or device is written as a stream).
    bool writeTo(const std::string& path);

    // Writes the planned archive to fd, already open, as a stream from its
    // current position; fd is not closed. A terminal is refused.
    bool writeTo(int fd);

    // Writes the planned archive to output, opened (and checked) earlier,
    // and commits it; discards it on failure.
    bool writeTo(ArchiveOutput& output);

    // Makes room for entries more entries whose names take nameBytes
    // bytes in all, so that a long plan grows in one step instead of by
    // doubling (optional).
    void reserve(std::size_t entries, std::size_t nameBytes);

    // Archives are refused from this many bytes on, a limit below the
    // format's 2 GiB (which stays the default and the most allowed): a
    // compressed archive's size is known only as it is written, so the
    // limit can also end a write part way.
    void setMaxArchiveSize(std::uint64_t bytes);

    std::size_t entryCount() const { return sources_.size(); }
    // Entry index as planned (its stored size as planned until written,
    // then as written).
    ArchiveEntry entry(std::size_t index) const;

    // Why the last call failed; the errno behind it (0 when none); the
    // entry whose input failed (-1 when none).
    ArchiveError lastError() const { return lastError_; }
    int systemError() const { return systemError_; }
    std::int64_t failedEntry() const { return failedEntry_; }

private:
    // Where entry i's bytes come from: bit 31 set, memory_[rest]; bit 30
    // set, stored_[rest]; else file number value (inodes_, fileDevices_).
    static constexpr std::uint32_t InMemory = std::uint32_t{1} << 31;
    static constexpr std::uint32_t Stored = std::uint32_t{1} << 30;
    static constexpr std::uint32_t SourceNumber = Stored - 1;
    struct StoredBytes {
        int fd;
        std::uint64_t offset;
    };
    class Target;
    class EntryInput;
    class CompressedRun;

    bool fail(ArchiveError error, int systemError = 0);
    bool plan(const std::string& name, std::uint64_t size, std::uint32_t source);
    bool planSized(std::string_view stored, std::uint64_t size, std::uint32_t source);
    bool planFile(std::string_view storedName, const struct stat& seen);
    bool appendRecord(std::string_view name, std::uint64_t originalSize, std::uint64_t storedSize,
                      std::uint32_t source);
    bool copyStored(std::size_t index, Target& target, std::uint64_t at);
    bool write(ArchiveOutput& output);
    bool writeSpooled(int fd, std::uint64_t dataStart);
    bool sendSpool(int spool, int fd);
    bool writeEntries(Target& target);
    bool writePrepared(Target& target);
    bool writeCompressed(Target& target);
    unsigned threadCount() const;
    bool writeEntry(std::size_t index, Target& target, std::uint64_t at, std::uint32_t& stored);
    bool failWith(ArchiveError error, const EntryInput& input);
    bool copyByKernel(std::size_t index, EntryInput& input, Target& target, std::uint64_t at, bool& copied);
    bool writeThrough(std::size_t index, EntryInput& input, Target& target, std::uint64_t at, std::uint32_t& stored);
    bool openInput(std::size_t index, EntryInput& input);
    bool writeHead(int fd, bool seekable) const;
    std::uint64_t dataSize() const;

    std::uint32_t flags_ = 0;
    bool begun_ = false;
    struct Cipher;
    std::unique_ptr<Cipher> cipher_;
    // The plan is the index itself, in its plain form (stored sizes filled
    // in as entries are written), and per entry only where its record
    // starts and where its bytes come from: for a million small files the
    // writer holds little more than the index it has to write anyway.
    std::vector<std::uint8_t> index_;
    std::vector<std::uint32_t> records_;  // offset of entry i's record in index_
    std::vector<std::uint32_t> sources_;
    std::vector<std::vector<std::uint8_t>> memory_;
    // Each file's identity as planned: its inode, and its device as a number
    // into devices_ (a file system or two for a million files).
    std::vector<std::uint64_t> inodes_;
    std::vector<std::uint32_t> fileDevices_;
    std::vector<std::uint64_t> devices_;
    std::vector<StoredBytes> stored_;
    std::uint64_t maxArchiveSize_ = MaxArchiveSize;
    std::uint64_t plainEnd_ = 0;  // header + index + data when nothing is compressed
    unsigned threads_ = 0;
    int level_ = -1;
    // beginPrepared(): the data area as given.
    bool prepared_ = false;
    const std::uint8_t* preparedData_ = nullptr;
    std::size_t preparedLength_ = 0;
    FileOpener opener_;
    Progress progress_;
    ArchiveError lastError_ = ArchiveError::None;
    int systemError_ = 0;
    std::int64_t failedEntry_ = -1;
};

// For tests: true makes the writer act as where the kernel cannot copy
// between an input and the output, or from its spool into a stream, so that
// it copies by hand. Not for programs.
void refuseKernelCopyForTesting(bool refused);

// Turns buffer's plain bytes into their stored form for an archive with the
// given flags: compressed when FlagCompressed (only if that is shorter), then
// sealed when FlagEncrypted, with the key in force. False when zlib fails.
// For ArchiveIndex, which holds a whole archive in memory.
class DataBuffer;
bool prepareStored(DataBuffer& buffer, std::uint32_t flags);

}  // namespace vza
