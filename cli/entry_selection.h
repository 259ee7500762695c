// SPDX-License-Identifier: MIT
// Which entries a command works on: NAME, folder and PATTERN operands, -x
// excludes.
//
// Operands are matched as typed against the names as list shows them, not
// byte for byte: an operand and a stored name are both read as text (a
// stored name in the archive's encoding, an operand as UTF-8, or in the
// archive's encoding when it is not UTF-8) and every backslash taken as a
// slash. So 'ソフト\ソース.c' and 'ソフト/ソース.c' both find a Shift_JIS
// entry, and an entry stored as 'plain\x.txt' is found by 'plain/x.txt', the
// path extract writes it to. (Archive::find keeps its byte-wise rule.)
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "cli/console.h"
#include "cli/entry_names.h"
#include "cli/options.h"

namespace vza::cli {

// Whether a name given on the command line is a shell pattern: it holds
// *, ? or [.
bool isPattern(const std::string& name);

// Whether create's -x pattern leaves out the file or folder stored as path:
// pattern is, or matches (fnmatch, '*' matching '/' too), the whole path or
// any trailing part of it that starts at a component ("b/c" and "c" of
// "a/b/c", never "c" of "a/bc"), as tar's --exclude does.
bool excludesPath(const std::string& pattern, std::string_view path);

// What an operand naming an entry exactly picks when several entries share
// that name: the first, as Archive::find would (extract, test, list), or
// every one (delete).
enum class SameName { First, Every };

// The indices, in index order, of the entries that operands choose (every
// entry when operands is empty), less those an exclude matches.
//
// An operand picks the entry of exactly its name (see sameName) and, as a
// folder, every entry under it ('proj/src' and 'proj/src/' pick
// 'proj/src/a.c'). One that picks nothing this way and holds * ? or [ is a
// shell pattern (fnmatch, '*' matching '/' too) picking every entry it
// matches. Each operand that picks nothing is reported as an error and
// counted in misses. An exclude leaves out every entry whose name it is or
// matches as a pattern.
std::vector<std::int32_t> selectEntries(const EntryNames& names, const std::vector<std::string>& operands,
                                        const std::vector<std::string>& excludes, SameName sameName, Console& console,
                                        int& misses);

// selectEntries for a command line: the operands after ARCHIVE, and its -x.
std::vector<std::int32_t> selectOperands(const EntryNames& names, const Options& options, SameName sameName,
                                         Console& console, int& misses);

}  // namespace vza::cli
