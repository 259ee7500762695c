// SPDX-License-Identifier: MIT
#include "cli/display_name.h"

#include <clocale>
#include <cstdint>
#include <cstring>
#include <cwchar>
#include <langinfo.h>

namespace vza::cli {
namespace {

constexpr char Hex[] = "0123456789abcdef";

void appendEscaped(std::string& out, unsigned char byte)
{
    out += "\\x";
    out += Hex[byte >> 4];
    out += Hex[byte & 15];
}

void appendCodePoint(std::string& out, std::uint32_t codePoint)
{
    const int digits = codePoint > 0xFFFF ? 8 : 4;
    out += digits == 8 ? "\\U" : "\\u";
    for (int shift = (digits - 1) * 4; shift >= 0; shift -= 4)
        out += Hex[(codePoint >> shift) & 15];
}

// Length of the valid UTF-8 sequence at text[i], or 0 when it is not one
// (overlong forms, surrogates and values past U+10FFFF are not valid).
std::size_t utf8Length(std::string_view text, std::size_t i, std::uint32_t& codePoint)
{
    const auto lead = static_cast<unsigned char>(text[i]);
    if (lead < 0x80) {
        codePoint = lead;
        return 1;
    }
    std::size_t length;
    std::uint32_t minimum;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
        codePoint = lead & 0x1F;
        minimum = 0x80;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        codePoint = lead & 0x0F;
        minimum = 0x800;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        codePoint = lead & 0x07;
        minimum = 0x10000;
    } else {
        return 0;
    }
    if (i + length > text.size())
        return 0;
    for (std::size_t k = 1; k < length; ++k) {
        const auto next = static_cast<unsigned char>(text[i + k]);
        if ((next & 0xC0) != 0x80)
            return 0;
        codePoint = (codePoint << 6) | (next & 0x3F);
    }
    if (codePoint < minimum || codePoint > 0x10FFFF || (codePoint >= 0xD800 && codePoint <= 0xDFFF))
        return 0;
    return length;
}

struct Range {
    std::uint32_t first;
    std::uint32_t last;
};

template <std::size_t N>
bool inRanges(const Range (&ranges)[N], std::uint32_t codePoint)
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
    {0x3164, 0x3164},    // Hangul filler
    {0xFEFF, 0xFEFF},    // zero width no-break space
    {0xFFA0, 0xFFA0},    // halfwidth Hangul filler
    {0xFFF9, 0xFFFB},    // interlinear annotation
    {0x1BCA0, 0x1BCA3},  // shorthand format controls
    {0x1D173, 0x1D17A},  // musical format controls
    {0xE0000, 0xE007F},  // tags
};

// Two columns: the East Asian wide and fullwidth blocks.
constexpr Range Wide[] = {
    {0x1100, 0x115F},   {0x231A, 0x231B},   {0x2329, 0x232A},   {0x23E9, 0x23EC},   {0x23F0, 0x23F0},
    {0x23F3, 0x23F3},   {0x25FD, 0x25FE},   {0x2614, 0x2615},   {0x2648, 0x2653},   {0x267F, 0x267F},
    {0x2693, 0x2693},   {0x26A1, 0x26A1},   {0x26AA, 0x26AB},   {0x26BD, 0x26BE},   {0x26C4, 0x26C5},
    {0x26CE, 0x26CE},   {0x26D4, 0x26D4},   {0x26EA, 0x26EA},   {0x26F2, 0x26F3},   {0x26F5, 0x26F5},
    {0x26FA, 0x26FA},   {0x26FD, 0x26FD},   {0x2705, 0x2705},   {0x270A, 0x270B},   {0x2728, 0x2728},
    {0x274C, 0x274C},   {0x274E, 0x274E},   {0x2753, 0x2755},   {0x2757, 0x2757},   {0x2795, 0x2797},
    {0x27B0, 0x27B0},   {0x27BF, 0x27BF},   {0x2B1B, 0x2B1C},   {0x2B50, 0x2B50},   {0x2B55, 0x2B55},
    {0x2E80, 0x303E},   {0x3041, 0x3247},   {0x3250, 0x4DBF},   {0x4E00, 0xA4CF},   {0xA960, 0xA97F},
    {0xAC00, 0xD7A3},   {0xF900, 0xFAFF},   {0xFE10, 0xFE19},   {0xFE30, 0xFE6F},   {0xFF00, 0xFF60},
    {0xFFE0, 0xFFE6},   {0x16FE0, 0x16FE4}, {0x17000, 0x18CFF}, {0x1B000, 0x1B2FF}, {0x1F004, 0x1F004},
    {0x1F0CF, 0x1F0CF}, {0x1F18E, 0x1F18E}, {0x1F191, 0x1F19A}, {0x1F200, 0x1F251}, {0x1F300, 0x1F64F},
    {0x1F680, 0x1F6FF}, {0x1F7E0, 0x1F7EB}, {0x1F90C, 0x1F9FF}, {0x1FA70, 0x1FAFF}, {0x20000, 0x3FFFD},
};

