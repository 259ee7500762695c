// SPDX-License-Identifier: MIT
// Generated contents: the same seed always gives the same bytes.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace vza::test {

using Bytes = std::vector<std::uint8_t>;

Bytes bytesOf(std::string_view text);

// Bytes that zlib cannot shrink.
Bytes randomBytes(std::size_t length, std::uint32_t seed);

// Text-like bytes that zlib shrinks well (words from a small vocabulary,
// one of them in Japanese), as documentation or source code would be.
std::string compressible(std::size_t length, std::uint32_t seed = 1);
Bytes compressibleBytes(std::size_t length, std::uint32_t seed = 1);

}  // namespace vza::test
