#include "archive/format.h"

#include <algorithm>

namespace vza {

void putU32(std::uint32_t value, std::uint8_t* dest)
{
    dest[0] = static_cast<std::uint8_t>(value >> 24);
    dest[1] = static_cast<std::uint8_t>(value >> 16);
    dest[2] = static_cast<std::uint8_t>(value >> 8);
    dest[3] = static_cast<std::uint8_t>(value);
}

std::uint32_t getU32(const std::uint8_t* src)
{
    return (std::uint32_t{src[0]} << 24) | (std::uint32_t{src[1]} << 16) |
           (std::uint32_t{src[2]} << 8) | std::uint32_t{src[3]};
}

std::string toSlashes(std::string name)
{
    std::replace(name.begin(), name.end(), '\\', '/');
    return name;
}

}  // namespace vza
