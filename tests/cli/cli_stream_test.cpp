// SPDX-License-Identifier: MIT
// Archives read from pipes: "-", /dev/stdin and FIFOs are read in one pass.
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <thread>

#include "cli/cli_harness.h"
#include "vza/archive/format/format.h"

namespace vza::clitest {
namespace {

using Strings = std::vector<std::string>;

bool contains(const std::string& text, const std::string& part)
{
    return text.find(part) != std::string::npos;
}

class CliStreamTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        big = compressible(300000, 11);
        for (std::uint32_t flags : {0u, FlagCompressed, FlagEncrypted | FlagCompressed}) {
            std::string name = std::to_string(flags);  // "a" + string trips a false -Wrestrict in g++ 12
            name.insert(0, 1, 'a');
            name += ".vza";
            writeArchive(dir / name, {{"one.txt", "first"}, {"dir/big.txt", big}, {"empty", ""}}, flags, "pw");
            archives.push_back(readFile(dir / name));
        }
    }

    // What vza test prints for archives[k]: only the large entry is
    // compressed, so only it is checked.
    static std::string testedOut(std::size_t k)
    {
        if (k == 0)
            return "STORED  one.txt\nSTORED  dir/big.txt\nSTORED  empty\n"
                   "0 entries OK, 3 stored entries have no check in this format\n";
        return "STORED  one.txt\nOK      dir/big.txt\nSTORED  empty\n"
               "1 entry OK, 2 stored entries have no check in this format\n";
    }

    TempDir dir;
    std::string big;
    std::vector<std::string> archives;  // plain, compressed, encrypted and compressed
};

TEST_F(CliStreamTest, ListAndTestReadStandardInputInOnePass)
{
    for (std::size_t k = 0; k < archives.size(); ++k) {
        const std::string& archive = archives[k];
        for (const char* path : {"-", "/dev/stdin"}) {
            SCOPED_TRACE(path);
            const RunResult listed = runVzaPiped({"list", "-q", path}, dir.path(), archive, {"VZA_PASSWORD=pw"});
            EXPECT_EQ(listed.status, 0) << listed.err;
            EXPECT_EQ(listed.out, "one.txt\ndir/big.txt\nempty\n");
            const RunResult tested = runVzaPiped({"test", path}, dir.path(), archive, {"VZA_PASSWORD=pw"});
            EXPECT_EQ(tested.status, 0) << tested.err;
            EXPECT_EQ(tested.out, testedOut(k));
        }
    }
}

TEST_F(CliStreamTest, ExtractWritesFilesFromAPipe)
{
    for (std::size_t k = 0; k < archives.size(); ++k) {
        SCOPED_TRACE(k);
        std::filesystem::remove_all(dir / "out");
        const RunResult extracted =
            runVzaPiped({"extract", "-", "-C", "out", "-x", "one.txt"}, dir.path(), archives[k], {"VZA_PASSWORD=pw"});
        EXPECT_EQ(extracted.status, 0) << extracted.err;
        EXPECT_EQ(listTree(dir / "out"), (Strings{"dir/", "dir/big.txt", "empty"}));
        EXPECT_TRUE(readFile(dir / "out/dir/big.txt") == big);
    }
    // Two entries of one name: the later wins, the earlier is read past.
    writeArchive(dir / "dup.vza", {{"same", "first"}, {"other", "x"}, {"same", "second"}}, 0);
    const RunResult dup = runVzaPiped({"extract", "-", "-C", "dup"}, dir.path(), readFile(dir / "dup.vza"));
    EXPECT_EQ(dup.status, 0) << dup.err;
    EXPECT_EQ(readFile(dir / "dup/same"), "second");
}

// Standard input redirected from the archive is the archive on disk: its
// own entry is never written over it.
TEST_F(CliStreamTest, ExtractFromStandardInputNeverWritesOverTheArchiveItReads)
{
    writeArchive(dir / "self.vza", {{"self.vza", "the entry"}, {"other.txt", "x"}}, 0);
    const std::string before = readFile(dir / "self.vza");
    const RunResult extracted = runVzaFromFile({"extract", "-"}, dir.path(), dir / "self.vza");
    EXPECT_EQ(extracted.status, 1) << extracted.err;
    EXPECT_EQ(extracted.err, "vza: 'self.vza': not writing over the archive being read\n");
    EXPECT_TRUE(readFile(dir / "self.vza") == before);
    EXPECT_EQ(readFile(dir / "other.txt"), "x");
}

