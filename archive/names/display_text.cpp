// SPDX-License-Identifier: MIT
#include "vza/archive/names/display_text.h"

#include <cstdint>

#include "vza/archive/names/utf8.h"

namespace vza {
namespace {

constexpr char Hex[] = "0123456789abcdef";

void appendEscaped(std::string& out, unsigned char byte)
{
    out += "\\x";
    out += Hex[byte >> 4];
    out += Hex[byte & 15];
}

void appendCodePoint(std::string& out, char32_t codePoint)
{
    const int digits = codePoint > 0xFFFF ? 8 : 4;
    out += digits == 8 ? "\\U" : "\\u";
    for (int shift = (digits - 1) * 4; shift >= 0; shift -= 4)
        out += Hex[(codePoint >> shift) & 15];
}

struct Range {
    char32_t first;
    char32_t last;
};

template <std::size_t N>
bool inRanges(const Range (&ranges)[N], char32_t codePoint)
{
    for (const Range& range : ranges) {
        if (codePoint >= range.first && codePoint <= range.last)
            return true;
    }
    return false;
}

// Characters that change how the text around them reads, or that cannot be
// seen at all: a name holding one can pass for another name.
constexpr Range Deceptive[] = {
    {0x00AD, 0x00AD},    // soft hyphen
    {0x034F, 0x034F},    // combining grapheme joiner
    {0x061C, 0x061C},    // Arabic letter mark
    {0x115F, 0x1160},    // Hangul fillers
    {0x17B4, 0x17B5},    // Khmer inherent vowels
    {0x180B, 0x180F},    // Mongolian selectors and vowel separator
    {0x200B, 0x200F},    // zero width space, non-joiner, joiner; LRM, RLM
    {0x2028, 0x2029},    // line and paragraph separators
    {0x202A, 0x202E},    // bidi embeddings and overrides
    {0x2060, 0x206F},    // word joiner, invisible operators, bidi isolates
    {0x2800, 0x2800},    // braille pattern blank: looks like a space
    {0x3164, 0x3164},    // Hangul filler
    {0xFEFF, 0xFEFF},    // zero width no-break space
    {0xFFA0, 0xFFA0},    // halfwidth Hangul filler
    {0xFFF9, 0xFFFB},    // interlinear annotation
    {0x1BCA0, 0x1BCA3},  // shorthand format controls
    {0x1D173, 0x1D17A},  // musical format controls
    {0xE0000, 0xE007F},  // tags
};

// Characters that a presentation selector (U+FE0E text, U+FE0F emoji) may
// follow: those with an emoji form. Anywhere else the selector is invisible.
constexpr Range EmojiBases[] = {
    {0x00A9, 0x00A9}, {0x00AE, 0x00AE}, {0x203C, 0x203C}, {0x2049, 0x2049}, {0x2122, 0x2122},   {0x2139, 0x2139},
    {0x2194, 0x2199}, {0x21A9, 0x21AA}, {0x231A, 0x231B}, {0x2328, 0x2328}, {0x23CF, 0x23CF},   {0x23E9, 0x23F3},
    {0x23F8, 0x23FA}, {0x24C2, 0x24C2}, {0x25AA, 0x25AB}, {0x25B6, 0x25B6}, {0x25C0, 0x25C0},   {0x25FB, 0x25FE},
    {0x2600, 0x27BF}, {0x2934, 0x2935}, {0x2B05, 0x2B07}, {0x2B1B, 0x2B1C}, {0x2B50, 0x2B50},   {0x2B55, 0x2B55},
    {0x3030, 0x3030}, {0x303D, 0x303D}, {0x3297, 0x3297}, {0x3299, 0x3299}, {0x1F000, 0x1FAFF},
};

constexpr char32_t Keycap = 0x20E3;

bool isSelector(char32_t codePoint)
{
    return codePoint == 0xFE0E || codePoint == 0xFE0F;
}

// A digit, '#' or '*' takes a selector only as a keycap: selector, U+20E3.
bool keycapBase(char32_t codePoint)
{
    return (codePoint >= '0' && codePoint <= '9') || codePoint == '#' || codePoint == '*';
}

// Whether the selector at text[at] (after the character before) dresses it.
bool selectorFits(std::string_view text, std::size_t at, std::size_t length, char32_t before)
{
    if (inRanges(EmojiBases, before))
        return true;
    if (!keycapBase(before) || at + length >= text.size())
        return false;
    char32_t next = 0;
    return utf8CharAt(text, at + length, next) != 0 && next == Keycap;
}

// The end of the run of printable ASCII at text[at] (backslash excepted
// when it is doubled): the bulk of most names, copied a run at a time.
std::size_t plainRunEnd(std::string_view text, std::size_t at, DisplayBackslash backslash)
{
    while (at < text.size()) {
        const auto byte = static_cast<unsigned char>(text[at]);
        if (byte < 0x20 || byte >= 0x7F || (byte == '\\' && backslash == DisplayBackslash::Doubled))
            break;
        ++at;
    }
    return at;
}

}  // namespace

void appendDisplayText(std::string& out, std::string_view text, DisplayBackslash backslash)
{
    char32_t before = 0;  // the character shown last, for the selectors
    std::size_t at = 0;
    while (at < text.size()) {
        const std::size_t plain = plainRunEnd(text, at, backslash);
        if (plain > at) {
            out.append(text.data() + at, plain - at);
            before = static_cast<unsigned char>(text[plain - 1]);
            at = plain;
            continue;
        }
        const auto byte = static_cast<unsigned char>(text[at]);
        char32_t codePoint = 0;
        const std::size_t length = utf8CharAt(text, at, codePoint);
        if (byte == '\\') {
            out += "\\\\";
        } else if (length == 0 || codePoint < 0x20 || (codePoint >= 0x7F && codePoint <= 0x9F)) {
            // Invalid UTF-8, or a control such as ESC or CSI (U+009B) that
            // some terminals obey: show the bytes, not the character.
            for (std::size_t k = 0; k < (length == 0 ? 1 : length); ++k)
                appendEscaped(out, static_cast<unsigned char>(text[at + k]));
        } else if (inRanges(Deceptive, codePoint) ||
                   (isSelector(codePoint) && !selectorFits(text, at, length, before))) {
            appendCodePoint(out, codePoint);
        } else {
            out.append(text.substr(at, length));
        }
        before = codePoint;
        at += length == 0 ? 1 : length;
    }
}

std::string displayText(std::string_view text, DisplayBackslash backslash)
{
    std::string out;
    out.reserve(text.size());
    appendDisplayText(out, text, backslash);
    return out;
}

void appendDisplayBytes(std::string& out, std::string_view bytes)
{
    for (const char c : bytes) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte >= 0x7F)
            appendEscaped(out, byte);
        else if (byte == '\\')
            out += "\\\\";
        else
            out += c;
    }
}

std::string displayBytes(std::string_view bytes)
{
    std::string out;
    out.reserve(bytes.size());
    appendDisplayBytes(out, bytes);
    return out;
}

}  // namespace vza
