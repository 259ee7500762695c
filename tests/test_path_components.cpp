// SPDX-License-Identifier: MIT
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "vza/archive/names/path_components.h"

using namespace vza;

namespace {

std::vector<std::string> split(const std::string& name, Backslash backslash)
{
    std::vector<std::string> parts;
    for (const std::string_view part : splitComponents(name, backslash))
        parts.emplace_back(part);
    return parts;
}

TEST(PathComponents, SplitKeepsEveryComponentEmptyOnesIncluded)
{
    using Parts = std::vector<std::string>;
    struct Case {
        std::string name;
        Backslash backslash;
        Parts parts;
    };
    const Case cases[] = {
        {"", Backslash::IsByte, {""}},
        {"a", Backslash::IsByte, {"a"}},
        {"/", Backslash::IsByte, {"", ""}},
        {"a//b/", Backslash::IsByte, {"a", "", "b", ""}},
        {"/etc/passwd", Backslash::IsByte, {"", "etc", "passwd"}},
        {"a\\..\\b", Backslash::IsByte, {"a\\..\\b"}},
        {"a\\..\\b", Backslash::IsSeparator, {"a", "..", "b"}},
        {"C:\\x/y", Backslash::IsSeparator, {"C:", "x", "y"}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(split(c.name, c.backslash), c.parts) << c.name;
}

TEST(PathComponents, OnlyRealNamesAreSteps)
{
    EXPECT_EQ(componentKind(""), ComponentKind::Empty);
    EXPECT_EQ(componentKind("."), ComponentKind::Dot);
    EXPECT_EQ(componentKind(".."), ComponentKind::DotDot);
    for (const char* name : {"...", ".hidden", "..x", "x..", " ", "a.b"})
        EXPECT_EQ(componentKind(name), ComponentKind::Name) << name;

    EXPECT_EQ(joinNameComponents(splitComponents("/./a//../b/.", Backslash::IsByte)), "a/b");
    EXPECT_EQ(joinNameComponents(splitComponents("../..", Backslash::IsByte)), "");
}

TEST(PathComponents, AnchorsAndLimits)
{
    EXPECT_TRUE(startsAtRoot("/x"));
    EXPECT_FALSE(startsAtRoot("x/"));
    EXPECT_FALSE(startsAtRoot(""));
    EXPECT_TRUE(hasDrivePrefix("C:"));
    EXPECT_TRUE(hasDrivePrefix("z:x"));
    EXPECT_FALSE(hasDrivePrefix("1:x"));
    EXPECT_FALSE(hasDrivePrefix(":x"));
    EXPECT_FALSE(hasDrivePrefix("C"));

    EXPECT_TRUE(componentLengthFits(std::string(MaxComponentLength, 'a')));
    EXPECT_FALSE(componentLengthFits(std::string(MaxComponentLength + 1, 'a')));
    // PATH_MAX counts the terminating NUL.
    EXPECT_TRUE(pathLengthFits(std::string(MaxPathLength - 1, 'a')));
    EXPECT_FALSE(pathLengthFits(std::string(MaxPathLength, 'a')));
    EXPECT_TRUE(componentCountFits(MaxComponents));
    EXPECT_FALSE(componentCountFits(MaxComponents + 1));
}

}  // namespace
