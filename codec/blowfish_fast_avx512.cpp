// SPDX-License-Identifier: MIT
// The AVX-512 multi-block loop, 64 blocks at a time in byte-sliced form.
//
// Vector gathers are slow on many CPUs, so this loop does not gather at all.
// It transposes 64 blocks into eight vectors, one per byte position, and
// splits every S-box into four 256-byte tables, one per byte of its words. A
// lookup of one byte of S[i] for 64 indices is then two VBMI two-table byte
// permutes (128 entries each) and a blend on the index's top bit. The 32-bit
// additions of the round function are done plane by plane with explicit
// carries. Compiled for AVX-512F/BW/VBMI through a function target attribute;
// it only runs after a CPU check.
#include "vza/codec/blowfish_fast.h"

#if defined(__x86_64__) && defined(__GNUC__)

// GCC 12 reports the deliberately undefined filler vectors inside its own
// AVX-512 intrinsics as (maybe) uninitialized (GCC bug 105593); nothing here
// reads them.
#pragma GCC diagnostic ignored "-Wuninitialized"
#if !defined(__clang__)
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#endif

#include <immintrin.h>

namespace vza {

namespace {

#define VZA_TARGET_AVX512 __attribute__((target("avx512f,avx512bw,avx512vbmi")))

constexpr std::size_t GroupBlocks = 64;

// One 32-bit word for 64 blocks: plane[0] holds the least significant bytes,
// plane[3] the most significant.
struct Word64 {
    __m512i plane[4];
};

// The S-boxes split by byte: table[box][plane] is the 256 bytes that byte
// `plane` of S<box>[0..255] takes, as four 64-byte vectors.
struct SlicedBoxes {
    alignas(64) std::uint8_t table[4][4][256];
};

VZA_TARGET_AVX512 void sliceBoxes(const CipherState& state, SlicedBoxes& out)
{
    for (int box = 0; box < 4; ++box) {
        for (int i = 0; i < 256; i += 16) {
            const __m512i words = _mm512_loadu_si512(state.S + 256 * box + i);
            for (int plane = 0; plane < 4; ++plane) {
                const __m128i bytes = _mm512_cvtepi32_epi8(_mm512_srli_epi32(words, 8 * plane));
                _mm_store_si128(reinterpret_cast<__m128i*>(&out.table[box][plane][i]), bytes);
            }
        }
    }
}

// Byte `plane` of S<box>[index] for each of the 64 byte lanes of index.
VZA_TARGET_AVX512 inline __m512i lookup(const std::uint8_t* table, __m512i index)
{
    const __m512i low = _mm512_permutex2var_epi8(_mm512_load_si512(table), index, _mm512_load_si512(table + 64));
    const __m512i high =
        _mm512_permutex2var_epi8(_mm512_load_si512(table + 128), index, _mm512_load_si512(table + 192));
    return _mm512_mask_blend_epi8(_mm512_movepi8_mask(index), low, high);
}

VZA_TARGET_AVX512 inline Word64 lookupWord(const SlicedBoxes& boxes, int box, __m512i index)
{
    Word64 w;
    for (int plane = 0; plane < 4; ++plane)
        w.plane[plane] = lookup(boxes.table[box][plane], index);
    return w;
}

// a + b modulo 2^32, carrying from each byte plane into the next.
VZA_TARGET_AVX512 inline Word64 add(const Word64& a, const Word64& b)
{
    const __m512i one = _mm512_set1_epi8(1);
    const __m512i zero = _mm512_setzero_si512();
    Word64 s;
    s.plane[0] = _mm512_add_epi8(a.plane[0], b.plane[0]);
    __mmask64 carry = _mm512_cmplt_epu8_mask(s.plane[0], a.plane[0]);
    for (int p = 1; p < 4; ++p) {
        const __m512i sum = _mm512_add_epi8(a.plane[p], b.plane[p]);
        s.plane[p] = _mm512_mask_add_epi8(sum, carry, sum, one);
        if (p < 3) {
            // Carry out when the bytes overflowed, or when the incoming carry
            // took 0xFF over to 0.
            carry = _kor_mask64(_mm512_cmplt_epu8_mask(sum, a.plane[p]),
                                _mm512_mask_cmpeq_epi8_mask(carry, s.plane[p], zero));
        }
    }
    return s;
}

// target ^= F(x) ^ key, F(x) = ((S0[a] + S1[b]) ^ S2[c]) + S3[d].
VZA_TARGET_AVX512 inline void halfRound(const SlicedBoxes& boxes, const Word64& x, Word64& target, std::uint32_t key)
{
    Word64 f = add(lookupWord(boxes, 0, x.plane[3]), lookupWord(boxes, 1, x.plane[2]));
    const Word64 c = lookupWord(boxes, 2, x.plane[1]);
    for (int p = 0; p < 4; ++p)
        f.plane[p] = _mm512_xor_si512(f.plane[p], c.plane[p]);
    f = add(f, lookupWord(boxes, 3, x.plane[0]));
    for (int p = 0; p < 4; ++p) {
        const __m512i k = _mm512_set1_epi8(static_cast<char>(key >> (8 * p)));
        target.plane[p] = _mm512_ternarylogic_epi32(target.plane[p], f.plane[p], k, 0x96);
    }
}

VZA_TARGET_AVX512 inline void xorKey(Word64& w, std::uint32_t key)
{
    for (int p = 0; p < 4; ++p)
        w.plane[p] = _mm512_xor_si512(w.plane[p], _mm512_set1_epi8(static_cast<char>(key >> (8 * p))));
}

// Transposes eight vectors viewed as an 8x8 matrix of 64-bit lanes. Its own
// inverse.
VZA_TARGET_AVX512 inline void transpose8x8(__m512i r[8])
{
    const __m512i pairLow = _mm512_setr_epi64(0, 8, 1, 9, 2, 10, 3, 11);
    const __m512i pairHigh = _mm512_setr_epi64(4, 12, 5, 13, 6, 14, 7, 15);
    const __m512i quadLow = _mm512_setr_epi64(0, 1, 8, 9, 2, 3, 10, 11);
    const __m512i quadHigh = _mm512_setr_epi64(4, 5, 12, 13, 6, 7, 14, 15);
    const __m512i halfLow = _mm512_setr_epi64(0, 1, 2, 3, 8, 9, 10, 11);
    const __m512i halfHigh = _mm512_setr_epi64(4, 5, 6, 7, 12, 13, 14, 15);
    __m512i u[8];
    __m512i v[8];
    for (int i = 0; i < 8; i += 2) {
        u[i] = _mm512_permutex2var_epi64(r[i], pairLow, r[i + 1]);
        u[i + 1] = _mm512_permutex2var_epi64(r[i], pairHigh, r[i + 1]);
    }
    // u[2m] holds columns 0-3 and u[2m+1] columns 4-7 of rows 2m and 2m+1.
    for (int base = 0; base < 8; base += 4) {
        for (int half = 0; half < 2; ++half) {
            const __m512i a = u[base + half];
            const __m512i b = u[base + 2 + half];
            v[base + 2 * half] = _mm512_permutex2var_epi64(a, quadLow, b);
            v[base + 2 * half + 1] = _mm512_permutex2var_epi64(a, quadHigh, b);
        }
    }
    // v[k] (k < 4) holds columns 2k and 2k+1 of rows 0-3; v[k+4] of rows 4-7.
    for (int k = 0; k < 4; ++k) {
        r[2 * k] = _mm512_permutex2var_epi64(v[k], halfLow, v[k + 4]);
        r[2 * k + 1] = _mm512_permutex2var_epi64(v[k], halfHigh, v[k + 4]);
    }
}

// Within each 64-byte vector of eight blocks, gathers byte j of every block
// into 64-bit lane j. Applied twice it is the identity.
VZA_TARGET_AVX512 inline __m512i byteTranspose(__m512i v)
{
    alignas(64) static const std::uint8_t order[64] = {0, 8,  16, 24, 32, 40, 48, 56, 1, 9,  17, 25, 33, 41, 49, 57,
                                                       2, 10, 18, 26, 34, 42, 50, 58, 3, 11, 19, 27, 35, 43, 51, 59,
                                                       4, 12, 20, 28, 36, 44, 52, 60, 5, 13, 21, 29, 37, 45, 53, 61,
                                                       6, 14, 22, 30, 38, 46, 54, 62, 7, 15, 23, 31, 39, 47, 55, 63};
    return _mm512_permutexvar_epi8(_mm512_load_si512(order), v);
}

template <bool Decrypt>
VZA_TARGET_AVX512 std::size_t cipherBlocks(const CipherState& state, std::uint8_t* bytes, std::size_t blockCount)
{
    if (blockCount < GroupBlocks)
        return 0;
    SlicedBoxes boxes;
    sliceBoxes(state, boxes);
    const std::uint32_t* P = state.P;
    auto key = [P](int i) { return Decrypt ? P[17 - i] : P[i]; };

    std::size_t done = 0;
    for (; done + GroupBlocks <= blockCount; done += GroupBlocks) {
        std::uint8_t* group = bytes + 8 * done;
        __m512i r[8];
        for (int i = 0; i < 8; ++i)
            r[i] = byteTranspose(_mm512_loadu_si512(group + 64 * i));
        transpose8x8(r);
        // r[j] now holds byte j of all 64 blocks; bytes 0-3 are the left
        // word, most significant first.
        Word64 L{{r[3], r[2], r[1], r[0]}};
        Word64 R{{r[7], r[6], r[5], r[4]}};

        xorKey(L, key(0));
        for (int i = 1; i <= 15; i += 2) {
            halfRound(boxes, L, R, key(i));
            halfRound(boxes, R, L, key(i + 1));
        }
        xorKey(R, key(17));

        // Stored order: the right word goes first.
        __m512i out[8] = {R.plane[3], R.plane[2], R.plane[1], R.plane[0],
                          L.plane[3], L.plane[2], L.plane[1], L.plane[0]};
        transpose8x8(out);
        for (int i = 0; i < 8; ++i)
            _mm512_storeu_si512(group + 64 * i, byteTranspose(out[i]));
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
