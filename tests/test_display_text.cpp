// SPDX-License-Identifier: MIT
#include <gtest/gtest.h>

#include <string>

#include "vza/archive/names/display_text.h"

using namespace vza;

// Each name as both programs show it: what could deceive or drive a
// terminal is escaped, plain text of any script is kept.
TEST(DisplayText, EscapesWhatHidesOrDeceivesAndKeepsText)
{
    struct Case {
        const char* what;
        std::string text;
        std::string shown;
    };
    const Case cases[] = {
        {"plain", "日本語/報告書.txt", "日本語/報告書.txt"},
        {"right-to-left override", "report\u202Efdp.sh", "report\\u202efdp.sh"},
        {"zero width space", "pay\u200Bpal", "pay\\u200bpal"},
        {"braille blank looks like a space", "a\u2800b", "a\\u2800b"},
        {"tag beyond U+FFFF", "x\U000E0041", "x\\U000e0041"},
        {"escape sequence", "red\x1b[31m", "red\\x1b[31m"},
        {"C1 control written in UTF-8", "csi\xC2\x9B", "csi\\xc2\\x9b"},
        {"DEL", "a\x7F", "a\\x7f"},
        {"invalid UTF-8", "bad\xFF", "bad\\xff"},
        {"cut sequence at the end", "cut\xE6\x97", "cut\\xe6\\x97"},
        {"backslash", "a\\b", "a\\\\b"},
        // The emoji selector is shown where it dresses its character...
        {"selector after an emoji", "\u2764\uFE0F.txt", "\u2764\uFE0F.txt"},
        {"selector after a wide emoji", "\U0001F600\uFE0F", "\U0001F600\uFE0F"},
        {"keycap", "1\uFE0F\u20E3", "1\uFE0F\u20E3"},
        // ...and escaped where it would only hide.
        {"selector after a letter", "a\uFE0Fb", "a\\ufe0fb"},
        {"selector first", "\uFE0Fa", "\\ufe0fa"},
        {"digit and selector, no keycap", "1\uFE0F.txt", "1\\ufe0f.txt"},
        {"two selectors", "\u2764\uFE0F\uFE0F", "\u2764\uFE0F\\ufe0f"},
        {"text selector after a letter", "a\uFE0E", "a\\ufe0e"},
        {"selector after an escaped character", "\u200B\uFE0F", "\\u200b\\ufe0f"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(displayText(c.text), c.shown);
    }
}

TEST(DisplayText, BackslashesAndRawBytes)
{
    EXPECT_EQ(displayText("フォルダ\\表.csv\u202E", DisplayBackslash::Kept), "フォルダ\\表.csv\\u202e");
    std::string out = "> ";
    appendDisplayText(out, "a\\b\n");
    EXPECT_EQ(out, "> a\\\\b\\x0a");
    // Bytes: nothing above 0x7F is taken as text.
    EXPECT_EQ(displayBytes("\x95\\.txt\x01"), "\\x95\\\\.txt\\x01");
    EXPECT_EQ(displayBytes("日"), "\\xe6\\x97\\xa5");
}
