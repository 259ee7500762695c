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

}  // namespace

void appendJsonString(std::string& out, std::string_view text)
{
    out += '"';
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte == '"' || byte == '\\') {
            out += '\\';
            out += c;
        } else if (byte < 0x20) {
            out += "\\u00";
            out += Hex[byte >> 4];
            out += Hex[byte & 15];
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
