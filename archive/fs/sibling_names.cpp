// SPDX-License-Identifier: MIT
#include "vza/archive/fs/sibling_names.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <random>

#include <fcntl.h>
#include <sys/stat.h>

namespace vza {
namespace {

// The length of the well-formed UTF-8 sequence at text[at], 0 when the
// bytes there are not one (overlong forms, surrogates and values above
// U+10FFFF are not).
std::size_t sequenceAt(std::string_view text, std::size_t at)
{
    const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(text[at + k]); };
    const unsigned char lead = byte(0);
    if (lead < 0x80)
        return 1;
    const std::size_t length = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC2 ? 2 : 0;
    if (length == 0 || lead > 0xF4 || at + length > text.size())
        return 0;
    for (std::size_t k = 1; k < length; ++k)
        if ((byte(k) & 0xC0) != 0x80)
            return 0;
    const unsigned char second = byte(1);
    if ((lead == 0xE0 && second < 0xA0) || (lead == 0xED && second >= 0xA0) || (lead == 0xF0 && second < 0x90) ||
        (lead == 0xF4 && second >= 0x90))
        return 0;
    return length;
}

}  // namespace

std::string nameStem(std::string_view name, std::size_t size)
{
    std::size_t cut = 0;  // the end of the last whole character within size
    for (std::size_t at = 0; at < name.size();) {
        const std::size_t length = sequenceAt(name, at);
        if (length == 0) {
            std::string ascii;  // not UTF-8: its ASCII bytes only
            for (const char c : name)
                if (static_cast<unsigned char>(c) < 0x80 && ascii.size() < size)
                    ascii += c;
            return ascii;
        }
        at += length;
        if (at <= size)
            cut = at;
    }
    return std::string(name.substr(0, cut));
}

std::string temporaryName(std::string_view target)
{
    static thread_local std::mt19937_64 random{std::random_device{}()};
    char suffix[24];
    std::snprintf(suffix, sizeof suffix, ".%012llx.tmp", static_cast<unsigned long long>(random() & 0xFFFFFFFFFFFFull));
    std::string name(1, '.');  // appended piece by piece: g++ 12 warns wrongly on "." + string
    name += nameStem(target, TemporaryStemSize);
    name += suffix;
    return name;
}

std::string freeLeafName(int folder, std::string_view leaf)
{
    const std::size_t dot = leaf.rfind('.');
    // A leading dot starts a hidden name, not an extension; a long tail
    // after a dot is part of the name.
    const bool split = dot != std::string_view::npos && dot > 0 && leaf.size() - dot <= 32;
    const std::string_view extension = split ? leaf.substr(dot) : std::string_view();
    const std::string_view stem = leaf.substr(0, leaf.size() - extension.size());
    std::string candidate(leaf);
    for (int number = 2;; ++number) {
        struct stat existing {};
        if (::fstatat(folder, candidate.c_str(), &existing, AT_SYMLINK_NOFOLLOW) != 0)
            return errno == ENOENT ? candidate : std::string();
        if (number > 9999)
            return {};
        const std::string mark = " (" + std::to_string(number) + ")";
        candidate = nameStem(stem, NAME_MAX - mark.size() - extension.size());
        candidate += mark;
        candidate += extension;
    }
}

}  // namespace vza
