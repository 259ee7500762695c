// SPDX-License-Identifier: MIT
#include "vza/archive/fs/huge_pages.h"

#include <cstdint>
#include <sys/mman.h>

namespace vza {

void preferHugePages(const void* data, std::size_t bytes)
{
    constexpr std::uintptr_t Huge = std::uintptr_t{2} << 20;
    const auto begin = (reinterpret_cast<std::uintptr_t>(data) + Huge - 1) & ~(Huge - 1);
    const auto end = (reinterpret_cast<std::uintptr_t>(data) + bytes) & ~(Huge - 1);
    if (end > begin)
        ::madvise(reinterpret_cast<void*>(begin), end - begin, MADV_HUGEPAGE);
}

}  // namespace vza
