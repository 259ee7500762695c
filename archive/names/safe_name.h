// SPDX-License-Identifier: MIT
// Turning a stored entry name into a path that stays inside the output folder.
#pragma once

#include <string>
#include <string_view>

namespace vza {

// Backslashes become slashes; leading slashes and a drive prefix such as
// "C:" are dropped; empty, "." and ".." components are removed.
// "../x" -> "x", "/etc/x" -> "etc/x", "a/../../b" -> "a/b". The result is ""
// when nothing is left.
std::string safeOutputName(std::string_view name);

// Whether name can be the last component of an output path as it is: not
// empty, ".", or "..", no '/' or NUL, at most MaxComponentLength bytes.
// For a name a user gives a file in a folder (an overwrite question's
// "rename"): nothing is taken out of it, it is refused instead.
bool safeLeafName(std::string_view name);

}  // namespace vza
