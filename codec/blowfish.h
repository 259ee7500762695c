// SPDX-License-Identifier: MIT
// Blowfish, 16 rounds, in electronic-codebook mode.
//
// Every call comes in two forms. One takes a key state of the caller's own
// (a CipherState filled by setKey(state, ...)): an open archive keeps its key
// that way, so archives opened side by side, or one being written while
// another is read, never disturb each other. The other form uses the one
// process-wide key state, keyed by setKey(key, length), for callers that seal
// and unseal whole buffers directly (DataBuffer::encrypt/decrypt); it stays in
// force until the next setKey. Blocks are 8 bytes: bytes 0-3 the left word,
// 4-7 the right word, both big-endian.
#pragma once

#include <cstddef>
#include <cstdint>

namespace vza {

struct CipherState {
    std::uint32_t P[18];
    std::uint32_t S[4 * 256];  // S0, S1, S2, S3, one run
};

// The process-wide key state; all zeros until the first setKey.
const CipherState& cipherState();

// Rebuilds the key state from the initial tables and key[0..length). The key
// is used cyclically from its start; any length from 1 is accepted (only the
// first 72 bytes can matter). Callers must not pass length 0; if one does, the
// key is taken as empty (the schedule runs on the bare tables) instead of
// faulting.
void setKey(const std::uint8_t* key, std::size_t length);

// The same key schedule built into state; the process-wide key is untouched.
void setKey(CipherState& state, const std::uint8_t* key, std::size_t length);

// Enciphers or deciphers one 8-byte block in place with the process-wide key,
// or with state.
void encryptBlock(std::uint8_t* block);
void decryptBlock(std::uint8_t* block);
void encryptBlock(const CipherState& state, std::uint8_t* block);
void decryptBlock(const CipherState& state, std::uint8_t* block);

// Enciphers bytes[0..length) block by block in place, zero-padding the last
// block; bytes must have room for paddedTo8(length) (byte_order.h). Returns
// paddedTo8(length). Uses the process-wide key, or state. Both take the
// fastest path the CPU has.
std::size_t encryptBuffer(std::uint8_t* bytes, std::size_t length);
std::size_t encryptBuffer(const CipherState& state, std::uint8_t* bytes, std::size_t length);

// Deciphers bytes[0..length) block by block in place; length is a multiple of 8.
// Should a caller pass a ragged length, the bytes after the last whole block
// are left alone rather than read or written past the end. Uses the
// process-wide key, or state.
void decryptBuffer(std::uint8_t* bytes, std::size_t length);
void decryptBuffer(const CipherState& state, std::uint8_t* bytes, std::size_t length);

// The block loops behind encryptBuffer and decryptBuffer. ECB blocks are
// independent, so each path works on several blocks at once: Portable
// interleaves 4 blocks in plain C++; Avx2 gathers S-box words for 16 blocks;
// Avx512 (F, BW and VBMI) takes 64 blocks byte-sliced, with byte permutes
// instead of gathers. Blocks left over go through Portable. The buffer calls
// use Avx512 where the CPU has it, else Portable.
//
// Avx2 is never chosen by the buffer calls: gathers are slow on many CPUs
// (AMD Zen 4 among them), where it is no faster than Portable. It stays
// reachable through encryptBlocks/decryptBlocks because the cipher benchmark
// measures it against the other paths on each new machine, and the cipher
// tests hold it to the same results; drop it if it never wins there.
enum class CipherPath { Portable, Avx2, Avx512 };

// True when this build and this CPU can run path. Portable is always available.
bool cipherPathAvailable(CipherPath path);

// The path encryptBuffer and decryptBuffer take on this CPU, and its name
// ("portable", "avx2", "avx512") for reports and benchmarks.
CipherPath bufferCipherPath();
const char* cipherPathName(CipherPath path);

// Enciphers or deciphers the whole blocks of bytes[0..length) in place through
// the given path with the process-wide key, for tests and benchmarks; a
// trailing partial block is left alone. An unavailable path falls back to
// Portable.
void encryptBlocks(CipherPath path, std::uint8_t* bytes, std::size_t length);
void decryptBlocks(CipherPath path, std::uint8_t* bytes, std::size_t length);

}  // namespace vza
