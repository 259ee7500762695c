// The AVX-512 multi-block loop: sixteen blocks per vector, S-box lookups by
// gather. Compiled for AVX-512F/BW through a function target attribute; it
// only runs after a CPU check.
#include "codec/blowfish_fast.h"

#if defined(__x86_64__) && defined(__GNUC__)

// GCC 12 reports the deliberately undefined filler vectors inside its own
// AVX-512 intrinsics as "maybe uninitialized" (GCC bug 105593); nothing here
// reads them.
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"

#include <immintrin.h>

namespace vza {

namespace {

#define VZA_TARGET_AVX512 __attribute__((target("avx512f,avx512bw")))

VZA_TARGET_AVX512 inline __m512i roundF16(const int* S, __m512i x)
{
    const __m512i low = _mm512_set1_epi32(0xFF);
    const __m512i a = _mm512_srli_epi32(x, 24);
    const __m512i b = _mm512_and_si512(_mm512_srli_epi32(x, 16), low);
    const __m512i c = _mm512_and_si512(_mm512_srli_epi32(x, 8), low);
    const __m512i d = _mm512_and_si512(x, low);
    const __m512i sa = _mm512_i32gather_epi32(a, S, 4);
    const __m512i sb = _mm512_i32gather_epi32(b, S + 256, 4);
    const __m512i sc = _mm512_i32gather_epi32(c, S + 512, 4);
    const __m512i sd = _mm512_i32gather_epi32(d, S + 768, 4);
    return _mm512_add_epi32(_mm512_xor_si512(_mm512_add_epi32(sa, sb), sc), sd);
}

// Groups of sixteen blocks, i.e. 128 bytes, with every block's words swapped
// from big-endian and split into one vector of left words and one of right.
template <bool Decrypt>
VZA_TARGET_AVX512 std::size_t cipherBlocks(const CipherState& state, std::uint8_t* bytes,
                                           std::size_t blockCount)
{
    const int* S = reinterpret_cast<const int*>(state.S);
    const std::uint32_t* P = state.P;
    auto word = [P](int i) { return static_cast<int>(Decrypt ? P[17 - i] : P[i]); };

    const __m512i swap = _mm512_set4_epi32(0x0C0D0E0F, 0x08090A0B, 0x04050607, 0x00010203);
    // Lane k of the two loaded vectors together is word k of the group; left
    // words sit at even k, right words at odd k.
    const __m512i evens = _mm512_setr_epi32(0, 2, 4, 6, 8, 10, 12, 14, 16, 18, 20, 22, 24, 26, 28, 30);
    const __m512i odds = _mm512_setr_epi32(1, 3, 5, 7, 9, 11, 13, 15, 17, 19, 21, 23, 25, 27, 29, 31);
    // Back again, interleaving the first vector's lanes (0-15) with the
    // second's (16-31).
    const __m512i zipLow = _mm512_setr_epi32(0, 16, 1, 17, 2, 18, 3, 19, 4, 20, 5, 21, 6, 22, 7, 23);
    const __m512i zipHigh = _mm512_setr_epi32(8, 24, 9, 25, 10, 26, 11, 27, 12, 28, 13, 29, 14, 30, 15, 31);

    std::size_t done = 0;
    for (; done + 16 <= blockCount; done += 16) {
        std::uint8_t* group = bytes + 8 * done;
        const __m512i lo = _mm512_shuffle_epi8(_mm512_loadu_si512(group), swap);
        const __m512i hi = _mm512_shuffle_epi8(_mm512_loadu_si512(group + 64), swap);
        __m512i l = _mm512_permutex2var_epi32(lo, evens, hi);
        __m512i r = _mm512_permutex2var_epi32(lo, odds, hi);

        l = _mm512_xor_si512(l, _mm512_set1_epi32(word(0)));
        for (int i = 1; i <= 15; i += 2) {
            r = _mm512_xor_si512(r, _mm512_xor_si512(roundF16(S, l), _mm512_set1_epi32(word(i))));
            l = _mm512_xor_si512(l, _mm512_xor_si512(roundF16(S, r), _mm512_set1_epi32(word(i + 1))));
        }
        r = _mm512_xor_si512(r, _mm512_set1_epi32(word(17)));

        // Stored order: the right word goes first.
        _mm512_storeu_si512(group, _mm512_shuffle_epi8(_mm512_permutex2var_epi32(r, zipLow, l), swap));
        _mm512_storeu_si512(group + 64, _mm512_shuffle_epi8(_mm512_permutex2var_epi32(r, zipHigh, l), swap));
    }
    return done;
}

}  // namespace

std::size_t encryptBlocksAvx512(const CipherState& state, std::uint8_t* bytes, std::size_t blockCount)
{
    return cipherBlocks<false>(state, bytes, blockCount);
}

std::size_t decryptBlocksAvx512(const CipherState& state, std::uint8_t* bytes, std::size_t blockCount)
{
    return cipherBlocks<true>(state, bytes, blockCount);
}

}  // namespace vza

#endif
