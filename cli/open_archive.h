// Opening the archive a command works on, with its password when needed.
#pragma once

#include <string>

#include "archive/archive.h"
#include "cli/console.h"
#include "cli/options.h"

namespace vza::cli {

// Opens path into archive once: probes its flags, obtains the password when
// it is encrypted (see password.h) and loads the index. On failure prints
// why ("vza: a.vza: wrong password or damaged header") and returns false.
bool openArchive(const std::string& path, const Options& options, Console& console, Archive& archive);

}  // namespace vza::cli
