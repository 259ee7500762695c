// SPDX-License-Identifier: MIT
// How vza shows names: escaped when they could deceive or drive the
// terminal, measured in terminal columns so that the progress line fits.
#include <gtest/gtest.h>

#include "cli/cli_harness.h"
#include "vza/archive/format/format.h"

namespace vza::clitest {
namespace {

using Strings = std::vector<std::string>;

bool contains(const std::string& text, const std::string& part)
{
    return text.find(part) != std::string::npos;
}

// Columns a UTF-8 text of ASCII and CJK takes: two for every character of
// three bytes or more, one for the rest.
std::size_t columns(const std::string& text)
{
    std::size_t width = 0;
    for (std::size_t i = 0; i < text.size();) {
        const auto lead = static_cast<unsigned char>(text[i]);
        const std::size_t length = lead < 0x80 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
        width += length >= 3 ? 2 : 1;
        i += length;
    }
    return width;
}

TEST(CliNames, CharactersThatDeceiveAreEscapedWhereverANameIsPrinted)
{
    TempDir dir;
    struct Case {
        std::string name;
        std::string shown;
    };
    const std::vector<Case> cases = {
        {"invoice\u202Efdp.sh", "invoice\\u202efdp.sh"},   // right-to-left override
        {"pay\u200Bpal.txt", "pay\\u200bpal.txt"},         // zero width space
        {"line\u2028break", "line\\u2028break"},           // line separator
        {"para\u2029graph", "para\\u2029graph"},           // paragraph separator
        {"iso\u2066late\u2069", "iso\\u2066late\\u2069"},  // bidi isolates
        {"\uFEFFbom", "\\ufeffbom"},                       // zero width no-break space
        {"tag\U000E0041", "tag\\U000e0041"},               // a tag character
        {"back\\slash", "back\\\\slash"},                  // the escape character itself
        {"日本語/報告書.txt", "日本語/報告書.txt"},        // plain text is kept
        {"caf\u00E9", "caf\u00E9"},
    };
    std::vector<TestEntry> entries;
    std::string expected;
    for (const Case& c : cases) {
        entries.push_back({c.name, "data"});
        expected += c.shown + "\n";
    }
    writeArchiveAsGiven(dir / "a.vza", entries, 0);

    EXPECT_EQ(runVza({"list", "-q", "a.vza"}, dir.path()).out, expected);
    const RunResult tested = runVza({"test", "a.vza"}, dir.path());
    const RunResult extracted = runVza({"extract", "-v", "a.vza", "-C", "out"}, dir.path());
    for (const Case& c : cases) {
        SCOPED_TRACE(c.shown);
        EXPECT_TRUE(contains(tested.out, "STORED  " + c.shown + "\n")) << tested.out;
        EXPECT_TRUE(contains(extracted.out + extracted.err, c.shown)) << extracted.out << extracted.err;
    }
}

TEST(CliNames, ShiftJisNamesAreListedAndExtractedAsUtf8)
{
    TempDir dir;
    // 日本語/報告書.txt and 表.txt as Japanese Windows stores them (CP932);
    // the second byte of 表 is 0x5C, a backslash in ASCII.
    const std::string report = "\x93\xfa\x96\x7b\x8c\xea/\x95\xf1\x8d\x90\x8f\x91.txt";
    const std::string table = "\x95\x5c.txt";
    writeArchiveAsGiven(dir / "sjis.vza", {{report, "report"}, {table, "table"}}, 0);

    struct Case {
        Strings args;
        std::string out;
    };
    const std::vector<Case> cases = {
        {{"list", "-q", "sjis.vza"}, "日本語/報告書.txt\n表.txt\n"},
        {{"list", "-q", "--names=cp932", "sjis.vza"}, "日本語/報告書.txt\n表.txt\n"},
        {{"list", "-q", "--names=raw", "sjis.vza"},
         "\\x93\\xfa\\x96{\\x8c\\xea/\\x95\\xf1\\x8d\\x90\\x8f\\x91.txt\n\\x95\\\\.txt\n"},
        {{"list", "-q", "-x", "日本語/*", "sjis.vza"}, "表.txt\n"},
        {{"test", "sjis.vza"},
         "STORED  日本語/報告書.txt\nSTORED  表.txt\n0 entries OK, 2 stored entries have no check in this format\n"},
        {{"extract", "-O", "sjis.vza", "日本語/報告書.txt"}, "report"},  // a name as shown picks its entry
        {{"extract", "-O", "sjis.vza", "*書*"}, "report"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.args));
        const RunResult result = runVza(c.args, dir.path());
        EXPECT_EQ(result.status, 0) << result.err;
        EXPECT_EQ(result.out, c.out);
    }

