// SPDX-License-Identifier: MIT
// Multi-block ECB loops behind encryptBuffer and decryptBuffer. Internal to
// the cipher: callers outside codec/ go through blowfish.h.
#pragma once

#include "vza/codec/blowfish.h"

#include <cstddef>
#include <cstdint>

namespace vza {

// Enciphers or deciphers blockCount 8-byte blocks at bytes, in place.
void encryptBlocksPortable(const CipherState& state, std::uint8_t* bytes, std::size_t blockCount);
void decryptBlocksPortable(const CipherState& state, std::uint8_t* bytes, std::size_t blockCount);

// The vector loops only take whole groups (16 blocks for AVX2, 64 for AVX-512)
// and return how many blocks they did; the caller finishes the rest. They may
// only run where the CPU has the instructions (see cipherPathAvailable).
std::size_t encryptBlocksAvx2(const CipherState& state, std::uint8_t* bytes, std::size_t blockCount);
std::size_t decryptBlocksAvx2(const CipherState& state, std::uint8_t* bytes, std::size_t blockCount);
std::size_t encryptBlocksAvx512(const CipherState& state, std::uint8_t* bytes, std::size_t blockCount);
std::size_t decryptBlocksAvx512(const CipherState& state, std::uint8_t* bytes, std::size_t blockCount);

}  // namespace vza
