// SPDX-License-Identifier: MIT
// vza add and vza delete: archives written again with entries added,
// replaced or removed, the others copied as they are stored, and the old
// archive kept whole whenever that fails.
#include <filesystem>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include "cli/cli_harness.h"
#include "vza/archive/format/format.h"
#include "vza/archive/read/archive.h"

namespace vza::clitest {
namespace {

namespace fs = std::filesystem;
using Strings = std::vector<std::string>;

const Strings Env{"VZA_PASSWORD=pw"};

class CliEditTest : public ::testing::Test {
protected:
    RunResult vza(const Strings& args, const Strings& env = Env) { return runVza(args, dir.path(), env); }
    std::string at(const std::string& relative) const { return dir / relative; }

    // Every entry of the archive: its name, plain bytes and stored bytes.
    struct Read {
        std::string name;
        Bytes plain;
        Bytes stored;
        bool operator==(const Read&) const = default;
    };
    std::vector<Read> readAll(const std::string& path)
    {
        Archive archive;
        EXPECT_TRUE(archive.open(path, "pw")) << path;
        const Bytes file = readBytes(path);
        std::vector<Read> entries;
        for (std::int32_t i = 0; i < archive.entryCount(); ++i) {
            DataBuffer buffer;
            EXPECT_TRUE(archive.readEntry(i, buffer)) << archive.entryName(i);
            const auto from = file.begin() + static_cast<std::ptrdiff_t>(archive.storedOffset(i));
            entries.push_back(
                {std::string(archive.entryName(i)), buffer.bytes, Bytes(from, from + archive.entry(i)->storedSize)});
        }
        return entries;
    }

