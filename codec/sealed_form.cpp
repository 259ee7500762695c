#include "codec/sealed_form.h"

#include <algorithm>
#include <cstring>

#include "archive/data_buffer.h"
#include "archive/format.h"
#include "codec/blowfish.h"

namespace vza {

bool openSealPrefix(const CipherState& key, const std::uint8_t* firstBlock, std::uint64_t storedSize,
                    std::uint32_t& length)
{
    std::uint8_t prefix[8];
    std::memcpy(prefix, firstBlock, sizeof prefix);
    decryptBlock(key, prefix);
    if (getU32(prefix) != ArchiveMagic)
        return false;
    const std::uint32_t plain = getU32(prefix + 4);
    // Compared as whole numbers: a length near 2^32 must not wrap into a match.
    if (storedSize != static_cast<std::uint64_t>(roundUp8(plain)) + 8)
        return false;
    length = plain;
    return true;
}

bool DataBuffer::encrypt()
{
    const std::size_t plain = bytes.size();
    const std::size_t sealed = static_cast<std::size_t>(roundUp8(static_cast<std::int64_t>(plain))) + 8;
    bytes.resize(sealed, 0);
    std::copy_backward(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(plain),
                       bytes.begin() + static_cast<std::ptrdiff_t>(plain + 8));
    std::fill(bytes.begin() + static_cast<std::ptrdiff_t>(plain + 8), bytes.end(), 0);
    putU32(ArchiveMagic, bytes.data());
    putU32(static_cast<std::uint32_t>(plain), bytes.data() + 4);
    encryptBuffer(bytes.data(), bytes.size());
    info.storedSize = static_cast<std::uint32_t>(bytes.size());
    return true;
}

bool DataBuffer::decrypt()
{
    std::uint32_t plain = 0;
    if (bytes.size() < 8 || !openSealPrefix(cipherState(), bytes.data(), bytes.size(), plain))
        return false;
    bytes.erase(bytes.begin(), bytes.begin() + 8);
    decryptBuffer(bytes.data(), bytes.size());
    bytes.resize(plain);
    info.storedSize = plain;
    return true;
}

}  // namespace vza
