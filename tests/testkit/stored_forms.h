// SPDX-License-Identifier: MIT
// The library's stored forms of plain bytes, for tests of the codec and of
// damaged entries.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace vza::test {

using Bytes = std::vector<std::uint8_t>;

// Keys the process-wide cipher with the bytes of password.
void keyCipher(const std::string& password);

// A zlib stream of plain (kept only when shorter, as the writer does).
Bytes zlibStream(const Bytes& plain);

// bytes sealed under key (keys the cipher with key).
Bytes sealedForm(const Bytes& bytes, const std::string& key);

// For contrast, a gzip stream, which the format does not accept.
Bytes gzipStream(const Bytes& plain);

}  // namespace vza::test
