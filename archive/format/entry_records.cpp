// SPDX-License-Identifier: MIT
#include "vza/archive/format/entry_records.h"

#include "vza/archive/fs/huge_pages.h"

namespace vza {

void EntryRecords::reserve(std::size_t count, std::size_t nameBytes)
{
    reserveLarge(records_, records_.size() + count);
    names_.reserve(names_.size() + nameBytes);
    preferHugePages(names_.data(), names_.capacity());
}

void EntryRecords::clear()
{
    std::string().swap(names_);
    std::vector<Record>().swap(records_);
}

}  // namespace vza
