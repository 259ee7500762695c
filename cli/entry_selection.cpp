// SPDX-License-Identifier: MIT
#include "cli/entry_selection.h"

#include <fnmatch.h>
#include <unordered_map>

#include "cli/display_name.h"
#include "vza/archive/format/format.h"

namespace vza::cli {

bool isPattern(const std::string& name)
{
    return name.find_first_of("*?[") != std::string::npos;
}

bool excludesPath(const std::string& pattern, std::string_view path)
{
    const bool wild = isPattern(pattern);
    for (std::size_t start = 0;;) {
        const std::string part(path.substr(start));
        if (part == pattern || (wild && fnmatch(pattern.c_str(), part.c_str(), 0) == 0))
            return true;
        const std::size_t slash = path.find('/', start);
        if (slash == std::string_view::npos)
            return false;
        start = slash + 1;
    }
}

namespace {

std::string_view withoutTrailingSlashes(std::string_view key)
{
    while (key.size() > 1 && key.back() == '/')
        key.remove_suffix(1);
    return key;
}

bool matches(const std::string& pattern, const std::string& key)
{
    return pattern == key || (isPattern(pattern) && fnmatch(pattern.c_str(), key.c_str(), 0) == 0);
}

// The operands, each as the key it is compared by, and what each picked.
class Operands {
public:
    Operands(const EntryNames& names, const std::vector<std::string>& operands) : keys_(operands.size())
    {
        for (std::size_t n = 0; n < operands.size(); ++n) {
            keys_[n] = names.operandKey(operands[n]);
            byName_[std::string(withoutTrailingSlashes(keys_[n]))].push_back(n);
        }
        picked_.assign(operands.size(), false);
        exactTaken_.assign(operands.size(), false);
    }

    // Whether the entry of key is picked by name: as itself, or under one
    // of its folders.
    bool pickByName(const std::string& key, SameName sameName)
    {
        bool chosen = false;
        if (const auto found = byName_.find(std::string(withoutTrailingSlashes(key))); found != byName_.end()) {
            for (const std::size_t n : found->second) {
                if (sameName == SameName::First && exactTaken_[n])
                    continue;
                exactTaken_[n] = picked_[n] = chosen = true;
            }
        }
        for (std::size_t slash = key.find('/'); slash != std::string::npos; slash = key.find('/', slash + 1)) {
            if (slash == 0)
                continue;
            if (const auto found = byName_.find(key.substr(0, slash)); found != byName_.end()) {
                for (const std::size_t n : found->second)
                    picked_[n] = chosen = true;
            }
        }
        return chosen;
    }

    // The operands that picked nothing by name and are patterns.
    std::vector<std::size_t> patternsLeft(const std::vector<std::string>& operands) const
    {
        std::vector<std::size_t> left;
        for (std::size_t n = 0; n < operands.size(); ++n) {
            if (!picked_[n] && isPattern(operands[n]))
                left.push_back(n);
        }
        return left;
    }

    const std::string& key(std::size_t n) const { return keys_[n]; }
    bool picked(std::size_t n) const { return picked_[n]; }
    void pick(std::size_t n) { picked_[n] = true; }

private:
    std::vector<std::string> keys_;
    std::unordered_map<std::string, std::vector<std::size_t>> byName_;
    std::vector<bool> picked_;
    std::vector<bool> exactTaken_;
};

}  // namespace

std::vector<std::int32_t> selectEntries(const EntryNames& names, const std::vector<std::string>& operands,
                                        const std::vector<std::string>& excludes, SameName sameName, Console& console,
                                        int& misses)
{
    const std::int32_t count = names.table().count();
    std::vector<bool> chosen(static_cast<std::size_t>(count), operands.empty());
    if (!operands.empty()) {
        Operands given(names, operands);
        for (std::int32_t i = 0; i < count; ++i)
            chosen[static_cast<std::size_t>(i)] = given.pickByName(names.key(i), sameName);
        for (const std::size_t n : given.patternsLeft(operands)) {
            for (std::int32_t i = 0; i < count; ++i) {
                if (fnmatch(given.key(n).c_str(), names.key(i).c_str(), 0) == 0) {
                    chosen[static_cast<std::size_t>(i)] = true;
                    given.pick(n);
                }
            }
        }
        for (std::size_t n = 0; n < operands.size(); ++n) {
            if (given.picked(n))
                continue;
            const std::string& name = operands[n];
            console.error(quoted(name) + (isPattern(name) ? ": no entry matches" : ": not in the archive"));
            ++misses;
        }
    }
    std::vector<std::string> excludeKeys;
    for (const std::string& exclude : excludes)
        excludeKeys.push_back(names.operandKey(exclude));
    std::vector<std::int32_t> selected;
    selected.reserve(static_cast<std::size_t>(count));  // untouched room costs no memory
    for (std::int32_t i = 0; i < count; ++i) {
        if (!chosen[static_cast<std::size_t>(i)])
            continue;
        bool excluded = false;
        if (!excludeKeys.empty()) {
            const std::string key = names.key(i);
            for (const std::string& pattern : excludeKeys)
                excluded = excluded || matches(pattern, key);
        }
        if (!excluded)
            selected.push_back(i);
    }
    return selected;
}

std::vector<std::int32_t> selectOperands(const EntryNames& names, const Options& options, SameName sameName,
                                         Console& console, int& misses)
{
    const std::vector<std::string> operands(options.operands.begin() + 1, options.operands.end());
    return selectEntries(names, operands, options.excludes, sameName, console, misses);
}

}  // namespace vza::cli
