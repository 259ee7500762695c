// SPDX-License-Identifier: MIT
// Which entries a command works on: NAME and PATTERN operands, -x excludes.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "cli/console.h"
#include "cli/entry_names.h"
#include "vza/archive/format/entry_table.h"

namespace vza::cli {

// Whether a name given on the command line is a shell pattern: it holds
// *, ? or [.
bool isPattern(const std::string& name);

// Whether create's -x pattern leaves out the file or folder stored as path:
// pattern is, or matches (fnmatch, '*' matching '/' too), the whole path or
// any trailing part of it that starts at a component ("b/c" and "c" of
// "a/b/c", never "c" of "a/bc"), as tar's --exclude does.
bool excludesPath(const std::string& pattern, std::string_view path);

// The indices, in index order, of the entries that names choose (every
// entry when names is empty), less those an exclude matches.
//
// A name that the archive holds exactly, as stored or as its text, picks
// the first entry of that name (as Archive::find does); otherwise a name
// holding * ? or [ is a shell pattern (fnmatch, '*' matching '/' too)
// picking every entry whose text it matches. Each name that picks nothing
// is reported as an error and counted in misses. An exclude leaves out
// every entry whose text it matches as a pattern or equals.
std::vector<std::int32_t> selectEntries(const EntryTable& table, const EntryNames& entryNames,
                                        const std::vector<std::string>& names, const std::vector<std::string>& excludes,
                                        Console& console, int& misses);

}  // namespace vza::cli
