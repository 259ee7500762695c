// SPDX-License-Identifier: MIT
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "testkit/testkit.h"
#include "vza/archive/format/archive_index.h"
#include "vza/archive/format/data_buffer.h"
#include "vza/archive/names/name_decoding.h"
#include "vza/archive/names/name_verdict.h"
#include "vza/archive/read/archive.h"

using namespace vza;
using namespace vza::test;

namespace {

// Shift_JIS (CP932) bytes of names used below. 表 ソ 能 十 end in 0x5C, the
// backslash's byte.
const std::string SjisHyo = "\x95\x5C";                                                     // 表
const std::string SjisSoNouJuu = "\x83\x5C\x94\x5C\x8F\x5C";                                // ソ能十
const std::string SjisFolderHyo = "\x83\x74\x83\x48\x83\x8B\x83\x5F\\" + SjisHyo + ".csv";  // フォルダ\表.csv
const std::string SjisReport = "\x93\xFA\x96{\x8C\xEA/\x95\xF1\x8D\x90\x8F\x91.txt";        // 日本語/報告書.txt

EntryRecords entriesNamed(const std::vector<std::string>& names)
{
    EntryRecords entries;
    for (const std::string& name : names)
        entries.add(name, 0, 0);
    return entries;
}

}  // namespace

