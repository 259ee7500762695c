// SPDX-License-Identifier: MIT
#include "vza/archive/extract/output_conflicts.h"

#include <algorithm>
#include <vector>

#include "vza/archive/fs/name_hash.h"

namespace vza {
namespace {

constexpr std::uint64_t Prime = 0x100000001b3ull;

std::uint64_t step(std::uint64_t hash, unsigned char byte)
{
    if (byte >= 'A' && byte <= 'Z')
        byte = static_cast<unsigned char>(byte - 'A' + 'a');
    return (hash ^ byte) * Prime;
}

// The running hash mixed well enough for a table keyed by its low bits.
std::uint64_t keyOf(std::uint64_t hash)
{
    hash ^= hash >> 33;
    hash *= 0xff51afd7ed558ccdull;
    hash ^= hash >> 33;
    hash *= 0xc4ceb9fe1a85ec53ull;
    return hash ^ (hash >> 33);
}

}  // namespace

OutputConflicts::OutputConflicts() : seed_(nameHash("output conflicts") | 1) {}

void OutputConflicts::clear()
{
    files_.clear();
    folders_.clear();
}

// The key of the path folder + '/' + leaf; prefixes gets the keys of every
// folder on the way, shallowest first.
std::uint64_t OutputConflicts::keys(const FolderPath& folder, std::string_view leaf,
                                    std::vector<std::uint64_t>& prefixes) const
{
    prefixes.clear();
    std::uint64_t hash = seed_;
    std::size_t at = 0;
    for (const std::size_t end : folder.ends) {
        for (; at < end; ++at)
            hash = step(hash, static_cast<unsigned char>(folder.text[at]));
        prefixes.push_back(keyOf(hash));
        hash = step(hash, '/');
        ++at;  // past the separator
    }
    for (const char c : leaf)
        hash = step(hash, static_cast<unsigned char>(c));
    return keyOf(hash);
}

void OutputConflicts::note(std::int64_t position, const FolderPath& folder, std::string_view leaf)
{
    thread_local std::vector<std::uint64_t> prefixes;
    std::int64_t& last = files_.try_emplace(keys(folder, leaf, prefixes), position).first->second;
    last = std::max(last, position);
}

OutputConflicts::Verdict OutputConflicts::add(std::int64_t position, const FolderPath& folder, std::string_view leaf)
{
    Verdict verdict;
    if (files_.size() + folders_.size() >= MaxKeys) {
        clear();
        verdict.everything = true;
    }
    thread_local std::vector<std::uint64_t> prefixes;
    const std::uint64_t path = keys(folder, leaf, prefixes);

    // A file made earlier where this entry needs a folder.
    for (const std::uint64_t prefix : prefixes) {
        if (const auto found = files_.find(prefix); found != files_.end() && found->second > verdict.after)
            verdict.after = found->second;
    }
    // The same path written earlier.
    if (const auto found = files_.find(path); found != files_.end()) {
        verdict.seen = true;
        if (found->second > verdict.after)
            verdict.after = found->second;
    }
    // A folder made earlier where this entry wants its file: which entry
    // made it is not kept (it would cost a key per entry and folder), so it
    // waits for all of them. Rare outside hostile archives.
    if (folders_.count(path) != 0) {
        verdict.seen = true;
        verdict.everything = true;
    }

    files_[path] = position;
    // Deepest first: a folder already known has its parents known too.
    for (auto prefix = prefixes.rbegin(); prefix != prefixes.rend(); ++prefix) {
        if (!folders_.insert(*prefix).second)
            break;
    }
    return verdict;
}

}  // namespace vza
