// SPDX-License-Identifier: MIT
// The initial Blowfish tables that every key schedule starts from.
#pragma once

#include <cstddef>
#include <cstdint>

namespace vza {

// 18 P-array words followed by the 1024 S-box words (S0, S1, S2, S3).
inline constexpr std::size_t blowfishInitialWords = 18 + 4 * 256;
extern const std::uint32_t blowfishInitialTables[blowfishInitialWords];

}  // namespace vza
