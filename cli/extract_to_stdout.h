// SPDX-License-Identifier: MIT
// vza extract -O: the chosen entries' bytes, one after another, on stdout.
#pragma once

#include <cstdint>
#include <vector>

#include "cli/console.h"
#include "cli/entry_names.h"
#include "cli/open_archive.h"

namespace vza::cli {

// Writes the entries chosen (in index order) to standard output as they
// are read. An entry's bytes go out before its last checks (the zlib
// stream's Adler-32, its length) are done, as with gzip -dc: when a check
// then fails, the entry is reported and the status is not 0, and what was
// written of it must not be trusted. failures counts the problems found
// before. Returns the exit status.
int extractToStdout(ArchiveInput& archive, const EntryNames& names, const std::vector<std::int32_t>& chosen,
                    Console& console, int failures);

}  // namespace vza::cli
