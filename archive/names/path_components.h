// SPDX-License-Identifier: MIT
// The rules for the components of a path: what a component is, which ones
// name a step of their own, and how long they may be. Entry names taken from
// an archive (name_verdict.h, safe_name.h), names given to `vza create`
// (InputTree) and output paths under the extraction folder (the engine)
// are judged by these calls; the limits themselves are in limits.h.
//
// A component is what lies between two separators. Only components that
// are neither empty, "." nor ".." name a step of their own; a name with a
// leading slash or a drive prefix ("C:") is anchored outside any folder it
// is meant to stay in. The length limits are those of the file systems the
// output lands on.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "vza/archive/format/limits.h"
#include "vza/archive/fs/folder_walk.h"

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

// An output path judged and taken apart by splitOutputPath.
struct OutputPath {
    FolderPath folder;      // the components but the last
    std::string leaf;       // the last component: the file's name
    bool absolute = false;  // it starts at '/' (only where climbing is allowed)
    bool climbs = false;    // absolute, or a ".." on the way: it may name what
                            // a path of other words names
};

enum class OutputPathProblem {
    None,
    NamesAFolder,       // the last component is empty, "." or ".."
    Climbs,             // a ".." where climbing is not allowed
    TooManyComponents,  // more than MaxComponents components
    ComponentTooLong,   // a component of more than MaxComponentLength bytes
};

// Takes path apart at '/' into out, leaving empty and "." components out,
// and judges it component by component, reporting the first problem met.
// With mayClimb (paths a user typed), ".." steps up and a leading '/' makes
// the path absolute; without it (names from data), ".." is refused and a
// leading '/' is an empty component. The whole length and NUL bytes are
// the caller's to check.
OutputPathProblem splitOutputPath(std::string_view path, bool mayClimb, OutputPath& out);

// The rule for every name stored in a new archive: name (slashes only,
// backslashes already turned into slashes) is not empty, does not start with
// '/' and has no empty, "." or ".." component.
bool safeStoredName(std::string_view name);

bool componentLengthFits(std::string_view component);
bool pathLengthFits(std::string_view path);
bool componentCountFits(std::size_t count);

}  // namespace vza
