// SPDX-License-Identifier: MIT
// The sealed form of an entry: a magic word and the plain length, the plain
// bytes, zero padding to a multiple of 8, all enciphered with the key in
// force (see blowfish.h).
//
// Which path the programs use: archives are written through seal() (by way
// of DataBuffer::encrypt) and read piece by piece through openSealPrefix()
// and decryptBuffer() (EntryDecoder). unseal() is the whole-buffer reader,
// kept for DataBuffer::decrypt; the decoder fuzzer checks that both readers
// agree on every input.
#pragma once

#include <cstdint>
#include <vector>

#include "vza/codec/blowfish.h"

namespace vza {

// The first word of a sealed form; archives start with the same word.
inline constexpr std::uint32_t SealMagic = 0x001D4FD6;

// The length of the sealed form of plainLength bytes: the 8-byte prefix and
// the bytes padded to whole blocks.
constexpr std::uint64_t sealedLength(std::uint64_t plainLength)
{
    return ((plainLength + 7) & ~std::uint64_t{7}) + 8;
}

// Replaces bytes with their sealed form. The plain length must fit 32 bits.
void seal(std::vector<std::uint8_t>& bytes);

// Replaces a sealed form with its plain bytes. False, changing nothing, on
// anything that is not a sealed form under the current key (see
// openSealPrefix).
bool unseal(std::vector<std::uint8_t>& bytes);

// Deciphers a copy of the first block with key and checks it: the magic, and
// that a stored length of storedSize fits its length word L (storedSize ==
// sealedLength(L)). On success sets length to L.
bool openSealPrefix(const CipherState& key, const std::uint8_t* firstBlock, std::uint64_t storedSize,
                    std::uint32_t& length);

}  // namespace vza
