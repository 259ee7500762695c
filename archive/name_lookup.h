// A hash from entry name to the index of its first entry.
//
// Open addressing over entry indices; the names themselves stay in the
// entries. Each slot also keeps 32 bits of its name's hash, so a probe
// compares a name (a read far away in memory) only when those bits match:
// 8 bytes per slot. Built when an index is loaded and kept up to date as
// entries are appended. Slots come from nameHash, keyed at random per
// process: names crafted to collide cannot turn building the table
// quadratic.
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

#include "archive/archive_entry.h"

namespace vza {

class NameLookup {
public:
    void clear();

    // Rebuilds the table for all of entries.
    void rebuild(const std::vector<ArchiveEntry>& entries);

    // Adds entries.back(), unless an earlier entry has the same name.
    void append(const std::vector<ArchiveEntry>& entries);

    // Index of the first entry named name, or -1.
    std::int32_t find(const std::vector<ArchiveEntry>& entries, std::string_view name) const;

private:
    struct Slot {
        std::int32_t index;  // entry index, or -1 for an empty slot
        std::uint32_t tag;   // the high bits of the name's hash
    };

    void insert(const std::vector<ArchiveEntry>& entries, std::int32_t index);

    std::vector<Slot> slots_;
    std::size_t used_ = 0;
};

}  // namespace vza
