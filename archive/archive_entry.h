// SPDX-License-Identifier: MIT
// One index record of an archive, in memory.
#pragma once

#include <cstdint>
#include <string>

namespace vza {

struct ArchiveEntry {
    std::string name;                // the name as stored in the index
    std::uint32_t originalSize = 0;  // length of the plain, uncompressed bytes
    std::uint32_t storedSize = 0;    // length of the bytes as stored

    void clear() { *this = ArchiveEntry{}; }
    bool operator==(const ArchiveEntry&) const = default;
};

}  // namespace vza
