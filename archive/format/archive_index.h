// SPDX-License-Identifier: MIT
// One archive file: its path, its header and index, and (when writing) the
// data area being assembled in memory.
//
// addRecord/appendData collect a whole archive in memory and save() writes
// it through ArchiveWriter, the writer `vza create` and ArchiveEditor use
// too (save() is defined with the writers, in archive/write). The programs
// write through ArchiveWriter directly, which spools the data area to disk;
// tests, the fuzz seeds and benchmarks make small archives here.
#pragma once

#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <string_view>
#include <sys/stat.h>
#include <vector>

#include "vza/archive/format/archive_error.h"
#include "vza/archive/format/entry_table.h"

namespace vza {

class DataBuffer;

class ArchiveIndex {
public:
    // Sets the archive's path, with every backslash turned into a slash.
    void setPath(const std::string& path);
    std::string path() const { return path_; }

    // Empties path, entries and data.
    void clear();

    std::int32_t entryCount() const { return entryTable_.count(); }
    std::optional<EntryView> entry(std::int64_t index) const { return entryTable_.at(index); }
    std::uint64_t entryOffset(std::int64_t index) const { return entryTable_.entryOffset(index); }
    std::uint32_t flags() const { return entryTable_.flags(); }
    std::int32_t find(std::string_view name) const { return entryTable_.find(name); }
    const EntryTable& entryTable() const { return entryTable_; }
    const std::vector<std::uint8_t>& data() const { return data_; }

    // Reads header and index of the file at path (see EntryTable::read);
    // an encrypted archive's key schedule is built into key.
    bool load(const std::string& password, CipherState& key);

    // The same from file, already open on the archive at path() and
    // positioned at its start.
    bool load(std::FILE* file, const std::string& password, CipherState& key);

    // Whether fd is open on the file the index was loaded from, unchanged
    // since: same device, inode, size and modification time. An entry's
    // offset from this index means nothing in any other file.
    bool loadedFrom(int fd) const;

    // Writing. addRecord and appendData must be called in pairs, in the same
    // order; addEntry does both. The buffer holds the entry's stored bytes
    // (already compressed and sealed as the archive's flags say).
    void addRecord(const DataBuffer* buffer);
    void appendData(const DataBuffer* buffer);
    void addEntry(const DataBuffer& buffer);

    // Writes header, index and data area to path the way ArchiveWriter does
    // (see ArchiveOutput): an existing file, or the one a link at path leads
    // to, is replaced only by the complete, flushed archive, keeping its
    // permission bits. False, leaving nothing behind, when the file cannot be
    // written or would reach 2 GiB.
    bool save(std::uint32_t flags);

    // See archive_error.h.
    ArchiveError lastError() const { return lastError_; }
    int systemError() const { return systemError_; }

private:
    bool fail(ArchiveError error, int systemError = 0);

    std::string path_;
    EntryTable entryTable_;
    std::vector<std::uint8_t> data_;
    bool oversize_ = false;  // a record or the data area no longer fits the format
    // The file load() read, when it could be told.
    struct stat loaded_ {};
    ArchiveError lastError_ = ArchiveError::None;
    int systemError_ = 0;
};

}  // namespace vza
