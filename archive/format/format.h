// SPDX-License-Identifier: MIT
// The .vza container format: its magic number, header flags and word helpers.
//
// An archive is a 32-byte header, an index of name records and a data area,
// back to back. Every number in the file is an unsigned 32-bit big-endian word.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "vza/codec/sealed_form.h"

namespace vza {

// First word of every archive; sealed (enciphered) entries start with it too.
inline constexpr std::uint32_t ArchiveMagic = SealMagic;

// Header flag bits. No other bit has a meaning.
inline constexpr std::uint32_t FlagEncrypted = 2;
inline constexpr std::uint32_t FlagCompressed = 4;

// Sizes of the fixed parts of the format.
inline constexpr std::size_t HeaderSize = 32;
inline constexpr std::size_t RecordHeaderSize = 12;

// Archives stay below 2 GiB: entry offsets are signed 32-bit file positions
// for other readers of the format.
inline constexpr std::uint64_t MaxArchiveSize = std::uint64_t{1} << 31;

// Writes value big-endian into dest[0..3].
void putU32(std::uint32_t value, std::uint8_t* dest);

// Reads a big-endian word from src[0..3].
std::uint32_t getU32(const std::uint8_t* src);

// n when n is a multiple of 8, else the next larger multiple of 8.
// Works in 64 bits so that lengths near 2^32 do not wrap.
constexpr std::int64_t roundUp8(std::int64_t n)
{
    return (n & 7) == 0 ? n : (n & ~std::int64_t{7}) + 8;
}

// Turns every backslash byte into a slash, byte by byte.
std::string toSlashes(std::string_view name);

}  // namespace vza
