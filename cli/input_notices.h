// SPDX-License-Identifier: MIT
// What vza says about the files it finds while walking the inputs of
// create and add (see InputTree).
#pragma once

#include "cli/console.h"
#include "vza/archive/write/input_tree.h"

namespace vza::cli {

// Prints notice as an error or a warning; true when it counts as a problem
// (exit 1 at the end).
bool reportInputNotice(Console& console, const InputTree::Notice& notice);

// True when notice means a file the user named cannot go into the archive at
// all (unreadable, a refused name, too large), rather than something left
// out on purpose (a link, a special file, the archive itself).
bool inputFailed(const InputTree::Notice& notice);

}  // namespace vza::cli
