// SPDX-License-Identifier: MIT
#include <gtest/gtest.h>

#include <cerrno>
#include <fstream>
#include <string>
#include <vector>

#include <sys/stat.h>
#include <unistd.h>

#include "testkit/temp_dir.h"
#include "vza/archive/extract/default_destination.h"

using namespace vza;

TEST(DefaultDestination, FolderNameIsTheArchiveNameWithoutVza)
{
    const std::pair<std::string, std::string> cases[] = {
        {"photos.vza", "photos"},
        {"/home/u/photos.VZA", "photos"},
        {"a/b.c.Vza", "b.c"},
        {"notes.vza.bak", "notes.vza.bak"},
        {"dir.vza/inner.vza", "inner"},
        {"plain", "plain"},
        {".vza", "archive"},
        {"..vza", "archive"},
        {"x/", "archive"},
        {"日本語.vza", "日本語"},
    };
    for (const auto& [path, name] : cases)
        EXPECT_EQ(destinationFolderName(path), name) << path;
}

// The folder is new every time: a folder, a file or a link already of that
// name is passed over for the next free "name (n)", and nothing of them is
// used or followed.
TEST(DefaultDestination, MakesAFreshFolderBesideTheArchive)
{
    test::TempDir dir;
    const std::string archive = dir / "photos.vza";
    std::string made;
    int error = -1;
    ASSERT_TRUE(makeDestinationBeside(archive, made, error));
    EXPECT_EQ(made, dir / "photos");
    EXPECT_EQ(error, 0);

    std::ofstream(dir / "photos (2)") << "a file in the way";
    ASSERT_EQ(::mkdir((dir / "elsewhere").c_str(), 0700), 0);
    ASSERT_EQ(::symlink("elsewhere", (dir / "photos (3)").c_str()), 0);
    ASSERT_TRUE(makeDestinationBeside(archive, made, error));
    EXPECT_EQ(made, dir / "photos (4)");
    struct stat status {};
    ASSERT_EQ(::lstat(made.c_str(), &status), 0);
    EXPECT_TRUE(S_ISDIR(status.st_mode));
    EXPECT_EQ(dir.list(), (std::vector<std::string>{"elsewhere", "photos", "photos (2)", "photos (3)", "photos (4)"}));
}

TEST(DefaultDestination, FolderThatCannotBeUsed)
{
    test::TempDir dir;
    std::string made = "unchanged";
    int error = 0;
    EXPECT_FALSE(makeDestinationBeside(dir / "missing/a.vza", made, error));
    EXPECT_EQ(error, ENOENT);
    EXPECT_EQ(made, "unchanged");

    if (::geteuid() == 0)
        GTEST_SKIP() << "root writes into a read-only folder: the EACCES case needs another user";
    ASSERT_EQ(::mkdir((dir / "ro").c_str(), 0500), 0);
    EXPECT_FALSE(makeDestinationBeside(dir / "ro/a.vza", made, error));
    EXPECT_EQ(error, EACCES);
}
