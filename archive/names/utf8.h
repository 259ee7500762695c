// SPDX-License-Identifier: MIT
// UTF-8, one character at a time: the reading and writing every name call
// below is built on.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace vza {

// The length of the well-formed UTF-8 character at text[at] (1 to 4), with
// its code point in codePoint; 0 when the bytes there are not one (overlong
// forms, surrogates, values above U+10FFFF and cut sequences are not).
// at must be below text.size().
std::size_t utf8CharAt(std::string_view text, std::size_t at, char32_t& codePoint);

// codePoint (at most U+10FFFF) appended to out in UTF-8.
void appendUtf8(std::string& out, char32_t codePoint);

}  // namespace vza
