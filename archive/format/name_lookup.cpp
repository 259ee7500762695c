// SPDX-License-Identifier: MIT
#include "vza/archive/format/name_lookup.h"

#include "vza/archive/fs/name_hash.h"

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

NameLookup::NameLookup(const NameLookup& other)
{
    *this = other;
}

NameLookup& NameLookup::operator=(const NameLookup& other)
{
    if (this == &other)
        return *this;
    std::scoped_lock both(mutex_, other.mutex_);
    slots_ = other.slots_;
    used_ = other.used_;
    built_.store(other.built_.load(std::memory_order_relaxed), std::memory_order_relaxed);
    return *this;
}

void NameLookup::clear()
{
    std::lock_guard lock(mutex_);
    built_.store(false, std::memory_order_relaxed);
    slots_.clear();
    slots_.shrink_to_fit();
    used_ = 0;
}

void NameLookup::rebuild(const EntryRecords& entries)
{
    std::lock_guard lock(mutex_);
    build(entries);
}

void NameLookup::build(const EntryRecords& entries) const
{
    std::size_t capacity = 16;
    while (capacity < entries.size() * 2)
        capacity *= 2;
    slots_.assign(capacity, Slot{-1, 0});
    used_ = 0;
    for (std::size_t i = 0; i < entries.size(); ++i)
        insert(entries, static_cast<std::int32_t>(i));
    built_.store(true, std::memory_order_release);
}

void NameLookup::append(const EntryRecords& entries)
{
    std::lock_guard lock(mutex_);
    // Not built yet: the first find() builds it with this entry in it.
    if (!built_.load(std::memory_order_relaxed))
        return;
    if ((used_ + 1) * 2 > slots_.size()) {
        build(entries);
        return;
    }
    insert(entries, static_cast<std::int32_t>(entries.size() - 1));
}

void NameLookup::insert(const EntryRecords& entries, std::int32_t index) const
{
    const std::string_view name = entries.name(static_cast<std::size_t>(index));
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
        if (held.tag == tag && entries.name(static_cast<std::size_t>(held.index)) == name)
            return;
    }
}

std::int32_t NameLookup::find(const EntryRecords& entries, std::string_view name) const
{
    if (entries.empty())
        return -1;
    if (!built_.load(std::memory_order_acquire)) {
        std::lock_guard lock(mutex_);
        if (!built_.load(std::memory_order_relaxed))
            build(entries);
    }
    const std::uint64_t hash = hashName(name);
    const std::uint32_t tag = tagOf(hash);
    const std::size_t mask = slots_.size() - 1;
    for (std::size_t slot = static_cast<std::size_t>(hash) & mask;; slot = (slot + 1) & mask) {
        const Slot held = slots_[slot];
        if (held.index < 0)
            return -1;
        if (held.tag == tag && entries.name(static_cast<std::size_t>(held.index)) == name)
            return held.index;
    }
}

}  // namespace vza
