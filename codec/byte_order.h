// SPDX-License-Identifier: MIT
// Big-endian words and 8-byte padding, as the cipher lays its blocks out.
//
// The codec keeps its own helpers so that it depends on nothing above it;
// the container format's word helpers (archive/format.h) are built on these.
#pragma once

#include <cstdint>

namespace vza {

// Reads a big-endian word from src[0..3].
inline std::uint32_t loadBigEndian32(const std::uint8_t* src)
{
    return (std::uint32_t{src[0]} << 24) | (std::uint32_t{src[1]} << 16) | (std::uint32_t{src[2]} << 8) |
           std::uint32_t{src[3]};
}

// Writes value big-endian into dest[0..3].
inline void storeBigEndian32(std::uint32_t value, std::uint8_t* dest)
{
    dest[0] = static_cast<std::uint8_t>(value >> 24);
    dest[1] = static_cast<std::uint8_t>(value >> 16);
    dest[2] = static_cast<std::uint8_t>(value >> 8);
    dest[3] = static_cast<std::uint8_t>(value);
}

// n rounded up to a whole number of 8-byte cipher blocks. In 64 bits, so
// that lengths near 2^32 do not wrap.
constexpr std::uint64_t paddedTo8(std::uint64_t n)
{
    return (n + 7) & ~std::uint64_t{7};
}

}  // namespace vza
