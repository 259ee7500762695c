// SPDX-License-Identifier: MIT
// The AVX2 multi-block loop: eight blocks per vector, S-box lookups by gather.
// On CPUs with slow gathers (AMD Zen 4 among them) it is no faster than the
// portable loop, so the buffer calls do not pick it by themselves.
// Compiled for AVX2 through a function target attribute so the rest of the
// library stays baseline x86-64; it only runs after a CPU check.
#include "vza/codec/blowfish_fast.h"

#if defined(__x86_64__) && defined(__GNUC__)

#include <immintrin.h>

namespace vza {

namespace {

// Two groups of eight blocks in flight, so one group's arithmetic overlaps
// the other's gathers.
constexpr std::size_t Groups = 2;

#define VZA_TARGET_AVX2 __attribute__((target("avx2")))

VZA_TARGET_AVX2 inline __m256i roundF8(const int* S, __m256i x)
{
    const __m256i low = _mm256_set1_epi32(0xFF);
    const __m256i a = _mm256_srli_epi32(x, 24);
    const __m256i b = _mm256_and_si256(_mm256_srli_epi32(x, 16), low);
    const __m256i c = _mm256_and_si256(_mm256_srli_epi32(x, 8), low);
    const __m256i d = _mm256_and_si256(x, low);
    const __m256i sa = _mm256_i32gather_epi32(S, a, 4);
    const __m256i sb = _mm256_i32gather_epi32(S + 256, b, 4);
    const __m256i sc = _mm256_i32gather_epi32(S + 512, c, 4);
    const __m256i sd = _mm256_i32gather_epi32(S + 768, d, 4);
    return _mm256_add_epi32(_mm256_xor_si256(_mm256_add_epi32(sa, sb), sc), sd);
}

// Groups of eight blocks, i.e. 64 bytes, with every block's words swapped from
// big-endian and split into one vector of left words and one of right words;
// Groups of them per iteration.
template <bool Decrypt>
VZA_TARGET_AVX2 std::size_t cipherBlocks(const CipherState& state, std::uint8_t* bytes, std::size_t blockCount)
{
    const int* S = reinterpret_cast<const int*>(state.S);
    const std::uint32_t* P = state.P;
    auto word = [P](int i) { return static_cast<int>(Decrypt ? P[17 - i] : P[i]); };

    const __m256i swap = _mm256_setr_epi8(3, 2, 1, 0, 7, 6, 5, 4, 11, 10, 9, 8, 15, 14, 13, 12, 3, 2, 1, 0, 7, 6, 5, 4,
                                          11, 10, 9, 8, 15, 14, 13, 12);
    // Words of a group of four blocks come as L0 R0 L1 R1 ...; these put the
    // left words in the low half and the right words in the high half, and back.
    const __m256i split = _mm256_setr_epi32(0, 2, 4, 6, 1, 3, 5, 7);
    const __m256i join = _mm256_setr_epi32(0, 4, 1, 5, 2, 6, 3, 7);

    std::size_t done = 0;
    for (; done + 8 * Groups <= blockCount; done += 8 * Groups) {
        __m256i l[Groups];
        __m256i r[Groups];
#pragma GCC unroll 4
        for (std::size_t g = 0; g < Groups; ++g) {
            const std::uint8_t* group = bytes + 8 * (done + 8 * g);
            __m256i lo = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(group));
            __m256i hi = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(group + 32));
            lo = _mm256_permutevar8x32_epi32(_mm256_shuffle_epi8(lo, swap), split);
            hi = _mm256_permutevar8x32_epi32(_mm256_shuffle_epi8(hi, swap), split);
            l[g] = _mm256_xor_si256(_mm256_permute2x128_si256(lo, hi, 0x20), _mm256_set1_epi32(word(0)));
            r[g] = _mm256_permute2x128_si256(lo, hi, 0x31);
        }
        for (int i = 1; i <= 15; i += 2) {
#pragma GCC unroll 4
            for (std::size_t g = 0; g < Groups; ++g)
                r[g] = _mm256_xor_si256(r[g], _mm256_xor_si256(roundF8(S, l[g]), _mm256_set1_epi32(word(i))));
#pragma GCC unroll 4
            for (std::size_t g = 0; g < Groups; ++g)
                l[g] = _mm256_xor_si256(l[g], _mm256_xor_si256(roundF8(S, r[g]), _mm256_set1_epi32(word(i + 1))));
        }
#pragma GCC unroll 4
        for (std::size_t g = 0; g < Groups; ++g) {
            std::uint8_t* group = bytes + 8 * (done + 8 * g);
            const __m256i right = _mm256_xor_si256(r[g], _mm256_set1_epi32(word(17)));
            // Stored order: the right word goes first.
            __m256i lo = _mm256_permute2x128_si256(right, l[g], 0x20);
            __m256i hi = _mm256_permute2x128_si256(right, l[g], 0x31);
            lo = _mm256_shuffle_epi8(_mm256_permutevar8x32_epi32(lo, join), swap);
            hi = _mm256_shuffle_epi8(_mm256_permutevar8x32_epi32(hi, join), swap);
            _mm256_storeu_si256(reinterpret_cast<__m256i*>(group), lo);
            _mm256_storeu_si256(reinterpret_cast<__m256i*>(group + 32), hi);
        }
    }
    return done;
}

}  // namespace

std::size_t encryptBlocksAvx2(const CipherState& state, std::uint8_t* bytes, std::size_t blockCount)
{
    return cipherBlocks<false>(state, bytes, blockCount);
}

std::size_t decryptBlocksAvx2(const CipherState& state, std::uint8_t* bytes, std::size_t blockCount)
{
    return cipherBlocks<true>(state, bytes, blockCount);
}

}  // namespace vza

#endif
