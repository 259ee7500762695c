#include "archive/name_lookup.h"

#include "archive/name_hash.h"

namespace vza {

namespace {

// Keyed per process, so an archive cannot pick names that share a slot.
// The low bits choose the slot, the high ones are the slot's tag.
std::uint64_t hashName(std::string_view name)
{
    return nameHash(name);
}

std::uint32_t tagOf(std::uint64_t hash)
{
    return static_cast<std::uint32_t>(hash >> 32);
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
    slots_.assign(capacity, Slot{-1, 0});
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
    const std::uint64_t hash = hashName(name);
    const std::uint32_t tag = tagOf(hash);
    const std::size_t mask = slots_.size() - 1;
    for (std::size_t slot = static_cast<std::size_t>(hash) & mask;; slot = (slot + 1) & mask) {
        const Slot held = slots_[slot];
        if (held.index < 0) {
            slots_[slot] = Slot{index, tag};
            ++used_;
            return;
        }
        // Entries are inserted in index order, so the one already held is
        // the first of that name and wins.
        if (held.tag == tag && entries[static_cast<std::size_t>(held.index)].name == name)
            return;
    }
}

std::int32_t NameLookup::find(const std::vector<ArchiveEntry>& entries, std::string_view name) const
{
    if (slots_.empty())
        return -1;
    const std::uint64_t hash = hashName(name);
    const std::uint32_t tag = tagOf(hash);
    const std::size_t mask = slots_.size() - 1;
    for (std::size_t slot = static_cast<std::size_t>(hash) & mask;; slot = (slot + 1) & mask) {
        const Slot held = slots_[slot];
        if (held.index < 0)
            return -1;
        if (held.tag == tag && entries[static_cast<std::size_t>(held.index)].name == name)
            return held.index;
    }
}

}  // namespace vza
