// SPDX-License-Identifier: MIT
#include "cli/display_name.h"

#include <clocale>
#include <cstdint>
#include <cstring>
#include <cwchar>
#include <langinfo.h>

#include "vza/archive/names/utf8.h"

namespace vza::cli {
namespace {

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
        char32_t codePoint = 0;
        const std::size_t length = utf8CharAt(text, i, codePoint);
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
        char32_t codePoint = 0;
        std::size_t length = utf8CharAt(text, lead, codePoint);
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