// No columns: marks drawn on the character before them.
constexpr Range Combining[] = {
    {0x0300, 0x036F}, {0x0483, 0x0489}, {0x0591, 0x05BD}, {0x0610, 0x061A},   {0x064B, 0x065F}, {0x0E31, 0x0E31},
    {0x0E34, 0x0E3A}, {0x0E47, 0x0E4E}, {0x1AB0, 0x1AFF}, {0x1DC0, 0x1DFF},   {0x20D0, 0x20FF}, {0x302A, 0x302D},
    {0x3099, 0x309A}, {0xFE00, 0xFE0F}, {0xFE20, 0xFE2F}, {0xE0100, 0xE01EF},
};

bool deceptive(std::uint32_t codePoint)
{
    return codePoint >= 0xAD && inRanges(Deceptive, codePoint);
}

int ownWidth(std::uint32_t codePoint)
{
    if (codePoint < 0x300)
        return 1;
    if (inRanges(Combining, codePoint))
        return 0;
    return inRanges(Wide, codePoint) ? 2 : 1;
}

bool utf8Locale = false;  // set by initDisplay()

int columnsOf(std::uint32_t codePoint)
{
    if (codePoint < 0x80)
        return 1;  // printable ASCII: escapes have made the rest printable
    if (utf8Locale) {
        const int width = wcwidth(static_cast<wchar_t>(codePoint));
        if (width >= 0)
            return width;
    }
    return ownWidth(codePoint);
}

}  // namespace

void appendDisplayName(std::string& out, std::string_view name)
{
    std::size_t i = 0;
    while (i < name.size()) {
        // Printable ASCII other than the backslash is the bulk of most
        // names: copied a run at a time.
        std::size_t plain = i;
        while (plain < name.size()) {
            const auto byte = static_cast<unsigned char>(name[plain]);
            if (byte < 0x20 || byte >= 0x7F || byte == '\\')
                break;
            ++plain;
        }
        out.append(name.data() + i, plain - i);
        i = plain;
        if (i == name.size())
            break;
        const auto byte = static_cast<unsigned char>(name[i]);
        if (byte < 0x80) {
            if (byte == '\\')
                out += "\\\\";
            else
                appendEscaped(out, byte);  // C0 control or DEL
            ++i;
            continue;
        }
        std::uint32_t codePoint = 0;
        const std::size_t length = utf8Length(name, i, codePoint);
        if (length == 0 || (codePoint >= 0x80 && codePoint <= 0x9F)) {
            // Invalid UTF-8, or a C1 control such as CSI (U+009B) that some
            // terminals obey: show the bytes, not the character.
            const std::size_t count = length == 0 ? 1 : length;
            for (std::size_t k = 0; k < count; ++k)
                appendEscaped(out, static_cast<unsigned char>(name[i + k]));
            i += count;
            continue;
        }
        if (deceptive(codePoint))
            appendCodePoint(out, codePoint);
        else
            out.append(name.substr(i, length));
        i += length;
    }
}

std::string displayName(std::string_view name)
{
    std::string out;
    out.reserve(name.size());
    appendDisplayName(out, name);
    return out;
}

void appendDisplayBytes(std::string& out, std::string_view name)
{
    for (char c : name) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte >= 0x7F)
            appendEscaped(out, byte);
        else if (byte == '\\')
            out += "\\\\";
        else
            out += c;
    }
}

std::string displayBytes(std::string_view name)
{
    std::string out;
    out.reserve(name.size());
    appendDisplayBytes(out, name);
    return out;
}

std::string quoted(std::string_view name)
{
    // Built by appending: "'" + std::string trips a false -Wrestrict in g++ 12 at -O3.
    std::string text(1, '\'');
    text += displayName(name);
    text += '\'';
    return text;
}

void initDisplay()
{
    std::setlocale(LC_CTYPE, "");
    const char* codeset = nl_langinfo(CODESET);
    utf8Locale = codeset != nullptr && (std::strcmp(codeset, "UTF-8") == 0 || std::strcmp(codeset, "utf8") == 0);
}

std::size_t displayWidth(std::string_view text)
{
    std::size_t width = 0;
    std::size_t i = 0;
    while (i < text.size()) {
        std::uint32_t codePoint = 0;
        const std::size_t length = utf8Length(text, i, codePoint);
        if (length == 0) {
            // Not expected in displayName's output; a stray byte is taken
            // as one column.
            ++width;
            ++i;
            continue;
        }
        width += static_cast<std::size_t>(columnsOf(codePoint));
        i += length;
    }
    return width;
}

std::string_view tailFitting(std::string_view text, std::size_t width)
{
    // Measured from the end, one character at a time, so that a long name
    // costs one pass.
    std::size_t start = text.size();
    std::size_t used = 0;
    while (start > 0) {
        std::size_t lead = start - 1;
        while (lead > 0 && (static_cast<unsigned char>(text[lead]) & 0xC0) == 0x80 && start - lead < 4)
            --lead;
        std::uint32_t codePoint = 0;
        std::size_t length = utf8Length(text, lead, codePoint);
        if (length != start - lead) {
            lead = start - 1;  // a stray byte: one column
            codePoint = 'x';
            length = 1;
        }
        const std::size_t columns = static_cast<std::size_t>(columnsOf(codePoint));
        if (used + columns > width)
            break;
        used += columns;
        start = lead;
    }
    return text.substr(start);
}

}  // namespace vza::cli