    const RunResult extracted = runVza({"extract", "sjis.vza", "-C", "out"}, dir.path());
    EXPECT_EQ(extracted.status, 0) << extracted.err;
    EXPECT_EQ(extracted.err, "");
    EXPECT_EQ(listTree(dir / "out"), (Strings{"日本語/", "日本語/報告書.txt", "表.txt"}));
    EXPECT_EQ(readFile(dir / "out/日本語/報告書.txt"), "report");
    // From a pipe, the same names.
    const RunResult piped = runVzaPiped({"list", "-q", "-"}, dir.path(), readFile(dir / "sjis.vza"));
    EXPECT_EQ(piped.out, "日本語/報告書.txt\n表.txt\n");
}

// Latin-1 names that all decode as CP932 are read as Shift_JIS by the rule;
// list says once how to read them otherwise, and --names latin1 does.
TEST(CliNames, Latin1NamesReadAsShiftJisGetOneNoteAndReadRightWhenAsked)
{
    TempDir dir;
    writeArchive(dir / "latin1.vza", {{"r\xE9sum\xE9s", "cv"}, {"\xC4rger", "anger"}, {"\xC4sop", "fable"}}, 0);
    writeArchiveAsGiven(dir / "sjis.vza", {{"\x95\x5C.txt", "t"}, {"\xB1\xB2\xB3_01.txt", "kana"}}, 0);
    const std::string note =
        "vza: note: the names are read as Shift_JIS, yet 'ﾄrger' reads like Latin-1; --names latin1 reads them so\n";

    struct Case {
        Strings args;
        std::string out;  // "" when only err and the status matter
        std::string err;
    };
    const std::vector<Case> cases = {
        {{"list", "latin1.vza"}, "", note},
        {{"list", "-q", "latin1.vza"}, "r駸um駸\nﾄrger\nﾄsop\n", ""},
        {{"list", "-q", "--names", "latin1", "latin1.vza"}, "résumés\nÄrger\nÄsop\n", ""},
        {{"list", "--names=latin1", "latin1.vza"}, "", ""},
        {{"list", "--names=cp932", "latin1.vza"}, "", ""},  // asked for: no second guess
        {{"list", "sjis.vza"}, "", ""},
        {{"extract", "-O", "--names=latin1", "latin1.vza", "Ärger"}, "anger", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.args));
        const RunResult result = runVza(c.args, dir.path());
        EXPECT_EQ(result.status, 0);
        EXPECT_EQ(result.err, c.err);
        if (!c.out.empty()) {
            EXPECT_EQ(result.out, c.out);
        }
    }
    const RunResult extracted = runVza({"extract", "--names=latin1", "latin1.vza", "-C", "out"}, dir.path());
    EXPECT_EQ(extracted.status, 0) << extracted.err;
    EXPECT_EQ(listTree(dir / "out"), (Strings{"résumés", "Ärger", "Äsop"}));
}

