// SPDX-License-Identifier: MIT
// The records of an index, packed: every name in one byte string, and per
// entry 16 bytes saying where its name lies and its two sizes. Loading a
// million-entry index makes a few large allocations, not one per name.
//
// Names are handed out as views into these bytes. A view (and an EntryView)
// stays good until the records are changed (add, clear, assigned to) or
// destroyed; do not hold one across a move either. A copy has bytes of its
// own, so views from it never depend on the original.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "vza/archive/format/archive_entry.h"

namespace vza {

class EntryRecords {
public:
    std::size_t size() const { return records_.size(); }
    bool empty() const { return records_.empty(); }

    // Record index, and its name alone; index must be below size().
    EntryView operator[](std::size_t index) const
    {
        const Record& record = records_[index];
        return {std::string_view(names_.data() + record.nameOffset, record.nameLength), record.originalSize,
                record.storedSize};
    }
    std::string_view name(std::size_t index) const
    {
        const Record& record = records_[index];
        return std::string_view(names_.data() + record.nameOffset, record.nameLength);
    }

    // Appends a record with a copy of name. False, changing nothing, when the
    // names together would reach 4 GiB or the records pass 2^31 - 1: more than
    // any index can hold.
    bool add(std::string_view name, std::uint32_t originalSize, std::uint32_t storedSize)
    {
        if (name.size() > MaxNameBytes - names_.size() || records_.size() >= MaxRecords)
            return false;
        records_.push_back({static_cast<std::uint32_t>(names_.size()), static_cast<std::uint32_t>(name.size()),
                            originalSize, storedSize});
        names_.append(name);
        return true;
    }

    // Makes room for count more records whose names take nameBytes in all,
    // asking for huge pages where the kernel gives them. Reserve only what is
    // known to come (a loaded index: what the file is known to hold), never
    // what an unchecked length claims.
    void reserve(std::size_t count, std::size_t nameBytes);

    // Forgets every record and lets go of the memory.
    void clear();

private:
    static constexpr std::size_t MaxNameBytes = UINT32_MAX;
    static constexpr std::size_t MaxRecords = INT32_MAX;

    struct Record {
        std::uint32_t nameOffset;  // where the name starts in names_
        std::uint32_t nameLength;
        std::uint32_t originalSize;
        std::uint32_t storedSize;
    };

    std::string names_;  // every name, one after the other
    std::vector<Record> records_;
};

}  // namespace vza
