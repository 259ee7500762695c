// SPDX-License-Identifier: MIT
// DataBuffer's codec calls: thin wrappers over codec/ that keep info's sizes
// in step with the bytes.
#include "vza/archive/format/data_buffer.h"

#include "vza/codec/sealed_form.h"
#include "vza/codec/zlib_codec.h"

namespace vza {

bool DataBuffer::encrypt()
{
    seal(bytes);
    info.storedSize = static_cast<std::uint32_t>(bytes.size());
    return true;
}

bool DataBuffer::decrypt()
{
    if (!unseal(bytes))
        return false;
    info.storedSize = static_cast<std::uint32_t>(bytes.size());
    return true;
}

bool DataBuffer::compress()
{
    std::vector<std::uint8_t> stream;
    if (!deflateBytes(bytes, stream))
        return false;
    if (stream.size() < bytes.size()) {
        bytes = std::move(stream);
        info.storedSize = static_cast<std::uint32_t>(bytes.size());
    }
    return true;
}

bool DataBuffer::decompress()
{
    // Sizes in an archive are 32-bit: no entry can be, or inflate to, more.
    std::vector<std::uint8_t> plain;
    if (bytes.size() > UINT32_MAX || !inflateBytes(bytes, UINT32_MAX, plain))
        return false;
    bytes = std::move(plain);
    info.originalSize = info.storedSize = static_cast<std::uint32_t>(bytes.size());
    return true;
}

}  // namespace vza
