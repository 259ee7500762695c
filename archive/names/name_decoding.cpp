// SPDX-License-Identifier: MIT
#include "vza/archive/names/name_decoding.h"

#include <array>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <utility>
#include <vector>

#include <iconv.h>

#include "vza/archive/names/safe_name.h"
#include "vza/archive/names/utf8.h"

namespace vza {

namespace {

constexpr char32_t Invalid = 0xFFFFFFFF;
constexpr char32_t Replacement = 0xFFFD;

// CP932 as glibc's iconv defines it, read into tables once: every single byte
// and every two-byte pair is converted on its own. That costs a few
// milliseconds once, then decoding is a table look-up with no shared iconv
// state, so any thread may decode at any time.
//
// Windows also reads five single bytes that glibc's table refuses; one of
// them in a name would otherwise drop the whole archive to Latin-1 and
// garble every real Shift_JIS name beside it. They are ours, not iconv's.
constexpr std::pair<unsigned char, char32_t> WindowsSingles[] = {
    {0x80, 0x0080}, {0xA0, 0x00A0}, {0xFD, 0xF8F0}, {0xFE, 0xF8F1}, {0xFF, 0xF8F2}};

class Cp932Table {
public:
    Cp932Table()
    {
        single_.fill(Invalid);
        leadSlot_.fill(-1);
        iconv_t cd = iconv_open("UTF-32LE", "CP932");
        // iconv_open reports failure as (iconv_t)-1; there is no other way to test it.
        if (cd == reinterpret_cast<iconv_t>(-1))  // NOLINT(performance-no-int-to-ptr)
            return;                               // no CP932 here: no name counts as CP932
        std::vector<unsigned char> leads;
        for (unsigned b = 0; b < 256; ++b) {
            const unsigned char in[1] = {static_cast<unsigned char>(b)};
            int error = 0;
            single_[b] = convert(cd, in, 1, error);
            if (single_[b] == Invalid && error == EINVAL)  // a lead byte waiting for its second
                leads.push_back(static_cast<unsigned char>(b));
        }
        pairs_.assign(leads.size() * 256, 0);
        for (std::size_t slot = 0; slot < leads.size(); ++slot) {
            leadSlot_[leads[slot]] = static_cast<int>(slot);
            for (unsigned trail = 0; trail < 256; ++trail) {
                const unsigned char in[2] = {leads[slot], static_cast<unsigned char>(trail)};
                int error = 0;
                const char32_t cp = convert(cd, in, 2, error);
                // Every CP932 character lies in the Basic Multilingual Plane.
                if (cp != Invalid && cp != 0 && cp < 0x10000)
                    pairs_[slot * 256 + trail] = static_cast<std::uint16_t>(cp);
            }
        }
        iconv_close(cd);
        for (const auto& [byte, cp] : WindowsSingles) {
            if (leadSlot_[byte] < 0)
                single_[byte] = cp;
        }
    }

    // The character at bytes[at] and its length in bytes, or length 0.
    char32_t decodeAt(std::string_view bytes, std::size_t at, std::size_t& length) const
    {
        const auto b0 = static_cast<unsigned char>(bytes[at]);
        if (single_[b0] != Invalid) {
            length = 1;
            return single_[b0];
        }
        const int slot = leadSlot_[b0];
        if (slot >= 0 && at + 1 < bytes.size()) {
            const auto b1 = static_cast<unsigned char>(bytes[at + 1]);
            const std::uint16_t cp = pairs_[static_cast<std::size_t>(slot) * 256 + b1];
            if (cp != 0) {
                length = 2;
                return cp;
            }
        }
        length = 0;
        return Invalid;
    }

private:
    // One character from exactly length bytes, or Invalid (error says why).
    static char32_t convert(iconv_t cd, const unsigned char* bytes, std::size_t length, int& error)
    {
        iconv(cd, nullptr, nullptr, nullptr, nullptr);
        char* in = reinterpret_cast<char*>(const_cast<unsigned char*>(bytes));
        std::size_t inLeft = length;
        unsigned char out[8];
        char* outPointer = reinterpret_cast<char*>(out);
        std::size_t outLeft = sizeof out;
        if (iconv(cd, &in, &inLeft, &outPointer, &outLeft) == static_cast<std::size_t>(-1)) {
            error = errno;
            return Invalid;
        }
        if (inLeft != 0 || sizeof out - outLeft != 4)
            return Invalid;
        return static_cast<char32_t>(out[0]) | (static_cast<char32_t>(out[1]) << 8) |
               (static_cast<char32_t>(out[2]) << 16) | (static_cast<char32_t>(out[3]) << 24);
    }

