#include "archive/name_lookup.h"

#include "archive/name_hash.h"

namespace vza {

namespace {

// Keyed per process, so an archive cannot pick names that share a slot.
std::size_t hashName(std::string_view name)
{
    return static_cast<std::size_t>(nameHash(name));
}

}  // namespace

void NameLookup::clear()
{
    slots_.clear();
    used_ = 0;
}

void NameLookup::rebuild(const std::vector<ArchiveEntry>& entries)
{
    std::size_t capacity = 16;
    while (capacity < entries.size() * 2)
        capacity *= 2;
    slots_.assign(capacity, -1);
    used_ = 0;
    for (std::size_t i = 0; i < entries.size(); ++i)
        insert(entries, static_cast<std::int32_t>(i));
}

void NameLookup::append(const std::vector<ArchiveEntry>& entries)
{
    if (slots_.empty() || (used_ + 1) * 2 > slots_.size()) {
        rebuild(entries);
        return;
    }
    insert(entries, static_cast<std::int32_t>(entries.size() - 1));
}

void NameLookup::insert(const std::vector<ArchiveEntry>& entries, std::int32_t index)
{
    const std::string& name = entries[static_cast<std::size_t>(index)].name;
    const std::size_t mask = slots_.size() - 1;
    for (std::size_t slot = hashName(name) & mask;; slot = (slot + 1) & mask) {
        const std::int32_t held = slots_[slot];
        if (held < 0) {
            slots_[slot] = index;
            ++used_;
            return;
        }
        // Entries are inserted in index order, so the one already held is
        // the first of that name and wins.
        if (entries[static_cast<std::size_t>(held)].name == name)
            return;
    }
}

std::int32_t NameLookup::find(const std::vector<ArchiveEntry>& entries, std::string_view name) const
{
    if (slots_.empty())
        return -1;
    const std::size_t mask = slots_.size() - 1;
    for (std::size_t slot = hashName(name) & mask;; slot = (slot + 1) & mask) {
        const std::int32_t held = slots_[slot];
        if (held < 0)
            return -1;
        if (entries[static_cast<std::size_t>(held)].name == name)
            return held;
    }
}

}  // namespace vza
