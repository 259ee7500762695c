// SPDX-License-Identifier: MIT
// The rules for the components of a path, written once for every caller:
// entry names taken from an archive, names given to `vza create`, and output
// paths under the extraction folder.
//
// A component is what lies between two separators. Only components that
// are neither empty, "." nor ".." name a step of their own; a name with a
// leading slash or a drive prefix ("C:") is anchored outside any folder it
// is meant to stay in. The length limits are those of the file systems the
// output lands on.
#pragma once

#include <climits>
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace vza {

// Whether a backslash separates components (names as archives store them,
// written on Windows) or is a byte like any other (names on this system).
enum class Backslash { IsByte, IsSeparator };

// The components of name, in order, empty ones included: "a//b/" gives
// "a", "", "b", "". The views point into name.
std::vector<std::string_view> splitComponents(std::string_view name, Backslash backslash);

enum class ComponentKind {
    Name,    // a step of its own
    Empty,   // "" (from "a//b", a leading or a trailing slash)
    Dot,     // "."
    DotDot,  // "..": a step up, out of the folder
};
ComponentKind componentKind(std::string_view component);

// The components that are steps of their own, joined by '/': the name with
// empty, "." and ".." components left out; "" when none is left.
std::string joinNameComponents(const std::vector<std::string_view>& components);

// True when name starts with a slash.
bool startsAtRoot(std::string_view name);

// True when name starts with a drive prefix: a letter and a colon, "C:".
bool hasDrivePrefix(std::string_view name);

// Length limits. A component longer than MaxComponentLength cannot be
// created; a path of MaxPathLength bytes or more cannot be passed to the
// system; names of more than MaxComponents components are refused before
// any folder is walked for them.
inline constexpr std::size_t MaxComponentLength = NAME_MAX;
inline constexpr std::size_t MaxPathLength = PATH_MAX;
inline constexpr std::size_t MaxComponents = 256;

// The rule for every name stored in a new archive: name (slashes only,
// backslashes already turned into slashes) is not empty, does not start with
// '/' and has no empty, "." or ".." component.
bool safeStoredName(std::string_view name);

bool componentLengthFits(std::string_view component);
bool pathLengthFits(std::string_view path);
bool componentCountFits(std::size_t count);

}  // namespace vza
