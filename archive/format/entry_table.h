// SPDX-License-Identifier: MIT
// The contents of an archive's header and index.
#pragma once

#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "vza/archive/format/archive_entry.h"
#include "vza/archive/format/archive_error.h"
#include "vza/archive/format/entry_records.h"
#include "vza/archive/format/format.h"
#include "vza/archive/format/name_lookup.h"
#include "vza/codec/blowfish.h"

namespace vza {

class DataBuffer;

// Names handed out (EntryView::name, entries()) are views into this table:
// good until it is changed (read, addRecord, clear, assigned to) or
// destroyed; hold none across a move. A copy has names of its own.
class EntryTable {
public:
    // Erases the entries and both sizes; flags stay.
    void clear();

    std::int32_t count() const { return static_cast<std::int32_t>(entries_.size()); }
    const EntryRecords& entries() const { return entries_; }

    // The entry at index, or nothing when index is out of range.
    std::optional<EntryView> at(std::int64_t index) const
    {
        if (index < 0 || static_cast<std::uint64_t>(index) >= entries_.size())
            return std::nullopt;
        return entries_[static_cast<std::size_t>(index)];
    }

    std::uint32_t indexSize() const { return indexSize_; }
    std::uint32_t indexStoredSize() const { return indexStoredSize_; }
    std::uint32_t flags() const { return flags_; }

    // File offset of the data area: 32 + the index region's length.
    std::uint64_t dataStart() const { return HeaderSize + indexStoredSize_; }

    // File offset of entry index's stored bytes; 0 when index is out of range.
    std::uint64_t entryOffset(std::int64_t index) const;

    // Sum of the stored sizes of all entries.
    std::uint64_t dataSize() const { return offsets_.back(); }

    // Index of the first entry whose name equals name with backslashes
    // turned into slashes; -1 when there is none.
    std::int32_t find(std::string_view name) const;

    // Reads and checks the header and index from file, positioned at 0.
    // When the header is encrypted, builds key from password and deciphers
    // with it (the caller keeps key to read the entries). Refuses an empty
    // password for an encrypted header, a failed check rule, and any index
    // that does not fit the file or whose records overrun it.
    bool read(std::FILE* file, const std::string& password, CipherState& key, ArchiveError* error = nullptr);

    // Writes header and index for the current entries with fresh check words.
    bool write(std::FILE* file, std::uint32_t flags) const;

    // Header and index bytes as write() puts them into the file, enciphered
    // when flags say so with the process-wide key, or with key.
    std::vector<std::uint8_t> headerAndIndex(std::uint32_t flags) const;
    std::vector<std::uint8_t> headerAndIndex(std::uint32_t flags, const CipherState& key) const;

    // Appends a record for buffer (name, originalSize, current byte count).
    // Does nothing for nullptr. False, adding nothing, when the table cannot
    // hold another record (see EntryRecords::add).
    bool addRecord(const DataBuffer* buffer);

private:
    EntryRecords entries_;
    std::uint32_t indexSize_ = 0;
    std::uint32_t indexStoredSize_ = 0;
    std::uint32_t flags_ = 0;

    // Derived from entries_: offsets_[i] is the sum of the stored sizes of
    // the entries before i (one more element than entries_), and the name hash.
    std::vector<std::uint64_t> offsets_{0};
    NameLookup lookup_;
};

// Header and index for entries with fresh check words and the flags word
// flags, before encipherment: with FlagEncrypted the index is zero-padded
// to a multiple of 8, and bytes 8 to the end are to be enciphered as one run.
std::vector<std::uint8_t> plainHeaderAndIndex(const EntryRecords& entries, std::uint32_t flags);

// Fills the four check words: checkA, checkB, their sum and the sum plus one.
// Seeds the C library's generator with the time in seconds, so two calls
// within one second give the same words.
void makeCheckWords(std::uint32_t words[4]);

}  // namespace vza
