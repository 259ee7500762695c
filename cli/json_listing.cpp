// SPDX-License-Identifier: MIT
#include "cli/json_listing.h"

#include "vza/archive/format/format.h"

namespace vza::cli {
namespace {

constexpr char Hex[] = "0123456789abcdef";

// Whether the stored bytes read completely in encoding; where they do not,
// the listing adds them in hex.
bool readsWhole(std::string_view stored, NameEncoding encoding)
{
    switch (encoding) {
    case NameEncoding::Utf8:
    case NameEncoding::Raw: return isValidUtf8(stored);
    case NameEncoding::Cp932: return isValidCp932(stored);
    case NameEncoding::Latin1: return true;
    }
    return false;
}

// The code point of the UTF-8 sequence at text[at], 0 when it is not one of
// two or three bytes (the only lengths of what is escaped below).
char32_t codePointAt(std::string_view text, std::size_t at, std::size_t& length)
{
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[at + i]); };
    const std::size_t left = text.size() - at;
    if (left >= 2 && (byte(0) & 0xE0) == 0xC0 && (byte(1) & 0xC0) == 0x80) {
        length = 2;
        return static_cast<char32_t>(((byte(0) & 0x1F) << 6) | (byte(1) & 0x3F));
    }
    if (left >= 3 && (byte(0) & 0xF0) == 0xE0 && (byte(1) & 0xC0) == 0x80 && (byte(2) & 0xC0) == 0x80) {
        length = 3;
        return static_cast<char32_t>(((byte(0) & 0x0F) << 12) | ((byte(1) & 0x3F) << 6) | (byte(2) & 0x3F));
    }
    return 0;
}

// Characters a terminal acts on or reorders (DEL, the C1 controls, the
// bidirectional controls) and the line separators JavaScript reads as line
// ends: written as \u escapes, which every JSON reader turns back into the
// same character, so the document stays exact and is safe to print.
bool escapedInJson(char32_t point)
{
    return point == 0x7F || (point >= 0x80 && point <= 0x9F) || point == 0x200E || point == 0x200F ||
           (point >= 0x2028 && point <= 0x202E) || (point >= 0x2066 && point <= 0x2069);
}

void appendEscape(std::string& out, char32_t point)
{
    out += "\\u";
    for (int shift = 12; shift >= 0; shift -= 4)
        out += Hex[(point >> shift) & 15];
}

}  // namespace

void appendJsonString(std::string& out, std::string_view text)
{
    out += '"';
    for (std::size_t at = 0; at < text.size(); ++at) {
        const char c = text[at];
        const auto byte = static_cast<unsigned char>(c);
        std::size_t length = 1;
        const char32_t point = byte < 0x80 ? byte : codePointAt(text, at, length);
        if (byte == '"' || byte == '\\') {
            out += '\\';
            out += c;
        } else if (byte < 0x20 || escapedInJson(point)) {
            appendEscape(out, point);
            at += length - 1;
        } else {
            out += c;
        }
    }
    out += '"';
}

void appendJsonHead(std::string& out, std::uint32_t flags, NameEncoding encoding)
{
    out += "{\"flags\":" + std::to_string(flags);
    out += (flags & FlagEncrypted) != 0 ? ",\"encrypted\":true" : ",\"encrypted\":false";
    out += (flags & FlagCompressed) != 0 ? ",\"compressed\":true" : ",\"compressed\":false";
    out += ",\"encoding\":\"";
    out += nameEncodingName(encoding);
    out += "\",\"entries\":[\n";
}

void appendJsonEntry(std::string& out, const EntryNames& names, std::int32_t index, bool first)
{
    const EntryView entry = *names.table().at(index);
    if (!first)
        out += ",\n";
    out += "{\"index\":" + std::to_string(index) + ",\"name\":";
    const bool whole = readsWhole(entry.name, names.encoding());
    // Raw names are text here too: JSON holds nothing else.
    const NameEncoding asText = names.encoding() == NameEncoding::Raw ? NameEncoding::Utf8 : names.encoding();
    if (asText == NameEncoding::Utf8 && whole)
        appendJsonString(out, entry.name);  // UTF-8 as stored: no copy
    else
        appendJsonString(out, decodeName(entry.name, asText));
    if (!whole) {
        out += ",\"name_hex\":\"";
        for (const char c : entry.name) {
            out += Hex[static_cast<unsigned char>(c) >> 4];
            out += Hex[static_cast<unsigned char>(c) & 15];
        }
        out += '"';
    }
    out += ",\"size\":" + std::to_string(entry.originalSize);
    out += ",\"stored_size\":" + std::to_string(entry.storedSize) + "}";
}

void appendJsonTail(std::string& out, bool anyEntry)
{
    out += anyEntry ? "\n]}\n" : "]}\n";
}

}  // namespace vza::cli
