// SPDX-License-Identifier: MIT
#include "vza/archive/format/entry_check.h"

#include "vza/archive/format/format.h"
#include "vza/codec/sealed_form.h"

namespace vza {

bool entryBytesChecked(std::uint32_t flags, const EntryView& entry)
{
    if ((flags & FlagCompressed) == 0)
        return false;
    const std::uint64_t plainStored =
        (flags & FlagEncrypted) != 0 ? sealedLength(entry.originalSize) : std::uint64_t{entry.originalSize};
    return entry.storedSize != plainStored;
}

void CheckTally::add(std::uint32_t flags, const EntryView& entry, bool read)
{
    if (!read)
        ++failed;
    else if (entryBytesChecked(flags, entry))
        ++checked;
    else
        ++unchecked;
}

}  // namespace vza
