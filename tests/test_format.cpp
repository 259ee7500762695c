// SPDX-License-Identifier: MIT
#include <gtest/gtest.h>

#include "vza/archive/format/format.h"
#include "vza/archive/names/safe_name.h"

using namespace vza;

TEST(Format, WordsAreBigEndian)
{
    std::uint8_t bytes[4];
    putU32(ArchiveMagic, bytes);
    EXPECT_EQ(std::vector<std::uint8_t>(bytes, bytes + 4), (std::vector<std::uint8_t>{0x00, 0x1D, 0x4F, 0xD6}));
    EXPECT_EQ(getU32(bytes), 1920982u);

    const std::uint8_t high[4] = {0xFF, 0x00, 0x80, 0x01};
    EXPECT_EQ(getU32(high), 0xFF008001u);  // bytes are taken unsigned
}

TEST(Format, RoundUp8)
{
    const std::pair<std::int64_t, std::int64_t> cases[] = {{0, 0},
                                                           {1, 8},
                                                           {7, 8},
                                                           {8, 8},
                                                           {9, 16},
                                                           {43, 48},
                                                           // Lengths near 2^32 do not wrap.
                                                           {0xFFFFFFF9, 0x100000000},
                                                           {0xFFFFFFFF, 0x100000000}};
    for (const auto& [n, expected] : cases)
        EXPECT_EQ(roundUp8(n), expected) << n;
}

TEST(Format, BackslashesBecomeSlashesByteByByte)
{
    EXPECT_EQ(toSlashes("a\\b\\\\c"), "a/b//c");
    // The second byte of a Shift_JIS character may be 0x5C; it is turned too.
    EXPECT_EQ(toSlashes("\x95\x5C"), "\x95/");
}

TEST(SafeOutputName, KeepsEverythingInsideTheOutputFolder)
{
    const std::pair<const char*, const char*> cases[] = {
        {"readme.txt", "readme.txt"},
        {"img/a.bin", "img/a.bin"},
        {"../x", "x"},
        {"/etc/x", "etc/x"},
        {"a/../../b", "a/b"},
        {"..\\..\\win.ini", "win.ini"},
        {"C:\\Windows\\x", "Windows/x"},
        {"c:x", "x"},
        {"./a//b/./c", "a/b/c"},
        {"...", "..."},  // only "." and ".." are special
        {"a/..b/c..", "a/..b/c.."},
        {"", ""},
        {"/", ""},
        {"../..", ""},
        {"C:", ""},
    };
    for (const auto& [name, expected] : cases)
        EXPECT_EQ(safeOutputName(name), expected) << name;
}
