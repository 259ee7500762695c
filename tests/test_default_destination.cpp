// SPDX-License-Identifier: MIT
#include <gtest/gtest.h>

#include <cerrno>
#include <fstream>
#include <string>
#include <vector>

#include <grp.h>
#include <sys/stat.h>
#include <sys/wait.h>
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

// What makeDestinationBeside reports for a read-only folder: 0 when it
// refused with EACCES and left made alone. Root writes into a read-only
// folder, so as root the call is made in a child running as nobody.
static int refusalInReadOnlyFolder(const std::string& archive)
{
    const auto attempt = [&] {
        std::string made = "unchanged";
        int error = 0;
        const bool ok = makeDestinationBeside(archive, made, error);
        return !ok && error == EACCES && made == "unchanged" ? 0 : 1;
    };
    if (::geteuid() != 0)
        return attempt();
    const pid_t child = ::fork();
    if (child == 0) {
        const bool dropped = ::setgroups(0, nullptr) == 0 && ::setgid(65534) == 0 && ::setuid(65534) == 0;
        ::_exit(dropped ? attempt() : 3);
    }
    int status = 0;
    if (child < 0 || ::waitpid(child, &status, 0) != child || !WIFEXITED(status))
        return 4;
    return WEXITSTATUS(status);
}

TEST(DefaultDestination, FolderThatCannotBeUsed)
{
    test::TempDir dir;
    std::string made = "unchanged";
    int error = 0;
    EXPECT_FALSE(makeDestinationBeside(dir / "missing/a.vza", made, error));
    EXPECT_EQ(error, ENOENT);
    EXPECT_EQ(made, "unchanged");

    ASSERT_EQ(::chmod(dir.path().c_str(), 0755), 0);
    ASSERT_EQ(::mkdir((dir / "ro").c_str(), 0555), 0);
    EXPECT_EQ(refusalInReadOnlyFolder(dir / "ro/a.vza"), 0);
    EXPECT_EQ(dir.list(), (std::vector<std::string>{"ro"}));
}
