// Entry names made safe to print.
//
// A name is a byte string from the archive: it may hold escape sequences
// that would drive the terminal, or bytes that are not UTF-8. Such bytes are
// shown as \xHH, and a backslash as \\, so every printed name is one line
// of plain text and tells the bytes apart.
#pragma once

#include <string>
#include <string_view>

namespace vza::cli {

// name with control bytes (C0, DEL, and the C1 range written in UTF-8),
// bytes of invalid UTF-8 and backslashes escaped; valid UTF-8 text is kept.
std::string displayName(std::string_view name);

// displayName(name) between single quotes, for messages.
std::string quoted(std::string_view name);

// The number of terminal columns text takes, counting one per character.
std::size_t displayWidth(std::string_view text);

}  // namespace vza::cli