    TempDir dir;
};

const std::uint32_t AllFlags[] = {0u, FlagCompressed, FlagEncrypted, FlagCompressed | FlagEncrypted};

TEST_F(CliEditTest, AddReplacesAtTheFirstPositionDeleteRemovesEveryCopyOthersKeepTheirStoredBytes)
{
    const std::vector<TestEntry> entries = {
        {"keep.txt", compressibleBytes(40000, 3)},
        {"dup", bytesOf("first dup")},
        {"in/random.bin", randomBytes(5000, 9)},
        {"dup", bytesOf("second dup")},
        {"empty", Bytes{}},
    };
    writeFile(at("dup"), "the new dup");
    writeFile(at("new/one.txt"), compressible(3000, 4));
    writeFile(at("new/two.txt"), "two");
    for (std::uint32_t flags : AllFlags) {
        SCOPED_TRACE(flags);
        // Written through a link, which stays a link; the mode is kept.
        fs::remove(at("real.vza"));
        fs::remove(at("a.vza"));
        writeArchive(at("real.vza"), entries, flags, "pw");
        fs::create_symlink("real.vza", at("a.vza"));
        ASSERT_EQ(chmod(at("real.vza").c_str(), 0640), 0);
        const std::vector<Read> before = readAll(at("a.vza"));

        const RunResult added = vza({"add", "-v", "a.vza", "new", "dup"});
        ASSERT_EQ(added.status, 0) << added.err;
        EXPECT_EQ(added.out, "r dup\na new/one.txt\na new/two.txt\n");
        std::vector<Read> after = readAll(at("a.vza"));
        ASSERT_EQ(after.size(), 6u);
        EXPECT_EQ(after[0], before[0]);
        EXPECT_EQ(after[1].name, "dup");
        EXPECT_EQ(after[1].plain, bytesOf("the new dup"));
        EXPECT_EQ(after[2], before[2]);
        EXPECT_EQ(after[3], before[4]);
        EXPECT_EQ(after[4].name, "new/one.txt");
        EXPECT_EQ(after[4].plain, bytesOf(compressible(3000, 4)));
        EXPECT_EQ(after[5].plain, bytesOf("two"));
        EXPECT_EQ(Archive().probeFlags(at("a.vza")), static_cast<std::int32_t>(flags));
        EXPECT_TRUE(fs::is_symlink(at("a.vza")));
        EXPECT_EQ(fs::status(at("real.vza")).permissions() & fs::perms::all, fs::perms(0640));

        // Both copies of a name go; a pattern takes what it matches.
        writeArchive(at("real.vza"), entries, flags, "pw");
        const RunResult deleted = vza({"delete", "a.vza", "dup", "in/*"});
        ASSERT_EQ(deleted.status, 0) << deleted.err;
        after = readAll(at("a.vza"));
        EXPECT_EQ(after, (std::vector<Read>{before[0], before[4]}));
        EXPECT_EQ(dir.list(), (Strings{"a.vza", "dup", "new", "real.vza"}));
    }
}

TEST_F(CliEditTest, EncryptedArchiveAsksThePasswordOnceAndKeepsIt)
{
    writeArchive(at("e.vza"), {{"a", "aaa"}}, FlagEncrypted | FlagCompressed, "pw");
    writeFile(at("b"), "bbb");
    const RunResult added = runVzaOnTerminal({"add", "e.vza", "b"}, dir.path(), {{"Password for e.vza: ", "pw"}});
    ASSERT_EQ(added.status, 0) << added.out;
    EXPECT_EQ(added.out.find("Password"), added.out.rfind("Password")) << added.out;
    const std::vector<Read> after = readAll(at("e.vza"));
    ASSERT_EQ(after.size(), 2u);
    EXPECT_EQ(after[1].plain, bytesOf("bbb"));
}

TEST_F(CliEditTest, FailuresLeaveTheOldArchiveByteForByte)
{
    writeArchive(at("a.vza"), {{"a", compressibleBytes(30000, 1)}, {"b", randomBytes(60000, 2)}},
                 FlagCompressed | FlagEncrypted, "pw");
    writeFile(at("big"), std::string(reinterpret_cast<const char*>(randomBytes(200000, 3).data()), 200000));
    fs::create_directory(at("folder"));
    writeFile(at("pw.txt"), "pw\n");
    const Bytes old = readBytes(at("a.vza"));
    const Strings tree = listTree(dir.path());

    const struct {
        const char* what;
        Strings args;
        Strings env;
        int status;
        std::string err;
    } cases[] = {
        {"a missing input", {"add", "a.vza", "big", "missing"}, Env, 2, "cannot read 'missing'"},
        {"a name leaving the folder", {"add", "a.vza", "../x"}, Env, 2, "'..' is refused"},
        {"nothing to add", {"add", "a.vza", "folder"}, Env, 1, "nothing to add"},
        {"a wrong password", {"add", "a.vza", "big"}, {"VZA_PASSWORD=wrong"}, 2, "wrong password"},
        {"no password", {"delete", "a.vza", "a"}, {}, 2, "no password was given"},
        {"a name not there", {"delete", "a.vza", "a", "nope"}, Env, 2, "'nope': not in the archive"},
        {"a pattern matching nothing", {"delete", "a.vza", "*.txt"}, Env, 2, "'*.txt': no entry matches"},
        {"standard input", {"delete", "-", "a"}, Env, 2, "standard input cannot be"},
        {"a missing archive", {"add", "none.vza", "big"}, Env, 2, "none.vza: cannot open"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const RunResult result = vza(c.args, c.env);
        EXPECT_EQ(result.status, c.status) << result.err;
        EXPECT_NE(result.err.find(c.err), std::string::npos) << result.err;
        EXPECT_EQ(readBytes(at("a.vza")), old);
        EXPECT_EQ(listTree(dir.path()), tree);
    }

    // A full disk: the new archive cannot be written whole.
    const RunResult full =
        runVzaWithFileSizeLimit({"add", "--password-file", "pw.txt", "a.vza", "big"}, dir.path(), 150000);
    EXPECT_EQ(full.status, 2) << full.err;
    EXPECT_NE(full.err.find("a.vza: not changed; the old archive is left as it was"), std::string::npos) << full.err;
    EXPECT_EQ(readBytes(at("a.vza")), old);
    EXPECT_EQ(listTree(dir.path()), tree);
}

// An archive whose file name holds a backslash is found by that name, as
// create and list find it.
TEST_F(CliEditTest, ArchivePathWithABackslashIsEditedInPlace)
{
    writeFile(at("f.txt"), "f");
    writeFile(at("g.txt"), "g");
    ASSERT_EQ(vza({"create", "a\\b.vza", "f.txt"}).status, 0);
    const RunResult added = vza({"add", "a\\b.vza", "g.txt"});
    ASSERT_EQ(added.status, 0) << added.err;
    const RunResult deleted = vza({"delete", "a\\b.vza", "f.txt"});
    ASSERT_EQ(deleted.status, 0) << deleted.err;
    EXPECT_EQ(vza({"list", "-q", "a\\b.vza"}).out, "g.txt\n");
    EXPECT_EQ(dir.list(), (Strings{"a\\b.vza", "f.txt", "g.txt"}));
}

// Names match as list shows them, as for extract: a Shift_JIS name is
// deleted by its text, and the Japanese names left keep their bytes. A
// UTF-8 name would turn how every name of such an archive reads.
TEST_F(CliEditTest, ShiftJisArchivesMatchNamesAsShownAndTakeNoUtf8Names)
{
    const std::string nihongo = "\x93\xfa\x96\x7b\x8c\xea";  // 日本語 in Shift_JIS
    writeArchive(at("j.vza"), {{nihongo + "/a.txt", "a"}, {nihongo + "/b.txt", "b"}, {"c.txt", "c"}}, 0);
    const RunResult deleted = vza({"delete", "j.vza", "日本語/a.txt", "c.txt"});
    ASSERT_EQ(deleted.status, 0) << deleted.err;
    const std::vector<Read> after = readAll(at("j.vza"));
    ASSERT_EQ(after.size(), 1u);
    EXPECT_EQ(after[0].name, nihongo + "/b.txt");

    writeFile(at("日本語.txt"), "utf-8 name");
    writeFile(at("ascii.txt"), "plain name");
    const Bytes old = readBytes(at("j.vza"));
    const RunResult refused = vza({"add", "j.vza", "ascii.txt", "日本語.txt"});
    EXPECT_EQ(refused.status, 2);
    EXPECT_NE(refused.err.find("'日本語.txt': the archive's names are Shift_JIS"), std::string::npos) << refused.err;
    EXPECT_EQ(readBytes(at("j.vza")), old);
    const RunResult added = vza({"add", "j.vza", "ascii.txt"});
    ASSERT_EQ(added.status, 0) << added.err;
    EXPECT_EQ(vza({"list", "-q", "j.vza"}).out, "日本語/b.txt\nascii.txt\n");
}

}  // namespace
}  // namespace vza::clitest
