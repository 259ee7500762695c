#include "codec/blowfish.h"

#include "archive/format.h"
#include "codec/blowfish_fast.h"
#include "codec/blowfish_tables.h"

#include <algorithm>
#include <cstring>

namespace vza {

namespace {

// The one key state of the process; zero-initialised static storage, so it
// reads as all zeros until the first setKey.
CipherState g_state;

std::uint32_t roundF(std::uint32_t x)
{
    const std::uint32_t* S = g_state.S;
    return ((S[x >> 24] + S[256 + ((x >> 16) & 0xFF)]) ^ S[512 + ((x >> 8) & 0xFF)]) +
           S[768 + (x & 0xFF)];
}

// Enciphers the word pair and leaves it in stored order: left holds the word
// that goes into bytes 0-3, right the word for bytes 4-7.
void encipherPair(std::uint32_t& left, std::uint32_t& right)
{
    const std::uint32_t* P = g_state.P;
    std::uint32_t l = left ^ P[0];
    std::uint32_t r = right;
    for (int i = 1; i <= 15; i += 2) {
        r ^= roundF(l) ^ P[i];
        l ^= roundF(r) ^ P[i + 1];
    }
    r ^= P[17];
    left = r;
    right = l;
}

void decipherPair(std::uint32_t& left, std::uint32_t& right)
{
    const std::uint32_t* P = g_state.P;
    std::uint32_t l = left ^ P[17];
    std::uint32_t r = right;
    for (int i = 16; i >= 2; i -= 2) {
        r ^= roundF(l) ^ P[i];
        l ^= roundF(r) ^ P[i - 1];
    }
    r ^= P[0];
    left = r;
    right = l;
}

// The path the buffer calls use, decided once. The AVX2 gather loop is left
// out: where gathers are slow it loses to the portable loop.
CipherPath bestPath()
{
    static const CipherPath best =
        cipherPathAvailable(CipherPath::Avx512) ? CipherPath::Avx512 : CipherPath::Portable;
    return best;
}

}  // namespace

const CipherState& cipherState()
{
    return g_state;
}

void setKey(const std::uint8_t* key, std::size_t length)
{
    std::copy_n(blowfishInitialTables, 18, g_state.P);
    std::copy_n(blowfishInitialTables + 18, 4 * 256, g_state.S);

    if (length > 0) {
        // Key positions wrap at length, so a short key repeats and anything
        // past byte 72 never reaches the P-array.
        for (std::size_t i = 0; i < 18; ++i) {
            std::uint32_t word = 0;
            for (std::size_t k = 0; k < 4; ++k)
                word = (word << 8) | std::uint32_t{key[(4 * i + k) % length]};
            g_state.P[i] ^= word;
        }
    }

    std::uint32_t l = 0;
    std::uint32_t r = 0;
    for (std::size_t i = 0; i < 18; i += 2) {
        encipherPair(l, r);
        g_state.P[i] = l;
        g_state.P[i + 1] = r;
    }
    for (std::size_t j = 0; j < 4 * 256; j += 2) {
        encipherPair(l, r);
        g_state.S[j] = l;
        g_state.S[j + 1] = r;
    }
}

void encryptBlock(std::uint8_t* block)
{
    std::uint32_t l = getU32(block);
    std::uint32_t r = getU32(block + 4);
    encipherPair(l, r);
    putU32(l, block);
    putU32(r, block + 4);
}

void decryptBlock(std::uint8_t* block)
{
    std::uint32_t l = getU32(block);
    std::uint32_t r = getU32(block + 4);
    decipherPair(l, r);
    putU32(l, block);
    putU32(r, block + 4);
}

std::size_t encryptBuffer(std::uint8_t* bytes, std::size_t length)
{
    const std::size_t padded = static_cast<std::size_t>(roundUp8(static_cast<std::int64_t>(length)));
    if (padded > length)
        std::memset(bytes + length, 0, padded - length);
    encryptBlocks(bestPath(), bytes, padded);
    return padded;
}

void decryptBuffer(std::uint8_t* bytes, std::size_t length)
{
    decryptBlocks(bestPath(), bytes, length);
}

bool cipherPathAvailable(CipherPath path)
{
    switch (path) {
    case CipherPath::Portable:
        return true;
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
    default:
        return false;
    }
}

void encryptBlocks(CipherPath path, std::uint8_t* bytes, std::size_t length)
{
    const std::size_t blocks = length / 8;
    std::size_t done = 0;
#if defined(__x86_64__) && defined(__GNUC__)
    if (path == CipherPath::Avx512 && cipherPathAvailable(path))
        done = encryptBlocksAvx512(g_state, bytes, blocks);
    else if (path == CipherPath::Avx2 && cipherPathAvailable(path))
        done = encryptBlocksAvx2(g_state, bytes, blocks);
#endif
    encryptBlocksPortable(g_state, bytes + 8 * done, blocks - done);
}

void decryptBlocks(CipherPath path, std::uint8_t* bytes, std::size_t length)
{
    const std::size_t blocks = length / 8;
    std::size_t done = 0;
#if defined(__x86_64__) && defined(__GNUC__)
    if (path == CipherPath::Avx512 && cipherPathAvailable(path))
        done = decryptBlocksAvx512(g_state, bytes, blocks);
    else if (path == CipherPath::Avx2 && cipherPathAvailable(path))
        done = decryptBlocksAvx2(g_state, bytes, blocks);
#endif
    decryptBlocksPortable(g_state, bytes + 8 * done, blocks - done);
}

}  // namespace vza
