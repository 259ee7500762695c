// SPDX-License-Identifier: MIT
// One index record of an archive, in memory: owned (ArchiveEntry) or viewed
// in a loaded index (EntryView).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace vza {

// An entry's record as seen in an index that holds it (EntryTable,
// Archive::entry): the name is a view into that index's own bytes, good only
// while the index stays as it is (see EntryRecords).
struct EntryView {
    std::string_view name;           // the name as stored in the index
    std::uint32_t originalSize = 0;  // length of the plain, uncompressed bytes
    std::uint32_t storedSize = 0;    // length of the bytes as stored

    bool operator==(const EntryView&) const = default;
};

// An entry's record that owns its name: what writers hand out and what a
// DataBuffer carries. Converts to an EntryView of itself.
struct ArchiveEntry {
    std::string name;                // the name as stored in the index
    std::uint32_t originalSize = 0;  // length of the plain, uncompressed bytes
    std::uint32_t storedSize = 0;    // length of the bytes as stored

    void clear() { *this = ArchiveEntry{}; }
    bool operator==(const ArchiveEntry&) const = default;
    operator EntryView() const { return {name, originalSize, storedSize}; }
};

}  // namespace vza
