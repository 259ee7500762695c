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

namespace vza {
namespace {

// Output paths are taken apart once: the folder (with where each component
// ends), the leaf, and the first problem met, component by component.
TEST(PathComponents, OutputPathsTakenApartOnce)
{
    std::string tooMany;
    for (std::size_t n = 0; n < MaxComponents; ++n)
        tooMany += "d/";
    struct Case {
        std::string path;
        bool mayClimb;
        OutputPathProblem problem;
        std::string folder;
        std::string leaf;
        bool climbs;
    };
    const Case cases[] = {
        {"a//./b/c", false, OutputPathProblem::None, "a/b", "c", false},
        {"/etc/x", false, OutputPathProblem::None, "etc", "x", false},  // data: the slash is no root
        {"/etc/x", true, OutputPathProblem::None, "etc", "x", true},
        {"a/../x", true, OutputPathProblem::None, "a/..", "x", true},
        {"a/../x", false, OutputPathProblem::Climbs, "", "", false},
        {"a/b/", false, OutputPathProblem::NamesAFolder, "", "", false},
        {"a/..", true, OutputPathProblem::NamesAFolder, "", "", false},
        {tooMany + "f", false, OutputPathProblem::TooManyComponents, "", "", false},
        {tooMany.substr(2) + "f", false, OutputPathProblem::None, tooMany.substr(2, tooMany.size() - 3), "f", false},
        {"a/" + std::string(MaxComponentLength + 1, 'n'), false, OutputPathProblem::ComponentTooLong, "", "", false},
        // The first problem in order wins.
        {"../" + tooMany + "f", false, OutputPathProblem::Climbs, "", "", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path.substr(0, 40));
        OutputPath out;
        ASSERT_EQ(splitOutputPath(c.path, c.mayClimb, out), c.problem);
        if (c.problem != OutputPathProblem::None)
            continue;
        EXPECT_EQ(out.folder.text, c.folder);
        EXPECT_EQ(out.leaf, c.leaf);
        EXPECT_EQ(out.climbs, c.climbs);
        std::string joined;
        for (std::size_t k = 0; k < out.folder.size(); ++k)
            joined += std::string(out.folder.component(k)) + (k + 1 < out.folder.size() ? "/" : "");
        EXPECT_EQ(joined, c.folder);
    }
}

}  // namespace
}  // namespace vza
