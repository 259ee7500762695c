// SPDX-License-Identifier: MIT
// What the library promises about failures: a reason for every failure, the
// system's own reason where a system call caused it, and opening an archive
// that never costs the caller the archive it already has.
#include <gtest/gtest.h>

#include <cerrno>
#include <string>

#include "testkit/testkit.h"
#include "vza/archive/format/format.h"
#include "vza/archive/read/archive.h"
#include "vza/archive/write/archive_writer.h"

using namespace vza;
using namespace vza::test;

namespace {

TEST(ErrorContract, TheSystemReasonIsSavedAtTheFailure)
{
    TempDir dir;
    writeArchive(dir / "a.vza", {{"x.txt", bytesOf("hello")}}, 0);
    Archive archive;
    ASSERT_TRUE(archive.open(dir / "a.vza", ""));

    // errno is overwritten after the call: the saved reason must not change.
    EXPECT_FALSE(archive.extractEntry(0, dir / "missing/x.txt"));
    errno = EPERM;
    EXPECT_EQ(archive.lastError(), ArchiveError::CannotWriteOutput);
    EXPECT_EQ(archive.systemError(), ENOENT);
    EXPECT_EQ(errorMessage(archive.lastError(), archive.systemError()),
              "cannot write output: No such file or directory");

    // A success clears both; a failure without a system cause saves none.
    ASSERT_TRUE(archive.extractEntry(0, dir / "x.txt"));
    EXPECT_EQ(archive.lastError(), ArchiveError::None);
    EXPECT_EQ(archive.systemError(), 0);
    EXPECT_FALSE(archive.extractEntry(5, dir / "y.txt"));
    EXPECT_EQ(archive.lastError(), ArchiveError::NoSuchEntry);
    EXPECT_EQ(archive.systemError(), 0);
    EXPECT_EQ(errorMessage(ArchiveError::NoSuchEntry, 0), "no such entry");

    Archive missing;
    EXPECT_FALSE(missing.open(dir / "none.vza", ""));
    EXPECT_EQ(missing.lastError(), ArchiveError::CannotOpenArchive);
    EXPECT_EQ(missing.systemError(), ENOENT);

    ArchiveWriter writer;
    ASSERT_TRUE(writer.begin(0));
    ASSERT_TRUE(writer.addBytes("a", "x", 1));
    EXPECT_FALSE(writer.writeTo(dir / "missing/new.vza"));
    EXPECT_EQ(writer.lastError(), ArchiveError::CannotWriteOutput);
    EXPECT_EQ(writer.systemError(), ENOENT);

    DataBuffer buffer;
    EXPECT_FALSE(buffer.loadFile(dir / "none.txt"));
    EXPECT_EQ(buffer.systemError(), ENOENT);
    EXPECT_FALSE(buffer.loadFile(dir.path()));
    EXPECT_EQ(buffer.systemError(), EISDIR);
}

// The archive listed before: one entry, "kept.txt".
void openListed(Archive& archive, const TempDir& dir)
{
    writeArchive(dir / "listed.vza", {{"kept.txt", bytesOf("still here")}}, FlagCompressed);
    ASSERT_EQ(archive.openWithPassword(dir / "listed.vza", [](std::string&) { return false; }),
              Archive::OpenOutcome::Opened);
}

bool stillListed(Archive& archive)
{
    std::vector<std::uint8_t> bytes;
    return archive.entryCount() == 1 && archive.entryName(0) == "kept.txt" && archive.readData("kept.txt", &bytes) &&
           bytes == bytesOf("still here");
}

TEST(OpenWithPassword, EveryOutcomeButSuccessKeepsTheListedArchive)
{
    TempDir dir;
    writeArchive(dir / "secret.vza", {{"s.txt", bytesOf("sealed")}}, FlagEncrypted | FlagCompressed, "pw");
    writeBytes(dir / "text.txt", bytesOf("not an archive, just text"));
    Bytes flags255 = {0x00, 0x1D, 0x4F, 0xD6, 0x00, 0x00, 0x00, 0xFF};
    flags255.resize(32);
    writeBytes(dir / "flags255.vza", flags255);
    writeBytes(dir / "short.vza", {0x00, 0x1D, 0x4F, 0xD6, 0x00, 0x00, 0x00, 0x00, 0x01});

    struct Case {
        std::string file;
        bool answers;  // whether the callback gives a password
        std::string password;
        Archive::OpenOutcome outcome;
        ArchiveError error;
        int asked;  // how often the callback is asked
    };
    using O = Archive::OpenOutcome;
    const Case cases[] = {
        {"secret.vza", false, "", O::NoPassword, ArchiveError::EmptyPassword, 1},
        {"secret.vza", true, "wrong", O::Failed, ArchiveError::WrongPassword, 1},
        {"text.txt", true, "pw", O::NotAnArchive, ArchiveError::NotAnArchive, 0},
        {"none.vza", true, "pw", O::NotAnArchive, ArchiveError::CannotOpenArchive, 0},
        // What the probe refuses is not asked about, as probeFlags gives 255.
        {"flags255.vza", true, "pw", O::NotAnArchive, ArchiveError::EmptyPassword, 0},
        // The first 8 bytes pass; the header is cut short.
        {"short.vza", true, "pw", O::Failed, ArchiveError::NotAnArchive, 0},
    };
    for (const Case& c : cases) {
        Archive archive;
        openListed(archive, dir);
        int asked = 0;
        const auto passphrase = [&](std::string& password) {
            ++asked;
            password = c.password;
            return c.answers;
        };
        EXPECT_EQ(archive.openWithPassword(dir / c.file, passphrase), c.outcome) << c.file;
        EXPECT_EQ(archive.lastError(), c.error) << c.file;
        EXPECT_EQ(asked, c.asked) << c.file;
        EXPECT_TRUE(stillListed(archive)) << c.file;
    }

    Archive archive;
    openListed(archive, dir);
    int asked = 0;
    const auto right = [&](std::string& password) {
        ++asked;
        password = "pw";
        return true;
    };
    ASSERT_EQ(archive.openWithPassword(dir / "secret.vza", right), Archive::OpenOutcome::Opened);
    EXPECT_EQ(asked, 1);
    EXPECT_EQ(archive.lastError(), ArchiveError::None);
    std::vector<std::uint8_t> bytes;
    ASSERT_TRUE(archive.readData("s.txt", &bytes));
    EXPECT_EQ(bytes, bytesOf("sealed"));
    EXPECT_EQ(archive.find("kept.txt"), -1);
}

}  // namespace
