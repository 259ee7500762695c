// SPDX-License-Identifier: MIT
#include "vza/codec/sealed_form.h"

#include <algorithm>
#include <cstring>

#include "vza/codec/blowfish.h"
#include "vza/codec/byte_order.h"

namespace vza {

bool openSealPrefix(const CipherState& key, const std::uint8_t* firstBlock, std::uint64_t storedSize,
                    std::uint32_t& length)
{
    std::uint8_t prefix[8];
    std::memcpy(prefix, firstBlock, sizeof prefix);
    decryptBlock(key, prefix);
    if (loadBigEndian32(prefix) != SealMagic)
        return false;
    const std::uint32_t plain = loadBigEndian32(prefix + 4);
    // Compared as whole numbers: a length near 2^32 must not wrap into a match.
    if (storedSize != sealedLength(plain))
        return false;
    length = plain;
    return true;
}

void seal(std::vector<std::uint8_t>& bytes)
{
    // In place, so that a large entry is not held twice.
    const std::size_t plain = bytes.size();
    bytes.resize(static_cast<std::size_t>(sealedLength(plain)), 0);
    std::copy_backward(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(plain),
                       bytes.begin() + static_cast<std::ptrdiff_t>(plain + 8));
    std::fill(bytes.begin() + static_cast<std::ptrdiff_t>(plain + 8), bytes.end(), 0);
    storeBigEndian32(SealMagic, bytes.data());
    storeBigEndian32(static_cast<std::uint32_t>(plain), bytes.data() + 4);
    encryptBuffer(bytes.data(), bytes.size());
}

bool unseal(std::vector<std::uint8_t>& bytes)
{
    std::uint32_t plain = 0;
    if (bytes.size() < 8 || !openSealPrefix(cipherState(), bytes.data(), bytes.size(), plain))
        return false;
    bytes.erase(bytes.begin(), bytes.begin() + 8);
    decryptBuffer(bytes.data(), bytes.size());
    bytes.resize(plain);
    return true;
}

}  // namespace vza