// One byte Windows reads in CP932 (0xA0, 0xFD-0xFF) beside real Shift_JIS
// names keeps them Shift_JIS; a trail byte 0x5C stays inside its character.
TEST(CliNames, WindowsSingleBytesKeepAnArchiveShiftJis)
{
    TempDir dir;
    writeArchiveAsGiven(dir / "a.vza", {{"\x95\x5C.txt", "table"}, {"x\xA0y\xFD.txt", "odd"}}, 0);
    const RunResult listed = runVza({"list", "-q", "a.vza"}, dir.path());
    EXPECT_EQ(listed.out, "表.txt\nx\u00A0y\uF8F0.txt\n");
    const RunResult extracted = runVza({"extract", "a.vza", "-C", "out"}, dir.path());
    EXPECT_EQ(extracted.status, 0) << extracted.err;
    EXPECT_EQ(listTree(dir / "out"), (Strings{"x\u00A0y\uF8F0.txt", "表.txt"}));
    // The name as listed, typed back, finds the entry.
    EXPECT_EQ(runVza({"extract", "-O", "a.vza", "x\u00A0y\uF8F0.txt"}, dir.path()).out, "odd");
}

// Operands are read as the stored names are: a backslash or a slash, a name
// or its folder, finds a Shift_JIS entry in every command that takes names.
TEST(CliNames, NamesAsTypedFindShiftJisEntriesInEveryCommand)
{
    TempDir dir;
    // ソフト\ソース.c and 表.txt in CP932: ソ and 表 end in 0x5C.
    const std::string source = "\x83\x5C\x83\x74\x83\x67\\\x83\x5C\x81\x5B\x83\x58.c";
    const std::string table = "\x95\x5C.txt";
    writeArchiveAsGiven(dir / "j.vza", {{source, "int main;"}, {table, "table"}}, 0);
    for (const std::string operand : {"ソフト\\ソース.c", "ソフト/ソース.c", "ソフト", "ソフト/", "ソフト/*", "ソ*"}) {
        SCOPED_TRACE(operand);
        EXPECT_EQ(runVza({"extract", "-O", "j.vza", operand}, dir.path()).out, "int main;");
        EXPECT_EQ(runVza({"list", "-q", "j.vza", operand}, dir.path()).out, "ソフト\\\\ソース.c\n");
        const RunResult tested = runVza({"test", "-q", "j.vza", operand}, dir.path());
        EXPECT_EQ(tested.status, 0) << tested.err;
        EXPECT_EQ(tested.out, "");
    }
    // The raw bytes, as a script may pass them, are read in the archive's encoding.
    EXPECT_EQ(runVza({"extract", "-O", "j.vza", table}, dir.path()).out, "table");
    const RunResult missed = runVza({"list", "-q", "j.vza", "ソフ", "表.txt"}, dir.path());
    EXPECT_EQ(missed.status, 1);
    EXPECT_EQ(missed.out, "表.txt\n");
    EXPECT_EQ(missed.err, "vza: 'ソフ': not in the archive\n");

    const RunResult deleted = runVza({"delete", "j.vza", "ソフト"}, dir.path());
    ASSERT_EQ(deleted.status, 0) << deleted.err;
    EXPECT_EQ(runVza({"list", "-q", "j.vza"}, dir.path()).out, "表.txt\n");
}

