// SPDX-License-Identifier: MIT
#include "vza/archive/format/format.h"

#include <algorithm>

#include "vza/codec/byte_order.h"

namespace vza {

void putU32(std::uint32_t value, std::uint8_t* dest)
{
    storeBigEndian32(value, dest);
}

std::uint32_t getU32(const std::uint8_t* src)
{
    return loadBigEndian32(src);
}

std::string toSlashes(std::string_view name)
{
    std::string slashed(name);
    std::replace(slashed.begin(), slashed.end(), '\\', '/');
    return slashed;
}

}  // namespace vza