    std::array<char32_t, 256> single_;
    std::array<int, 256> leadSlot_;     // row in pairs_ for a lead byte, else -1
    std::vector<std::uint16_t> pairs_;  // 256 per lead byte; 0 for an undefined pair
};

const Cp932Table& cp932()
{
    static const Cp932Table table;
    return table;
}

std::string decodeUtf8(std::string_view stored)
{
    std::string out;
    out.reserve(stored.size());
    for (std::size_t at = 0; at < stored.size();) {
        char32_t cp = 0;
        const std::size_t length = utf8CharAt(stored, at, cp);
        if (length == 0) {
            appendUtf8(out, Replacement);
            ++at;
        } else {
            out.append(stored.substr(at, length));
            at += length;
        }
    }
    return out;
}

std::string decodeCp932(std::string_view stored)
{
    const Cp932Table& table = cp932();
    std::string out;
    out.reserve(stored.size() * 3 / 2);
    for (std::size_t at = 0; at < stored.size();) {
        std::size_t length = 0;
        const char32_t cp = table.decodeAt(stored, at, length);
        appendUtf8(out, length == 0 ? Replacement : cp);
        at += length == 0 ? 1 : length;
    }
    return out;
}

std::string decodeLatin1(std::string_view stored)
{
    std::string out;
    out.reserve(stored.size() * 2);
    for (const char c : stored)
        appendUtf8(out, static_cast<unsigned char>(c));
    return out;
}

}  // namespace

bool parseNameEncodingChoice(std::string_view text, NameEncodingChoice& choice)
{
    static constexpr std::pair<std::string_view, NameEncodingChoice> names[] = {{"auto", NameEncodingChoice::Auto},
                                                                                {"utf8", NameEncodingChoice::Utf8},
                                                                                {"cp932", NameEncodingChoice::Cp932},
                                                                                {"latin1", NameEncodingChoice::Latin1},
                                                                                {"raw", NameEncodingChoice::Raw}};
    for (const auto& [name, value] : names) {
        if (text == name) {
            choice = value;
            return true;
        }
    }
    return false;
}

const char* nameEncodingName(NameEncoding encoding)
{
    switch (encoding) {
    case NameEncoding::Utf8: return "utf8";
    case NameEncoding::Cp932: return "cp932";
    case NameEncoding::Latin1: return "latin1";
    case NameEncoding::Raw: return "raw";
    }
    return "raw";
}

bool isValidUtf8(std::string_view bytes)
{
    // Most names are ASCII: eight bytes at a time while no high bit is set,
    // then one character at a time.
    std::size_t at = 0;
    for (std::uint64_t word = 0; bytes.size() - at >= sizeof word; at += sizeof word) {
        std::memcpy(&word, bytes.data() + at, sizeof word);
        if (word & 0x8080808080808080u)
            break;
    }
    while (at < bytes.size()) {
        if (static_cast<unsigned char>(bytes[at]) < 0x80) {
            ++at;
            continue;
        }
        char32_t cp = 0;
        const std::size_t length = utf8CharAt(bytes, at, cp);
        if (length == 0)
            return false;
        at += length;
    }
    return true;
}

bool isValidCp932(std::string_view bytes)
{
    const Cp932Table& table = cp932();
    for (std::size_t at = 0; at < bytes.size();) {
        std::size_t length = 0;
        table.decodeAt(bytes, at, length);
        if (length == 0)
            return false;
        at += length;
    }
    return true;
}

NameEncoding detectNameEncoding(const EntryRecords& entries)
{
    bool utf8 = true;
    for (std::size_t i = 0; i < entries.size(); ++i) {
        if (!isValidUtf8(entries.name(i))) {
            utf8 = false;
            break;
        }
    }
    if (utf8)
        return NameEncoding::Utf8;
    for (std::size_t i = 0; i < entries.size(); ++i)
        if (!isValidCp932(entries.name(i)))
            return NameEncoding::Latin1;
    return NameEncoding::Cp932;
}

NameEncoding chooseNameEncoding(const EntryRecords& entries, NameEncodingChoice choice)
{
    switch (choice) {
    case NameEncodingChoice::Utf8: return NameEncoding::Utf8;
    case NameEncodingChoice::Cp932: return NameEncoding::Cp932;
    case NameEncodingChoice::Latin1: return NameEncoding::Latin1;
    case NameEncodingChoice::Raw: return NameEncoding::Raw;
    case NameEncodingChoice::Auto: break;
    }
    return detectNameEncoding(entries);
}

bool cp932ReadingLooksWrong(std::string_view stored)
{
    const Cp932Table& table = cp932();
    const auto halfWidthKana = [](char32_t cp) { return cp >= 0xFF61 && cp <= 0xFF9F; };
    const auto asciiLetter = [](char32_t cp) { return (cp >= 'A' && cp <= 'Z') || (cp >= 'a' && cp <= 'z'); };
    char32_t before = 0;
    for (std::size_t at = 0; at < stored.size();) {
        std::size_t length = 0;
        const char32_t cp = table.decodeAt(stored, at, length);
        if (length == 0)
            return false;  // not CP932 at all: nothing to doubt
        if (cp >= 0xE000 && cp <= 0xF8FF)
            return true;
        if ((halfWidthKana(cp) && asciiLetter(before)) || (asciiLetter(cp) && halfWidthKana(before)))
            return true;
        before = cp;
        at += length;
    }
    return false;
}

std::int64_t firstDoubtfulCp932Name(const EntryRecords& entries)
{
    for (std::size_t i = 0; i < entries.size(); ++i) {
        if (cp932ReadingLooksWrong(entries.name(i)))
            return static_cast<std::int64_t>(i);
    }
    return -1;
}

std::string decodeName(std::string_view stored, NameEncoding encoding)
{
    switch (encoding) {
    case NameEncoding::Utf8: return decodeUtf8(stored);
    case NameEncoding::Cp932: return decodeCp932(stored);
    case NameEncoding::Latin1: return decodeLatin1(stored);
    case NameEncoding::Raw: break;
    }
    return std::string(stored);
}

std::string outputNameFor(std::string_view stored, NameEncoding encoding)
{
    const std::string decoded = decodeName(stored, encoding);
    if (decoded.find('\0') != std::string::npos)
        return std::string();
    return safeOutputName(decoded);
}

}  // namespace vza
