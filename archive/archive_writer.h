// Building an archive without holding its data area in memory.
//
// Entries are appended to a spool file beside the output; finish() writes
// header and index, copies the spooled data after them and renames the
// result into place. Each entry's buffer already holds its stored bytes
// (see prepareStored).
//
// This is the writer the programs use (`vza create`); ArchiveIndex::save is
// the in-memory one that tests and fuzz seeds use.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

#include "archive/archive_error.h"
#include "archive/atomic_file.h"
#include "archive/entry_table.h"

namespace vza {

class DataBuffer;

class ArchiveWriter {
public:
    ~ArchiveWriter();

    // Starts a new archive to be written to path.
    bool begin(const std::string& path);

    // Appends buffer's record and stored bytes. False, and the archive is
    // abandoned, when it would reach 2 GiB or the spool cannot be written.
    bool add(const DataBuffer& buffer);

    // Writes the archive with the given flags word and renames it into place.
    bool finish(std::uint32_t flags);

    // Drops everything written so far; the output path is untouched.
    void abort();

    std::int32_t entryCount() const { return entryTable_.count(); }
    // See archive_error.h.
    ArchiveError lastError() const { return lastError_; }
    int systemError() const { return systemError_; }

private:
    bool fail(ArchiveError error, int systemError = 0);

    std::string path_;
    EntryTable entryTable_;
    std::FILE* spool_ = nullptr;  // the data area so far, an unlinked temporary file
    std::uint64_t size_ = 0; // header + index + data so far
    ArchiveError lastError_ = ArchiveError::None;
    int systemError_ = 0;
};

// Turns buffer's plain bytes into their stored form for an archive with the
// given flags: compressed when FlagCompressed (only if that is shorter), then
// sealed when FlagEncrypted, with the key in force. False when zlib fails.
bool prepareStored(DataBuffer& buffer, std::uint32_t flags);

}  // namespace vza
