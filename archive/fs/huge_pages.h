// SPDX-License-Identifier: MIT
// Large arrays filled at once, backed by huge pages where the kernel agrees.
#pragma once

#include <cstddef>
#include <vector>

namespace vza {

// Asks the kernel to back the whole 2 MiB pages inside [data, data + bytes)
// with huge pages when they are first touched. A million-entry index fills
// tens of MiB at once; in 4 KiB pages each fault costs about as much as the
// parsing it makes room for. Only advice: where the kernel declines, nothing
// changes but the speed.
void preferHugePages(const void* data, std::size_t bytes);

// items.reserve(count), then preferHugePages on the whole capacity.
template <typename T>
void reserveLarge(std::vector<T>& items, std::size_t count)
{
    items.reserve(count);
    preferHugePages(items.data(), items.capacity() * sizeof(T));
}

}  // namespace vza
