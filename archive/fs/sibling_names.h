// SPDX-License-Identifier: MIT
// Names for files beside a target in its folder: the temporary name a file
// is written under, and a free name for a file kept beside one that exists.
//
// Both are made from the target's own name, so both meet the same limits:
// at most NAME_MAX bytes, and only whole characters. File systems that store
// names as characters (exFAT, NTFS, vfat, many network shares) refuse a
// byte sequence that is no character, so a UTF-8 name is only ever cut on a
// character boundary, and a name that is not UTF-8 lends only its ASCII
// bytes.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace vza {

// The start of name to build another name from, at most size bytes: a UTF-8
// name cut on a character boundary; a name that is not UTF-8 keeps only its
// ASCII bytes (then cut at size).
std::string nameStem(std::string_view name, std::size_t size);

// ".STEM.XXXXXXXXXXXX.tmp" for target: hidden, recognisably ours, with a
// stem of at most TemporaryStemSize bytes of target (see nameStem) and 48
// random bits, so that nothing can be waiting under it.
inline constexpr std::size_t TemporaryStemSize = 64;
std::string temporaryName(std::string_view target);

// A name in the folder open as folder under which nothing exists: leaf
// itself when nothing is there, else "name (2).ext", "name (3).ext" and so
// on, the extension being what follows leaf's last dot (none for ".profile");
// the stem is shortened (see nameStem) to stay within NAME_MAX. "" when no
// such name is found among the first 9 999, or the folder cannot be looked
// into. Another process may take the name before it is used: commit a file
// under it without replacing.
std::string freeLeafName(int folder, std::string_view leaf);

}  // namespace vza
