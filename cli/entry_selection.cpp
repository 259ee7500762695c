// SPDX-License-Identifier: MIT
#include "cli/entry_selection.h"

#include <fnmatch.h>

#include "cli/display_name.h"

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

bool matches(const std::string& pattern, const std::string& text)
{
    return pattern == text || (isPattern(pattern) && fnmatch(pattern.c_str(), text.c_str(), 0) == 0);
}

// The first entry whose stored name, or else whose text, is name; -1 when none.
std::int32_t findExact(const EntryTable& table, const EntryNames& entryNames, const std::string& name)
{
    const std::int32_t stored = table.find(name);
    if (stored >= 0)
        return stored;
    for (std::int32_t i = 0; i < table.count(); ++i) {
        if (entryNames.text(i) == name)
            return i;
    }
    return -1;
}

}  // namespace

std::vector<std::int32_t> selectEntries(const EntryTable& table, const EntryNames& entryNames,
                                        const std::vector<std::string>& names, const std::vector<std::string>& excludes,
                                        Console& console, int& misses)
{
    const std::int32_t count = table.count();
    std::vector<bool> picked(static_cast<std::size_t>(count), names.empty());
    for (const std::string& name : names) {
        const std::int32_t exact = findExact(table, entryNames, name);
        if (exact >= 0) {
            picked[static_cast<std::size_t>(exact)] = true;
            continue;
        }
        bool matched = false;
        if (isPattern(name)) {
            for (std::int32_t i = 0; i < count; ++i) {
                if (fnmatch(name.c_str(), entryNames.text(i).c_str(), 0) == 0) {
                    picked[static_cast<std::size_t>(i)] = true;
                    matched = true;
                }
            }
        }
        if (!matched) {
            console.error(quoted(name) + (isPattern(name) ? ": no entry matches" : ": not in the archive"));
            ++misses;
        }
    }
    std::vector<std::int32_t> chosen;
    for (std::int32_t i = 0; i < count; ++i) {
        if (!picked[static_cast<std::size_t>(i)])
            continue;
        bool excluded = false;
        if (!excludes.empty()) {
            const std::string text = entryNames.text(i);
            for (const std::string& pattern : excludes)
                excluded = excluded || matches(pattern, text);
        }
        if (!excluded)
            chosen.push_back(i);
    }
    return chosen;
}

}  // namespace vza::cli
