// SPDX-License-Identifier: MIT
// Entry names as text: deciding an archive's name encoding and decoding names
// for display and for output files.
//
// The format stores names as bytes, in whatever encoding the writing program
// used: archives made on Japanese Windows hold Shift_JIS in Microsoft's form
// (code page 932), newer ones UTF-8. The encoding is decided once for the
// whole archive, so every name of it is read the same way:
//
//   UTF-8   when every name is valid UTF-8 (this includes plain ASCII);
//   CP932   else, when every name decodes as CP932 (as Windows reads it:
//           the single bytes 0x80, 0xA0 and 0xFD-0xFF are U+0080, U+00A0
//           and U+F8F0-U+F8F2);
//   Latin-1 else (every byte is a character, so nothing is ever refused).
//
// A Shift_JIS name is almost never valid UTF-8, so UTF-8 goes first. CP932
// keeps byte 0x5C as the backslash (the plain Shift_JIS tables turn it into
// the yen sign), and a 0x5C that is the second byte of a character (表 is
// 0x95 0x5C, likewise ソ, 能, 十) stays inside that character. That is why
// names are decoded before they are made safe: in a decoded name every
// backslash is a real one, a folder separator, and no character is split.
//
// The programs decide once per archive (chooseNameEncoding), then ask per
// entry for its display text (decodeName) and its output path
// (outputNameFor). All calls are pure and safe to use from several threads.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "vza/archive/format/entry_records.h"

namespace vza {

// How an archive's names are read. Raw takes the stored bytes as they are,
// undecoded: the result need not be UTF-8 (it is what old versions wrote).
enum class NameEncoding { Utf8, Cp932, Latin1, Raw };

// What the user asked for (the programs' --names=, the desktop program's
// 文字コード menu): Auto decides per archive as above; the others force that
// encoding on every name.
enum class NameEncodingChoice { Auto, Utf8, Cp932, Latin1, Raw };

// Reads a choice as the command line spells it: "auto", "utf8", "cp932",
// "latin1" or "raw". False, leaving choice alone, for anything else.
bool parseNameEncodingChoice(std::string_view text, NameEncodingChoice& choice);

// "utf8", "cp932", "latin1" or "raw".
const char* nameEncodingName(NameEncoding encoding);

// Whether bytes are well-formed UTF-8 (no overlong forms, no surrogates,
// nothing above U+10FFFF), and whether they decode completely as CP932 (a
// lead byte without its second byte, or a pair CP932 does not define, fails).
bool isValidUtf8(std::string_view bytes);
bool isValidCp932(std::string_view bytes);

// The encoding of a list of names by the rule above (Utf8 for no names).
// An open archive's names are archive.archiveIndex().entryTable().entries().
NameEncoding detectNameEncoding(const EntryRecords& entries);

// The encoding to use for entries: detected for Auto, else the one chosen.
NameEncoding chooseNameEncoding(const EntryRecords& entries, NameEncodingChoice choice);

// Whether the CP932 reading of a name holds what Shift_JIS text almost never
// does: a half-width katakana next to an ASCII letter ("ﾄrger" is Latin-1's
// "Ärger"), or a character of the user-defined area (U+E000-U+F8FF). The
// names read well as Latin-1 then, more likely than not; a program may say so.
bool cp932ReadingLooksWrong(std::string_view stored);

// The index of the first entry whose CP932 reading looks wrong, or -1.
std::int64_t firstDoubtfulCp932Name(const EntryRecords& entries);

// The display text of a stored name: its UTF-8 form under encoding, every
// byte kept (backslashes and control characters included; escaping them for
// a terminal is the caller's business). Where a forced encoding meets bytes
// it cannot decode, each such byte becomes U+FFFD. Raw gives stored unchanged.
std::string decodeName(std::string_view stored, NameEncoding encoding);

// The relative output path for a stored name: decodeName, then
// safeOutputName (backslashes become separators; leading slashes, drive
// prefixes, ".", ".." and empty components go). "" when nothing is left, or
// when the decoded name holds a zero byte, which no file name can.
std::string outputNameFor(std::string_view stored, NameEncoding encoding);

}  // namespace vza
