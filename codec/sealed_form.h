// The sealed form of an entry: magic and length prefix, the bytes, zero
// padding to a multiple of 8, all enciphered. DataBuffer::encrypt/decrypt
// seal and unseal whole buffers; this is the check of the first block that
// lets a reader unseal a stored entry piece by piece.
#pragma once

#include <cstdint>

#include "codec/blowfish.h"

namespace vza {

// Deciphers a copy of the first block with key and checks it: the magic, and
// that a stored length of storedSize fits its length word L (storedSize ==
// roundUp8(L) + 8). On success sets length to L.
bool openSealPrefix(const CipherState& key, const std::uint8_t* firstBlock, std::uint64_t storedSize,
                    std::uint32_t& length);

}  // namespace vza
