// SPDX-License-Identifier: MIT
// Entry names made safe to print, and how wide they are on a terminal.
//
// What is escaped is the library's rule (vza/archive/names/display_text.h),
// shared with the desktop program; what is terminal-specific, the columns a
// text takes, is here.
#pragma once

#include <string>
#include <string_view>

#include "vza/archive/names/display_text.h"

namespace vza::cli {

// The library's display rule (see display_text.h), under the names the
// commands use.
inline std::string displayName(std::string_view name)
{
    return displayText(name);
}
inline void appendDisplayName(std::string& out, std::string_view name)
{
    appendDisplayText(out, name);
}

// displayName(name) between single quotes, for messages.
std::string quoted(std::string_view name);

// Call once at start-up: takes the character type from the environment
// (setlocale(LC_CTYPE, "")), so that widths follow the user's terminal.
void initDisplay();

// The number of terminal columns text (UTF-8, as displayName returns it)
// takes: wcwidth when the locale is UTF-8 and knows the character, else a
// table of its own (wide East Asian characters two columns, combining marks
// none), so that a C locale still measures Japanese names right.
std::size_t displayWidth(std::string_view text);

// The longest tail of text, starting at a character boundary, that fits in
// width columns. ("" when nothing fits.)
std::string_view tailFitting(std::string_view text, std::size_t width);

}  // namespace vza::cli