// list --json: one UTF-8 document for scripts, the names exact (not escaped
// for display), their bytes in hex where they do not read in the encoding.
TEST(CliNames, JsonListingGivesExactNamesAndTheirBytesWhenNeeded)
{
    TempDir dir;
    const std::string report = "\x93\xfa\x96\x7b\x8c\xea/\x95\xf1\x8d\x90\x8f\x91.txt";  // 日本語/報告書.txt
    writeArchiveAsGiven(dir / "sjis.vza", {{report, "report"}, {"\x95\x5C.txt", "table"}}, 0);
    writeArchiveAsGiven(dir / "odd.vza", {{"q\"b\\s\x01\u202E\x7f\u009B\u00C4.txt", "x"}}, FlagCompressed);
    writeArchive(dir / "latin1.vza", {{"\xC4rger", "y"}}, 0);
    writeArchive(dir / "empty.vza", {}, FlagEncrypted, "pw");

    struct Case {
        Strings args;
        std::string out;
    };
    const std::vector<Case> cases = {
        {{"list", "--json", "sjis.vza"},
         "{\"flags\":0,\"encrypted\":false,\"compressed\":false,\"encoding\":\"cp932\",\"entries\":[\n"
         "{\"index\":0,\"name\":\"日本語/報告書.txt\",\"size\":6,\"stored_size\":6},\n"
         "{\"index\":1,\"name\":\"表.txt\",\"size\":5,\"stored_size\":5}\n"
         "]}\n"},
        // Forced to UTF-8, the bytes that do not fit are U+FFFD, the bytes given in hex.
        {{"list", "--json", "--names=utf8", "sjis.vza", "-x", "*{*"},
         "{\"flags\":0,\"encrypted\":false,\"compressed\":false,\"encoding\":\"utf8\",\"entries\":[\n"
         "{\"index\":1,\"name\":\"\uFFFD\\\\.txt\",\"name_hex\":\"955c2e747874\",\"size\":5,\"stored_size\":5}\n"
         "]}\n"},
        // Quotes, backslashes and control characters escaped as JSON wants;
        // a bidi override, DEL and a C1 control escaped too, so the document
        // prints safely and still reads back exact; other characters as they are.
        {{"list", "--json", "-q", "odd.vza"},
         "{\"flags\":4,\"encrypted\":false,\"compressed\":true,\"encoding\":\"utf8\",\"entries\":[\n"
         "{\"index\":0,\"name\":\"q\\\"b\\\\s\\u0001\\u202e\\u007f\\u009b\u00C4.txt\",\"size\":1,\"stored_size\":1}\n"
         "]}\n"},
        // No note about Latin-1 with --json.
        {{"list", "--json", "latin1.vza"},
         "{\"flags\":0,\"encrypted\":false,\"compressed\":false,\"encoding\":\"cp932\",\"entries\":[\n"
         "{\"index\":0,\"name\":\"ﾄrger\",\"size\":1,\"stored_size\":1}\n"
         "]}\n"},
        {{"list", "--json", "empty.vza"},
         "{\"flags\":2,\"encrypted\":true,\"compressed\":false,\"encoding\":\"utf8\",\"entries\":[\n]}\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.args));
        const RunResult result = runVza(c.args, dir.path(), {"VZA_PASSWORD=pw"});
        EXPECT_EQ(result.status, 0) << result.err;
        EXPECT_EQ(result.err, "");
        EXPECT_EQ(result.out, c.out);
    }
}

TEST(CliNames, ProgressLineWithLongJapaneseNamesStaysOnOneLine)
{
    TempDir dir;
    std::string longName;
    for (int i = 0; i < 40; ++i)
        longName += "日本語の報告書/";
    writeArchive(dir / "a.vza", {{longName + "報告書.txt", std::string(1 << 20, 'x')}, {"短い.txt", "short"}}, 0);

    for (const std::string locale : {"LC_ALL=C", "LC_ALL=C.UTF-8"}) {
        SCOPED_TRACE(locale);
        const RunResult result = runVzaOnTerminal({"test", "a.vza"}, dir.path(), {}, {locale});
        ASSERT_EQ(result.status, 0) << result.out;
        // Each drawing is a carriage return, the line, and an erase of the
        // rest of the line. The terminal has 80 columns.
        std::vector<std::string> drawn;
        std::size_t end = 0;
        while ((end = result.out.find("\x1b[K", end)) != std::string::npos) {
            const std::size_t start = result.out.rfind('\r', end);
            ASSERT_NE(start, std::string::npos);
            if (end > start + 1)
                drawn.push_back(result.out.substr(start + 1, end - start - 1));
            end += 3;
        }
        ASSERT_FALSE(drawn.empty()) << result.out;
        for (const std::string& line : drawn) {
            EXPECT_LT(columns(line), 80u) << line;
            EXPECT_EQ(line.find('\n'), std::string::npos) << line;
        }
        // The first drawing shows the long name's tail and uses the room.
        EXPECT_TRUE(contains(drawn.front(), "...")) << drawn.front();
        EXPECT_TRUE(contains(drawn.front(), "報告書.txt")) << drawn.front();
        EXPECT_GE(columns(drawn.front()), 77u) << drawn.front();
    }
}

}  // namespace
}  // namespace vza::clitest
