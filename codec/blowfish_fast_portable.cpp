// SPDX-License-Identifier: MIT
// The portable multi-block loop. One Blowfish block is a chain of dependent
// S-box loads, so a single block leaves the CPU waiting on load latency.
// Working on several independent blocks per round lets those loads overlap.
#include "vza/codec/blowfish_fast.h"
#include "vza/codec/byte_order.h"

namespace vza {

namespace {

// Blocks in flight per loop iteration: enough to cover load latency, few
// enough that the words stay in registers.
constexpr std::size_t Lanes = 4;

// Each box through its own pointer, so the byte index goes straight into the
// address without an added offset.
struct Boxes {
    const std::uint32_t* s0;
    const std::uint32_t* s1;
    const std::uint32_t* s2;
    const std::uint32_t* s3;
};

inline std::uint32_t roundF(const Boxes& S, std::uint32_t x)
{
    return ((S.s0[x >> 24] + S.s1[(x >> 16) & 0xFF]) ^ S.s2[(x >> 8) & 0xFF]) + S.s3[x & 0xFF];
}

// Runs N blocks through the 16 rounds side by side. Decryption is the same
// network with the P-array read backwards, so one template serves both.
template <std::size_t N, bool Decrypt>
inline void cipherGroup(const CipherState& state, std::uint8_t* bytes)
{
    const std::uint32_t* P = state.P;
    const Boxes S{state.S, state.S + 256, state.S + 512, state.S + 768};
    auto key = [P](int i) { return Decrypt ? P[17 - i] : P[i]; };

    std::uint32_t l[N];
    std::uint32_t r[N];
#pragma GCC unroll 16
    for (std::size_t k = 0; k < N; ++k) {
        l[k] = loadBigEndian32(bytes + 8 * k) ^ key(0);
        r[k] = loadBigEndian32(bytes + 8 * k + 4);
    }
#pragma GCC unroll 8
    for (int i = 1; i <= 15; i += 2) {
        const std::uint32_t p1 = key(i);
        const std::uint32_t p2 = key(i + 1);
#pragma GCC unroll 16
        for (std::size_t k = 0; k < N; ++k)
            r[k] ^= roundF(S, l[k]) ^ p1;
#pragma GCC unroll 16
        for (std::size_t k = 0; k < N; ++k)
            l[k] ^= roundF(S, r[k]) ^ p2;
    }
    const std::uint32_t last = key(17);
#pragma GCC unroll 16
    for (std::size_t k = 0; k < N; ++k) {
        storeBigEndian32(r[k] ^ last, bytes + 8 * k);
        storeBigEndian32(l[k], bytes + 8 * k + 4);
    }
}

template <bool Decrypt>
void cipherBlocks(const CipherState& state, std::uint8_t* bytes, std::size_t blockCount)
{
    std::size_t i = 0;
    for (; i + Lanes <= blockCount; i += Lanes)
        cipherGroup<Lanes, Decrypt>(state, bytes + 8 * i);
    for (; i < blockCount; ++i)
        cipherGroup<1, Decrypt>(state, bytes + 8 * i);
}

}  // namespace

void encryptBlocksPortable(const CipherState& state, std::uint8_t* bytes, std::size_t blockCount)
{
    cipherBlocks<false>(state, bytes, blockCount);
}

void decryptBlocksPortable(const CipherState& state, std::uint8_t* bytes, std::size_t blockCount)
{
    cipherBlocks<true>(state, bytes, blockCount);
}

}  // namespace vza
