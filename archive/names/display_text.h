// SPDX-License-Identifier: MIT
// Entry names made safe to show, the one rule for both programs.
//
// A name is text from the archive (decoded to UTF-8, see name_decoding.h, or
// raw bytes): it may hold escape sequences that would drive a terminal,
// bytes that are not UTF-8, or characters that make it look like another
// name: a right-to-left override turns "invoice\u202efdp.sh" into what reads
// as "invoicehs.pdf", and a zero width space or a blank braille pattern
// hides in plain sight. All of these are shown escaped, so that every shown
// name is one line of plain text that tells its characters apart.
//
// Only for showing: the name written to disk and the key a name is looked up
// by are never escaped. The calls are pure and safe from any thread.
#pragma once

#include <string>
#include <string_view>

namespace vza {

// Whether a backslash in the name is shown doubled, so that it cannot be
// read as the start of an escape (a terminal listing), or kept as it is
// (where the escapes are told apart otherwise).
enum class DisplayBackslash { Doubled, Kept };

// text with control bytes (C0, DEL, and the C1 range written in UTF-8) and
// bytes of invalid UTF-8 escaped as \xHH; bidi controls, zero-width and
// other invisible characters, the line and paragraph separators and U+2800
// escaped as \uHHHH (\UHHHHHHHH beyond U+FFFF); the emoji presentation
// selector U+FE0F (and U+FE0E) kept only after a character it can dress.
// Other valid UTF-8 text is kept.
std::string displayText(std::string_view text, DisplayBackslash backslash = DisplayBackslash::Doubled);
void appendDisplayText(std::string& out, std::string_view text, DisplayBackslash backslash = DisplayBackslash::Doubled);

// bytes shown as bytes: like displayText, but every byte from 0x80 up is
// \xHH too, for names read raw, whose bytes are not text.
std::string displayBytes(std::string_view bytes);
void appendDisplayBytes(std::string& out, std::string_view bytes);

}  // namespace vza
