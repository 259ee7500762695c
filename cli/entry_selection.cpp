#include "cli/entry_selection.h"

#include <fnmatch.h>

#include "cli/display_name.h"

namespace vza::cli {
namespace {

bool isPattern(const std::string& name)
{
    return name.find_first_of("*?[") != std::string::npos;
}

}  // namespace

std::vector<std::int32_t> selectEntries(const EntryTable& archive, const std::vector<std::string>& names,
                                        Console& console, int& misses)
{
    const std::int32_t count = archive.count();
    std::vector<std::int32_t> chosen;
    if (names.empty()) {
        chosen.reserve(static_cast<std::size_t>(count));
        for (std::int32_t i = 0; i < count; ++i)
            chosen.push_back(i);
        return chosen;
    }
    std::vector<bool> picked(static_cast<std::size_t>(count), false);
    for (const std::string& name : names) {
        const std::int32_t exact = archive.find(name);
        if (exact >= 0) {
            picked[static_cast<std::size_t>(exact)] = true;
            continue;
        }
        bool matched = false;
        if (isPattern(name)) {
            for (std::int32_t i = 0; i < count; ++i) {
                if (fnmatch(name.c_str(), archive.at(i)->name.c_str(), 0) == 0) {
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
    for (std::int32_t i = 0; i < count; ++i) {
        if (picked[static_cast<std::size_t>(i)])
            chosen.push_back(i);
    }
    return chosen;
}

}  // namespace vza::cli
