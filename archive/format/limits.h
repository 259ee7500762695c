// SPDX-License-Identifier: MIT
// The limits on names and on what one extraction may make, in one place:
// what `vza create` refuses to store and what extraction refuses to write
// are the same numbers.
//
// Components and lengths are those of the file systems the output lands on
// (Linux's NAME_MAX and PATH_MAX); a name of more than MaxComponents
// components is refused before any folder is walked for it, so a hostile
// name of 2 000 levels costs one pass over its bytes. The folder bound keeps
// an archive of a few megabytes from making millions of folders and using
// up a file system's inodes (an extraction's zlib bomb, in folders).
#pragma once

#include <climits>
#include <cstddef>
#include <cstdint>

namespace vza {

// A component longer than this cannot be created.
inline constexpr std::size_t MaxComponentLength = NAME_MAX;
// A path of this many bytes or more cannot be passed to the system (the
// count includes the terminating NUL).
inline constexpr std::size_t MaxPathLength = PATH_MAX;
// Names of more components than this are neither stored nor written.
inline constexpr std::size_t MaxComponents = 256;

// Folders one extraction run may make: the larger of this and the number
// of entries it writes, and never more than half the file system's free
// inodes.
inline constexpr std::uint64_t MaxFoldersPerRun = 100000;

}  // namespace vza