// One stored name per row: whether it is UTF-8 and CP932, and what it reads as
// and where it goes under the encoding its archive gets.
TEST(NameDecoding, NamesDecodeAndBecomeOutputPaths)
{
    struct Case {
        const char* what;
        std::string stored;
        bool utf8;
        bool cp932;
        NameEncoding encoding;
        std::string display;
        std::string output;
    };
    const Case cases[] = {
        {"ASCII", "docs/readme.txt", true, true, NameEncoding::Utf8, "docs/readme.txt", "docs/readme.txt"},
        {"UTF-8, 3 bytes", "日本語/報告書.txt", true, false, NameEncoding::Utf8, "日本語/報告書.txt",
         "日本語/報告書.txt"},
        {"UTF-8, 4 bytes", "\xF0\x9F\x98\x80.txt", true, false, NameEncoding::Utf8, "😀.txt", "😀.txt"},
        {"UTF-8 backslash", "a\\b.txt", true, true, NameEncoding::Utf8, "a\\b.txt", "a/b.txt"},
        {"CP932 trail 0x5C", SjisHyo + ".csv", false, true, NameEncoding::Cp932, "表.csv", "表.csv"},
        {"CP932 trails 0x5C", SjisSoNouJuu, false, true, NameEncoding::Cp932, "ソ能十", "ソ能十"},
        {"CP932 backslash and trail", SjisFolderHyo, false, true, NameEncoding::Cp932, "フォルダ\\表.csv",
         "フォルダ/表.csv"},
        {"CP932 folders", SjisReport, false, true, NameEncoding::Cp932, "日本語/報告書.txt", "日本語/報告書.txt"},
        {"CP932 only (NEC, wave dash)", "\x87\x40\x81\x60", false, true, NameEncoding::Cp932, "①～", "①～"},
        {"CP932 half-width and \\", "\xB1\x5C\x7E", false, true, NameEncoding::Cp932, "ｱ\\~", "ｱ/~"},
        {"CP932 climbing out", "..\\" + SjisHyo + "\\..\\x", false, true, NameEncoding::Cp932, "..\\表\\..\\x", "表/x"},
        {"Latin-1", "caf\xE9.txt", false, false, NameEncoding::Latin1, "café.txt", "café.txt"},
        {"lone lead byte", "x\x95", false, false, NameEncoding::Latin1, "x\xC2\x95", "x\xC2\x95"},
        // ASCII is checked eight bytes at a time: what follows a long run
        // is still read character by character.
        {"lone lead byte after long ASCII", "documents/x\x95", false, false, NameEncoding::Latin1,
         "documents/x\xC2\x95", "documents/x\xC2\x95"},
        {"UTF-8 across the sixteenth byte", "reports/summary\xC3\xA9.txt", true, true, NameEncoding::Utf8,
         "reports/summaryé.txt", "reports/summaryé.txt"},
        // Single bytes glibc refuses and Windows reads.
        {"CP932 as Windows reads it", "\x80\xA0\xFD\xFE\xFF" + SjisHyo, false, true, NameEncoding::Cp932,
         "\u0080\u00A0\uF8F0\uF8F1\uF8F2表", "\u0080\u00A0\uF8F0\uF8F1\uF8F2表"},
        {"undefined in CP932", "\x85\x40", false, false, NameEncoding::Latin1, "\u0085@", "\u0085@"},
        // Not a slash in disguise: half-width katakana to CP932.
        {"overlong slash", "\xC0\xAF", false, true, NameEncoding::Cp932, "ﾀｯ", "ﾀｯ"},
        // Not UTF-8; CP932 as Windows reads it, with 0x80 as U+0080.
        {"UTF-16 surrogate", "\xED\xA0\x80", false, true, NameEncoding::Cp932, "恝\u0080", "恝\u0080"},
        {"above U+10FFFF", "\xF4\x90\x80\x80", false, true, NameEncoding::Cp932, "\uE33F\u0080\u0080",
         "\uE33F\u0080\u0080"},
        {"zero byte", std::string("a\0b", 3), true, true, NameEncoding::Utf8, std::string("a\0b", 3), ""},
        {"nothing left", "../..", true, true, NameEncoding::Utf8, "../..", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(isValidUtf8(c.stored), c.utf8);
        EXPECT_EQ(isValidCp932(c.stored), c.cp932);
        EXPECT_EQ(detectNameEncoding(entriesNamed({c.stored})), c.encoding);
        EXPECT_EQ(decodeName(c.stored, c.encoding), c.display);
        EXPECT_EQ(outputNameFor(c.stored, c.encoding), c.output);
        EXPECT_TRUE(isValidUtf8(decodeName(c.stored, c.encoding)));
    }
}

// The encoding is decided for the whole archive: one name that is not UTF-8
// moves every name to CP932, and one that is neither moves all to Latin-1.
TEST(NameDecoding, OneArchiveOneEncoding)
{
    struct Case {
        const char* what;
        std::vector<std::string> names;
        NameEncoding expected;
    };
    const Case cases[] = {
        {"no names", {}, NameEncoding::Utf8},
        {"ASCII and UTF-8", {"a.txt", "日本語.txt", "\xF0\x9F\x98\x80"}, NameEncoding::Utf8},
        {"ASCII and CP932", {"a.txt", SjisReport, SjisFolderHyo}, NameEncoding::Cp932},
        // 本 in UTF-8 (E6 9C AC) also reads as two CP932 characters.
        {"UTF-8 that is CP932 too", {"\xE6\x9C\xAC", SjisHyo}, NameEncoding::Cp932},
        // 日本語.txt in UTF-8 ends in 0x9E '.', no CP932 pair.
        {"UTF-8 and CP932 mixed", {"日本語.txt", SjisHyo}, NameEncoding::Latin1},
        {"CP932 and Latin-1", {SjisHyo, "caf\xE9"}, NameEncoding::Latin1},
        // One of Windows' single bytes no longer garbles the Shift_JIS names beside it.
        {"CP932 and a Windows single byte", {SjisHyo + ".txt", "x\xA0.txt"}, NameEncoding::Cp932},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(detectNameEncoding(entriesNamed(c.names)), c.expected);
    }
}

// The choice the programs take from --names=, applied to an open archive.
TEST(NameDecoding, ChoiceOverridesTheDetectedEncoding)
{
    TempDir dir;
    // Through ArchiveIndex, so the stored names keep every byte (DataBuffer's
    // setName would turn the 0x5C bytes into slashes).
    ArchiveIndex index;
    for (const std::string& name : {SjisFolderHyo, std::string("plain.txt")}) {
        DataBuffer buffer;
        buffer.info.name = name;
        index.addEntry(buffer);
    }
    index.setPath(dir / "sjis.vza");
    ASSERT_TRUE(index.save(0));
    Archive archive;
    ASSERT_TRUE(archive.open(dir / "sjis.vza", ""));

    struct Case {
        const char* text;
        NameEncoding encoding;
        std::string display;
    };
    const Case cases[] = {
        {"auto", NameEncoding::Cp932, "フォルダ\\表.csv"},
        {"cp932", NameEncoding::Cp932, "フォルダ\\表.csv"},
        // Forced UTF-8: each byte that does not fit becomes U+FFFD.
        {"utf8", NameEncoding::Utf8, "\uFFFDt\uFFFDH\uFFFD\uFFFD\uFFFD_\\\uFFFD\\.csv"},
        {"latin1", NameEncoding::Latin1, "\u0083t\u0083H\u0083\u008B\u0083_\\\u0095\\.csv"},
        {"raw", NameEncoding::Raw, SjisFolderHyo},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        NameEncodingChoice choice = NameEncodingChoice::Auto;
        ASSERT_TRUE(parseNameEncodingChoice(c.text, choice));
        const NameEncoding encoding = chooseNameEncoding(archive.archiveIndex().entryTable().entries(), choice);
        EXPECT_EQ(encoding, c.encoding);
        EXPECT_STREQ(nameEncodingName(encoding), c.text == std::string("auto") ? "cp932" : c.text);
        EXPECT_EQ(decodeName(archive.entryName(0), encoding), c.display);
        EXPECT_EQ(decodeName(archive.entryName(1), encoding), "plain.txt");
    }
    EXPECT_EQ(detectNameEncoding(archive.archiveIndex().entryTable().entries()), NameEncoding::Cp932);

    NameEncodingChoice choice = NameEncodingChoice::Raw;
    for (const char* wrong : {"", "UTF8", "utf-8", "sjis", "latin-1", "auto "})
        EXPECT_FALSE(parseNameEncodingChoice(wrong, choice)) << wrong;
    EXPECT_EQ(choice, NameEncodingChoice::Raw);
}

// Latin-1 names that happen to decode as CP932 read as what Shift_JIS text
// almost never holds; real Shift_JIS names do not.
TEST(NameDecoding, DoubtfulCp932Readings)
{
    struct Case {
        const char* what;
        std::string stored;
        bool doubtful;
    };
    const Case cases[] = {
        {"Latin-1 \u00C4rger: half-width katakana before a letter", "\xC4rger", true},
        {"half-width katakana after a letter", "x\xB1.txt", true},
        {"user-defined area", "\xF0\x40.txt", true},
        {"Windows single byte in the user-defined area", "caf\xFD", true},
        {"half-width katakana beside digits and dots", "\xB1\xB2\xB3_01.txt", false},
        {"Shift_JIS with ASCII", SjisReport, false},
        {"r\u00E9sum\u00E9s reads as kanji", "r\xE9sum\xE9s", false},
        {"not CP932", "x\x95", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(cp932ReadingLooksWrong(c.stored), c.doubtful);
    }
    EXPECT_EQ(firstDoubtfulCp932Name(entriesNamed({SjisReport, "r\xE9sum\xE9s", "\xC4rger"})), 2);
    EXPECT_EQ(firstDoubtfulCp932Name(entriesNamed({SjisReport, SjisHyo})), -1);
}

// What extract refuses, judged once from the stored name for every command.
TEST(NameDecoding, VerdictOnStoredNames)
{
    std::string deep;
    for (int level = 0; level < 256; ++level)
        deep += "d/";
    struct Case {
        const char* what;
        std::string stored;
        NameEncoding encoding;
        NameVerdict verdict;
        std::string path;
    };
    const Case cases[] = {
        {"plain", "a/b.txt", NameEncoding::Utf8, NameVerdict::Writable, "a/b.txt"},
        {"made safe", "/x/../y", NameEncoding::Utf8, NameVerdict::Writable, "x/y"},
        {"backslashes", "a\\b", NameEncoding::Latin1, NameVerdict::Writable, "a/b"},
        {"CP932 trail byte", SjisFolderHyo, NameEncoding::Cp932, NameVerdict::Writable, "フォルダ/表.csv"},
        {"raw trail byte", SjisHyo, NameEncoding::Raw, NameVerdict::Writable, "\x95"},
        {"empty", "", NameEncoding::Utf8, NameVerdict::Empty, ""},
        {"zero byte", std::string("a\0b", 3), NameEncoding::Utf8, NameVerdict::HoldsNul, ""},
        {"nothing safe", "../.", NameEncoding::Utf8, NameVerdict::NothingSafe, ""},
        {"256 components", deep + "f", NameEncoding::Utf8, NameVerdict::TooManyComponents, ""},
        {"256 components after cleaning", "./" + deep.substr(2) + "f", NameEncoding::Utf8, NameVerdict::Writable,
         deep.substr(2) + "f"},
        {"255 bytes", std::string(255, 'n'), NameEncoding::Utf8, NameVerdict::Writable, std::string(255, 'n')},
        {"256 bytes", "a/" + std::string(256, 'n'), NameEncoding::Utf8, NameVerdict::ComponentTooLong, ""},
        // 128 bytes stored, 256 once each is a character of two bytes.
        {"too long once decoded", std::string(128, '\xE9'), NameEncoding::Latin1, NameVerdict::ComponentTooLong, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::string path = "unchanged";
        EXPECT_EQ(judgeStoredName(c.stored, c.encoding, &path), c.verdict);
        if (c.verdict == NameVerdict::Writable && !c.path.empty()) {
            EXPECT_EQ(path, c.path);
        }
    }
}
