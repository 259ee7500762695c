// SPDX-License-Identifier: MIT
// A hash from entry name to the index of its first entry.
//
// Open addressing over entry indices; the names themselves stay in the
// entries. Each slot also keeps 32 bits of its name's hash, so a probe
// compares a name (a read far away in memory) only when those bits match:
// 8 bytes per slot. Built on the first lookup after the entries are loaded
// (listing or extracting everything never needs it), and kept up to date as
// entries are appended once built. Slots come from nameHash, keyed at random
// per process: names crafted to collide cannot turn building the table
// quadratic. find() may be called from several threads at once; the first
// one builds the table.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string_view>
#include <vector>

#include "vza/archive/format/entry_records.h"

namespace vza {

class NameLookup {
public:
    NameLookup() = default;
    NameLookup(const NameLookup& other);
    NameLookup& operator=(const NameLookup& other);

    // Forgets the table: the next find() builds it from the entries it is given.
    void clear();

    // Builds the table for all of entries now.
    void rebuild(const EntryRecords& entries);

    // Adds the last of entries, unless an earlier entry has the same name.
    void append(const EntryRecords& entries);

    // Index of the first entry named name, or -1. entries must be the ones
    // the table was built or appended from, or the table cleared since.
    std::int32_t find(const EntryRecords& entries, std::string_view name) const;

private:
    struct Slot {
        std::int32_t index;  // entry index, or -1 for an empty slot
        std::uint32_t tag;   // the high bits of the name's hash
    };

    void build(const EntryRecords& entries) const;
    void insert(const EntryRecords& entries, std::int32_t index) const;

    // Built lazily from a const find(), hence mutable; built_ says the slots
    // are complete, written under mutex_ and read without it.
    mutable std::mutex mutex_;
    mutable std::atomic<bool> built_{false};
    mutable std::vector<Slot> slots_;
    mutable std::size_t used_ = 0;
};

}  // namespace vza
