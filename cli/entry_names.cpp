#include "cli/entry_names.h"

#include "cli/display_name.h"

namespace vza::cli {

EntryNames::EntryNames(const EntryTable& table, const std::string&) : table_(table) {}

std::string EntryNames::text(std::int32_t index) const
{
    const ArchiveEntry* entry = table_.at(index);
    return entry != nullptr ? entry->name : std::string();
}

std::string EntryNames::shown(std::int32_t index) const
{
    return displayName(text(index));
}

}  // namespace vza::cli
