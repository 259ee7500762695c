// SPDX-License-Identifier: MIT
#include "vza/codec/blowfish.h"

#include "vza/codec/blowfish_fast.h"
#include "vza/codec/blowfish_tables.h"
#include "vza/codec/byte_order.h"

#include <algorithm>
#include <cstring>

namespace vza {

namespace {

// The one key state of the process; zero-initialised static storage, so it
// reads as all zeros until the first setKey.
CipherState g_state;

std::uint32_t roundF(const CipherState& state, std::uint32_t x)
{
    const std::uint32_t* S = state.S;
    return ((S[x >> 24] + S[256 + ((x >> 16) & 0xFF)]) ^ S[512 + ((x >> 8) & 0xFF)]) + S[768 + (x & 0xFF)];
}

// Enciphers the word pair and leaves it in stored order: left holds the word
// that goes into bytes 0-3, right the word for bytes 4-7.
void encipherPair(const CipherState& state, std::uint32_t& left, std::uint32_t& right)
{
    const std::uint32_t* P = state.P;
    std::uint32_t l = left ^ P[0];
    std::uint32_t r = right;
    for (int i = 1; i <= 15; i += 2) {
        r ^= roundF(state, l) ^ P[i];
        l ^= roundF(state, r) ^ P[i + 1];
    }
    r ^= P[17];
    left = r;
    right = l;
}

void decipherPair(const CipherState& state, std::uint32_t& left, std::uint32_t& right)
{
    const std::uint32_t* P = state.P;
    std::uint32_t l = left ^ P[17];
    std::uint32_t r = right;
    for (int i = 16; i >= 2; i -= 2) {
        r ^= roundF(state, l) ^ P[i];
        l ^= roundF(state, r) ^ P[i - 1];
    }
    r ^= P[0];
    left = r;
    right = l;
}

// The path the buffer calls use, decided once. The AVX2 gather loop is left
// out: where gathers are slow it loses to the portable loop.
CipherPath bestPath()
{
    static const CipherPath best = cipherPathAvailable(CipherPath::Avx512) ? CipherPath::Avx512 : CipherPath::Portable;
    return best;
}

void runEncrypt(const CipherState& state, CipherPath path, std::uint8_t* bytes, std::size_t length)
{
    const std::size_t blocks = length / 8;
    std::size_t done = 0;
#if defined(__x86_64__) && defined(__GNUC__)
    if (path == CipherPath::Avx512 && cipherPathAvailable(path))
        done = encryptBlocksAvx512(state, bytes, blocks);
    else if (path == CipherPath::Avx2 && cipherPathAvailable(path))
        done = encryptBlocksAvx2(state, bytes, blocks);
#endif
    encryptBlocksPortable(state, bytes + 8 * done, blocks - done);
}

void runDecrypt(const CipherState& state, CipherPath path, std::uint8_t* bytes, std::size_t length)
{
    const std::size_t blocks = length / 8;
    std::size_t done = 0;
#if defined(__x86_64__) && defined(__GNUC__)
    if (path == CipherPath::Avx512 && cipherPathAvailable(path))
        done = decryptBlocksAvx512(state, bytes, blocks);
    else if (path == CipherPath::Avx2 && cipherPathAvailable(path))
        done = decryptBlocksAvx2(state, bytes, blocks);
#endif
    decryptBlocksPortable(state, bytes + 8 * done, blocks - done);
}

}  // namespace

const CipherState& cipherState()
{
    return g_state;
}

void setKey(CipherState& state, const std::uint8_t* key, std::size_t length)
{
    std::copy_n(blowfishInitialTables, 18, state.P);
    std::copy_n(blowfishInitialTables + 18, 4 * 256, state.S);

    if (length > 0) {
        // Key positions wrap at length, so a short key repeats and anything
        // past byte 72 never reaches the P-array.
        for (std::size_t i = 0; i < 18; ++i) {
            std::uint32_t word = 0;
            for (std::size_t k = 0; k < 4; ++k)
                word = (word << 8) | std::uint32_t{key[(4 * i + k) % length]};
            state.P[i] ^= word;
        }
    }

    std::uint32_t l = 0;
    std::uint32_t r = 0;
    for (std::size_t i = 0; i < 18; i += 2) {
        encipherPair(state, l, r);
        state.P[i] = l;
        state.P[i + 1] = r;
    }
    for (std::size_t j = 0; j < 4 * 256; j += 2) {
        encipherPair(state, l, r);
        state.S[j] = l;
        state.S[j + 1] = r;
    }
}

void setKey(const std::uint8_t* key, std::size_t length)
{
    setKey(g_state, key, length);
}

void encryptBlock(const CipherState& state, std::uint8_t* block)
{
    std::uint32_t l = loadBigEndian32(block);
    std::uint32_t r = loadBigEndian32(block + 4);
    encipherPair(state, l, r);
    storeBigEndian32(l, block);
    storeBigEndian32(r, block + 4);
}

void decryptBlock(const CipherState& state, std::uint8_t* block)
{
    std::uint32_t l = loadBigEndian32(block);
    std::uint32_t r = loadBigEndian32(block + 4);
    decipherPair(state, l, r);
    storeBigEndian32(l, block);
    storeBigEndian32(r, block + 4);
}

void encryptBlock(std::uint8_t* block)
{
    encryptBlock(g_state, block);
}

void decryptBlock(std::uint8_t* block)
{
    decryptBlock(g_state, block);
}

std::size_t encryptBuffer(const CipherState& state, std::uint8_t* bytes, std::size_t length)
{
    const std::size_t padded = static_cast<std::size_t>(paddedTo8(length));
    if (padded > length)
        std::memset(bytes + length, 0, padded - length);
    runEncrypt(state, bestPath(), bytes, padded);
    return padded;
}

void decryptBuffer(const CipherState& state, std::uint8_t* bytes, std::size_t length)
{
    runDecrypt(state, bestPath(), bytes, length);
}

std::size_t encryptBuffer(std::uint8_t* bytes, std::size_t length)
{
    return encryptBuffer(g_state, bytes, length);
}

void decryptBuffer(std::uint8_t* bytes, std::size_t length)
{
    decryptBuffer(g_state, bytes, length);
}

bool cipherPathAvailable(CipherPath path)
{
    switch (path) {
    case CipherPath::Portable: return true;
#if defined(__x86_64__) && defined(__GNUC__)
    case CipherPath::Avx2:
        // Safe to repeat; makes the check valid even from a static constructor.
        __builtin_cpu_init();
        return __builtin_cpu_supports("avx2");
    case CipherPath::Avx512:
        __builtin_cpu_init();
        return __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512bw") &&
               __builtin_cpu_supports("avx512vbmi");
#endif
    default: return false;
    }
}

CipherPath bufferCipherPath()
{
    return bestPath();
}

const char* cipherPathName(CipherPath path)
{
    switch (path) {
    case CipherPath::Avx2: return "avx2";
    case CipherPath::Avx512: return "avx512";
    default: return "portable";
    }
}

void encryptBlocks(CipherPath path, std::uint8_t* bytes, std::size_t length)
{
    runEncrypt(g_state, path, bytes, length);
}

void decryptBlocks(CipherPath path, std::uint8_t* bytes, std::size_t length)
{
    runDecrypt(g_state, path, bytes, length);
}

}  // namespace vza
