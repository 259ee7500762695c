// SPDX-License-Identifier: MIT
// What reading an entry can vouch for, in words both programs share.
//
// The format keeps no checksum of its own. An entry's bytes are checked only
// when they go through zlib, whose Adler-32 covers every plain byte: a
// compressed entry. A stored entry (kept as it is, sealed or not) is read
// with its length checked and nothing else, so a byte changed inside it goes
// unseen. A test says so instead of calling such an entry OK:
//
//     12 entries OK, 3 stored entries have no check in this format
//
// Whether an entry was compressed is told from the index: its stored size
// differs from its size (once sealed, from its sealed size). An encrypted,
// compressed entry whose stored size equals its sealed size may be either;
// it is counted unchecked, since a check must never be claimed wrongly.
#pragma once

#include <cstdint>

#include "vza/archive/format/archive_entry.h"

namespace vza {

// Whether reading entry of an archive with flags checks its bytes.
bool entryBytesChecked(std::uint32_t flags, const EntryView& entry);

// The outcome of reading a set of entries, counted by that rule.
struct CheckTally {
    std::uint64_t checked = 0;    // read whole, and zlib's check held
    std::uint64_t unchecked = 0;  // read whole, but nothing checks their bytes
    std::uint64_t failed = 0;     // could not be read, or a check failed

    // Counts one entry: read tells whether reading it succeeded.
    void add(std::uint32_t flags, const EntryView& entry, bool read);
    std::uint64_t total() const { return checked + unchecked + failed; }
};

}  // namespace vza
