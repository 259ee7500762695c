// SPDX-License-Identifier: MIT
#include "vza/archive/fs/name_hash.h"

#include <cerrno>
#include <cstring>
#include <ctime>

#include <sys/random.h>
#include <unistd.h>

namespace vza {

namespace {

inline std::uint64_t rotl(std::uint64_t x, int bits)
{
    return (x << bits) | (x >> (64 - bits));
}

inline std::uint64_t loadLittle64(const char* p)
{
    std::uint64_t word = 0;
    for (int i = 7; i >= 0; --i)
        word = (word << 8) | static_cast<unsigned char>(p[i]);
    return word;
}

struct SipState {
    std::uint64_t v0, v1, v2, v3;

    void round()
    {
        v0 += v1;
        v1 = rotl(v1, 13);
        v1 ^= v0;
        v0 = rotl(v0, 32);
        v2 += v3;
        v3 = rotl(v3, 16);
        v3 ^= v2;
        v0 += v3;
        v3 = rotl(v3, 21);
        v3 ^= v0;
        v2 += v1;
        v1 = rotl(v1, 17);
        v1 ^= v2;
        v2 = rotl(v2, 32);
    }
};

template <int CompressionRounds, int FinalRounds>
std::uint64_t sipHash(std::uint64_t k0, std::uint64_t k1, std::string_view bytes)
{
    SipState s{k0 ^ 0x736f6d6570736575ULL, k1 ^ 0x646f72616e646f6dULL, k0 ^ 0x6c7967656e657261ULL,
               k1 ^ 0x7465646279746573ULL};
    const char* p = bytes.data();
    const std::size_t whole = bytes.size() & ~std::size_t{7};
    auto absorb = [&s](std::uint64_t word) {
        s.v3 ^= word;
        for (int i = 0; i < CompressionRounds; ++i)
            s.round();
        s.v0 ^= word;
    };
    for (std::size_t at = 0; at < whole; at += 8)
        absorb(loadLittle64(p + at));
    // The last word: the remaining bytes, and the length's low byte on top.
    std::uint64_t last = static_cast<std::uint64_t>(bytes.size()) << 56;
    for (std::size_t i = bytes.size() - whole; i-- > 0;)
        last |= std::uint64_t{static_cast<unsigned char>(p[whole + i])} << (8 * i);
    absorb(last);
    s.v2 ^= 0xff;
    for (int i = 0; i < FinalRounds; ++i)
        s.round();
    return s.v0 ^ s.v1 ^ s.v2 ^ s.v3;
}

struct HashKey {
    std::uint64_t k0, k1;
};

// Drawn once. getrandom only fails where the kernel lacks it or its pool is
// not yet ready (early boot); the fallback still varies per process and per
// run, which keeps a stored archive from aiming at it.
HashKey drawKey()
{
    unsigned char bytes[16];
    std::size_t got = 0;
    while (got < sizeof bytes) {
        const ssize_t n = getrandom(bytes + got, sizeof bytes - got, GRND_NONBLOCK);
        if (n > 0)
            got += static_cast<std::size_t>(n);
        else if (n < 0 && errno == EINTR)
            continue;
        else
            break;
    }
    if (got == sizeof bytes) {
        HashKey key;
        std::memcpy(&key.k0, bytes, 8);
        std::memcpy(&key.k1, bytes + 8, 8);
        return key;
    }
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    timespec ticks{};
    clock_gettime(CLOCK_MONOTONIC, &ticks);
    const std::uint64_t noise[4] = {static_cast<std::uint64_t>(now.tv_sec) * 1000000000ULL +
                                        static_cast<std::uint64_t>(now.tv_nsec),
                                    static_cast<std::uint64_t>(ticks.tv_nsec), static_cast<std::uint64_t>(getpid()),
                                    reinterpret_cast<std::uintptr_t>(&got)};
    const std::string_view seed(reinterpret_cast<const char*>(noise), sizeof noise);
    return HashKey{sipHash<2, 4>(0, 1, seed), sipHash<2, 4>(2, 3, seed)};
}

}  // namespace

std::uint64_t sipHash13(std::uint64_t k0, std::uint64_t k1, std::string_view bytes)
{
    return sipHash<1, 3>(k0, k1, bytes);
}

std::uint64_t sipHash24(std::uint64_t k0, std::uint64_t k1, std::string_view bytes)
{
    return sipHash<2, 4>(k0, k1, bytes);
}

std::uint64_t nameHash(std::string_view name)
{
    static const HashKey key = drawKey();
    return sipHash<1, 3>(key.k0, key.k1, name);
}

}  // namespace vza
