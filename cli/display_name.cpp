#include "cli/display_name.h"

#include <cstdint>

namespace vza::cli {
namespace {

void appendEscaped(std::string& out, unsigned char byte)
{
    static constexpr char Hex[] = "0123456789abcdef";
    out += "\\x";
    out += Hex[byte >> 4];
    out += Hex[byte & 15];
}

// Length of the valid UTF-8 sequence at text[i], or 0 when it is not one
// (overlong forms, surrogates and values past U+10FFFF are not valid).
std::size_t utf8Length(std::string_view text, std::size_t i, std::uint32_t& codePoint)
{
    const auto lead = static_cast<unsigned char>(text[i]);
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

}  // namespace

std::string displayName(std::string_view name)
{
    std::string out;
    out.reserve(name.size());
    std::size_t i = 0;
    while (i < name.size()) {
        const auto byte = static_cast<unsigned char>(name[i]);
        if (byte < 0x80) {
            if (byte < 0x20 || byte == 0x7F)
                appendEscaped(out, byte);
            else if (byte == '\\')
                out += "\\\\";
            else
                out += static_cast<char>(byte);
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
        out.append(name.substr(i, length));
        i += length;
    }
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

std::size_t displayWidth(std::string_view text)
{
    std::size_t width = 0;
    for (char c : text) {
        if ((static_cast<unsigned char>(c) & 0xC0) != 0x80)
            ++width;
    }
    return width;
}

}  // namespace vza::cli
