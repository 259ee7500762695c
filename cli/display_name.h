// SPDX-License-Identifier: MIT
// Entry names made safe to print, and how wide they are on a terminal.
//
// A name is text from the archive (decoded to UTF-8, or raw bytes): it may
// hold escape sequences that would drive the terminal, bytes that are not
// UTF-8, or characters that make it look like another name: a right-to-left
// override turns "invoice\u202efdp.sh" into what reads as "invoicehs.pdf".
// All of these are shown escaped, so every printed name is one line of
// plain text that tells its characters apart.
#pragma once

#include <string>
#include <string_view>

namespace vza::cli {

// name with control bytes (C0, DEL, and the C1 range written in UTF-8),
// bytes of invalid UTF-8 and backslashes escaped as \xHH and \\; bidi
// controls, zero-width and other invisible characters and the line and
// paragraph separators escaped as \uHHHH (\UHHHHHHHH beyond U+FFFF); other
// valid UTF-8 text is kept.
std::string displayName(std::string_view name);

// name as bytes: like displayName, but every byte from 0x80 up is shown as
// \xHH too, for names read raw (--names=raw), whose bytes are not text.
std::string displayBytes(std::string_view name);

// The same, appended to out: no allocation beyond out's own growth, for
// listings that build many lines into one buffer.
void appendDisplayName(std::string& out, std::string_view name);
void appendDisplayBytes(std::string& out, std::string_view name);

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
