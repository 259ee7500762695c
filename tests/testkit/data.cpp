// SPDX-License-Identifier: MIT
#include "testkit/data.h"

#include <cstring>
#include <iterator>
#include <random>

namespace vza::test {
namespace {

// One generator for both return types.
template <typename Container>
Container generateText(std::size_t length, std::uint32_t seed)
{
    static const char* const Words[] = {"archive ", "entry ", "the ",    "compressed ", "stream ", "of ",
                                        "data\n",   "index ", "header ", "key ",        "名前 ",   "0x1D4FD6 "};
    std::mt19937 random(seed);
    Container out;
    out.reserve(length + 16);
    while (out.size() < length) {
        const char* word = Words[random() % std::size(Words)];
        out.insert(out.end(), word, word + std::strlen(word));
    }
    out.resize(length);
    return out;
}

}  // namespace

Bytes bytesOf(std::string_view text)
{
    return Bytes(text.begin(), text.end());
}

Bytes randomBytes(std::size_t length, std::uint32_t seed)
{
    std::mt19937 random(seed);
    Bytes bytes(length);
    for (auto& byte : bytes)
        byte = static_cast<std::uint8_t>(random());
    return bytes;
}

std::string compressible(std::size_t length, std::uint32_t seed)
{
    return generateText<std::string>(length, seed);
}

Bytes compressibleBytes(std::size_t length, std::uint32_t seed)
{
    return generateText<Bytes>(length, seed);
}

}  // namespace vza::test
