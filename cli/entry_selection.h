// Which entries "vza extract" works on.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "archive/entry_table.h"
#include "cli/console.h"

namespace vza::cli {

// The indices, in index order, of the entries that names choose: every
// entry when names is empty. A name that the archive holds exactly picks the
// first entry of that name (as Archive::find does); otherwise a name holding
// * ? or [ is a shell pattern (fnmatch, '*' matching '/' too) picking every
// entry it matches. Each name that picks nothing is reported as an error and
// counted in misses.
std::vector<std::int32_t> selectEntries(const EntryTable& archive, const std::vector<std::string>& names,
                                        Console& console, int& misses);

}  // namespace vza::cli