// From a pipe the same engine places the files as from a file: a link inside
// the output folder is never followed, and a FIFO in the way is left alone.
TEST_F(CliStreamTest, ExtractFromAPipeNeverWritesThroughALinkOrOverAFifo)
{
    std::filesystem::create_directories(dir / "out");
    std::filesystem::create_directories(dir / "elsewhere");
    std::filesystem::create_directory_symlink("../elsewhere", dir / "out/docs");
    ASSERT_EQ(::mkfifo((dir / "out/fifo").c_str(), 0600), 0);
    writeArchive(dir / "hostile.vza", {{"docs/planted.sh", "evil"}, {"fifo", "data"}, {"fine.txt", "ok"}}, 0);
    const RunResult run = runVzaPiped({"extract", "-", "-C", "out"}, dir.path(), readFile(dir / "hostile.vza"));
    EXPECT_EQ(run.status, 1) << run.err;
    EXPECT_TRUE(contains(run.err, "is a symbolic link; not writing through it")) << run.err;
    EXPECT_TRUE(contains(run.err, "a FIFO, device or socket is in the way")) << run.err;
    EXPECT_EQ(listTree(dir / "elsewhere"), Strings{});
    EXPECT_TRUE(std::filesystem::is_fifo(dir / "out/fifo"));
    EXPECT_EQ(readFile(dir / "out/fine.txt"), "ok");
}

TEST_F(CliStreamTest, DamageInAStreamIsReportedAndTheEntriesAfterItAreStillRead)
{
    std::string damaged = archives[1];
    damaged[entryOffset(dir / "a4.vza", 1) + 200] ^= 0x40;
    const RunResult tested = runVzaPiped({"test", "-"}, dir.path(), damaged);
    EXPECT_EQ(tested.status, 1);
    EXPECT_EQ(tested.out, "STORED  one.txt\nFAILED  dir/big.txt\nSTORED  empty\n"
                          "1 of 3 entries FAILED, 2 stored entries have no check in this format\n");

    // Cut short: the entries that are whole pass, the rest fail as truncated.
    const std::string cut = archives[2].substr(0, entryOffset(dir / "a6.vza", 1, "pw") + 100);
    const RunResult truncated = runVzaPiped({"test", "-"}, dir.path(), cut, {"VZA_PASSWORD=pw"});
    EXPECT_EQ(truncated.status, 1);
    EXPECT_TRUE(contains(truncated.out, "STORED  one.txt\nFAILED  dir/big.txt\nFAILED  empty\n")) << truncated.out;
    EXPECT_TRUE(contains(truncated.err, "'dir/big.txt': entry data truncated")) << truncated.err;

    struct Case {
        std::string input;
        Strings env;
        std::string err;
    };
    const std::vector<Case> cases = {
        {"", {}, "standard input: not an archive"},
        {"not an archive at all", {}, "standard input: not an archive"},
        {archives[2].substr(0, 20), {"VZA_PASSWORD=pw"}, "standard input: "},
        {archives[2], {"VZA_PASSWORD=wrong"}, "standard input: wrong password"},
        {archives[2], {}, "standard input: the archive is encrypted and no password was given"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.err);
        const RunResult result = runVzaPiped({"list", "-"}, dir.path(), c.input, c.env);
        EXPECT_EQ(result.status, 2);
        EXPECT_TRUE(contains(result.err, "vza: " + c.err)) << result.err;
    }
}

TEST_F(CliStreamTest, AFifoIsReadOnceLikeAPipe)
{
    // As <(cat e.vza) gives it: a path to a pipe, here an encrypted archive,
    // whose flags, password check and index all come from the one pass.
    ASSERT_EQ(mkfifo((dir / "fifo").c_str(), 0600), 0);
    std::thread writer([&] { std::ofstream(dir / "fifo", std::ios::binary) << archives[2]; });
    const RunResult tested = runVza({"test", "fifo"}, dir.path(), {"VZA_PASSWORD=pw"});
    writer.join();
    EXPECT_EQ(tested.status, 0) << tested.err;
    EXPECT_EQ(tested.out, testedOut(2));
}

}  // namespace
}  // namespace vza::clitest
