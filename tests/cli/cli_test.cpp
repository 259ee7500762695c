// SPDX-License-Identifier: MIT
// The vza binary, run on archives built here with the library's writer.
#include <algorithm>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "cli/cli_harness.h"
#include "vza/archive/format/format.h"
#include "vza/archive/read/archive.h"

namespace vza::clitest {
namespace {

namespace fs = std::filesystem;
using Strings = std::vector<std::string>;

bool contains(const std::string& text, const std::string& part)
{
    return text.find(part) != std::string::npos;
}

class CliTest : public ::testing::Test {
protected:
    RunResult vza(const Strings& args, const Strings& env = {}) { return runVza(args, dir.path(), env); }
    std::string at(const std::string& relative) const { return dir / relative; }

    TempDir dir;
};

// --- list and test --------------------------------------------------------

TEST_F(CliTest, ListShowsSizesRatioAndNamesThenTotals)
{
    writeArchive(at("a.vza"), {{"readme.txt", compressible(1000, 1)}, {"img/a.bin", "\x01\x02\x03"}}, FlagCompressed);
    const RunResult listed = vza({"list", "a.vza"});
    ASSERT_EQ(listed.status, 0) << listed.err;
    EXPECT_EQ(listed.err, "");
    EXPECT_TRUE(contains(listed.out, "      1000 ")) << listed.out;
    EXPECT_TRUE(contains(listed.out, "%  readme.txt\n")) << listed.out;
    EXPECT_TRUE(contains(listed.out, "         3          3     0%  img/a.bin\n")) << listed.out;
    EXPECT_TRUE(contains(listed.out, "      1003 ")) << listed.out;
    EXPECT_TRUE(contains(listed.out, "%  2 entries\n")) << listed.out;

    const RunResult names = vza({"list", "-q", "a.vza"});
    EXPECT_EQ(names.out, "readme.txt\nimg/a.bin\n");
}

// A listing is written in large pieces: one longer than a piece comes out
// whole and in order, every row in the table's columns (a sealed entry saves
// a negative share), and a name forced to UTF-8 shows what it cannot decode.
TEST_F(CliTest, LongListingsKeepEveryRowInOrder)
{
    constexpr int Count = 40000;  // well over a megabyte of rows
    auto nameOf = [](int i) { return "folder" + std::to_string(i % 97) + "/entry-" + std::to_string(i) + ".txt"; };
    writeArchive(
        at("many.vza"), Count,
        [&](int i) { return TestEntry(nameOf(i), std::string(static_cast<std::size_t>(i % 5), 'x')); }, FlagEncrypted,
        "pw");
    Archive archive;
    ASSERT_TRUE(archive.open(at("many.vza"), "pw"));
    std::string expected = "      Size     Stored  Saved  Name\n---------- ---------- ------  ----\n";
    std::string names;
    std::uint64_t totalSize = 0;
    std::uint64_t totalStored = 0;
    char row[96];
    auto saved = [](std::uint64_t size, std::uint64_t stored) {
        const double share = size == 0 ? 0 : 100.0 * (double(size) - double(stored)) / double(size);
        return static_cast<long long>(share < 0 ? share - 0.5 : share + 0.5);
    };
    for (int i = 0; i < Count; ++i) {
        const std::optional<EntryView> entry = archive.entry(i);
        std::snprintf(row, sizeof row, "%10u %10u %5lld%%  ", entry->originalSize, entry->storedSize,
                      saved(entry->originalSize, entry->storedSize));
        expected += row + nameOf(i) + "\n";
        names += nameOf(i) + "\n";
        totalSize += entry->originalSize;
        totalStored += entry->storedSize;
    }
    std::snprintf(row, sizeof row, "%10llu %10llu %5lld%%  ", static_cast<unsigned long long>(totalSize),
                  static_cast<unsigned long long>(totalStored), saved(totalSize, totalStored));
    expected += std::string("---------- ---------- ------  ----\n") + row + std::to_string(Count) + " entries\n";
    EXPECT_TRUE(contains(expected, " 16 -1500%  ")) << "a sealed byte, wider than its column";

    const RunResult listed = vza({"list", "many.vza"}, {"VZA_PASSWORD=pw"});
    ASSERT_EQ(listed.status, 0) << listed.err;
    EXPECT_TRUE(listed.out == expected) << "the listing differs from the expected one";
    const RunResult quiet = vza({"list", "-q", "many.vza"}, {"VZA_PASSWORD=pw"});
    EXPECT_TRUE(quiet.out == names) << "the names differ from the expected ones";

    writeArchive(at("latin.vza"), {{"caf\xE9\x01.txt", "x"}, {"plain.txt", "y"}}, 0);
    EXPECT_EQ(vza({"list", "-q", "--names=utf8", "latin.vza"}).out, "caf\uFFFD\\x01.txt\nplain.txt\n");
    EXPECT_EQ(vza({"list", "-q", "latin.vza"}).out, "caf\u00E9\\x01.txt\nplain.txt\n");
}

TEST_F(CliTest, VerboseListNamesTheArchiveAndItsKind)
{
    const struct {
        std::uint32_t flags;
        const char* kind;
    } cases[] = {
        {0, "plain"},
        {FlagCompressed, "compressed"},
        {FlagEncrypted, "encrypted"},
        {FlagEncrypted | FlagCompressed, "encrypted, compressed"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.kind);
        writeArchive(at("a b.vza"), {{"doc.txt", compressible(4000)}}, c.flags, "pw");
        const RunResult listed = vza({"list", "-v", "a b.vza"}, {"VZA_PASSWORD=pw"});
        ASSERT_EQ(listed.status, 0) << listed.err;
        EXPECT_TRUE(listed.out.starts_with("Archive: a b.vza (" + std::string(c.kind) + ")\n")) << listed.out;
        EXPECT_TRUE(contains(listed.out, "doc.txt\n")) << listed.out;  // the table follows as without -v
    }
}

TEST_F(CliTest, TestReportsEachEntryAndExitsOneOnDamage)
{
    writeArchive(at("a.vza"), {{"good", compressible(5000, 2)}, {"bad", compressible(5000, 3)}}, FlagCompressed);
    const RunResult clean = vza({"test", "a.vza"});
    EXPECT_EQ(clean.status, 0) << clean.err;
    EXPECT_EQ(clean.out, "OK      good\nOK      bad\n2 entries OK\n");

    // Flip bytes inside the second entry's zlib stream.
    std::string bytes = readFile(at("a.vza"));
    bytes[entryOffset(at("a.vza"), 1) + 40] ^= 0x55;
    bytes[entryOffset(at("a.vza"), 1) + 41] ^= 0x55;
    writeFile(at("a.vza"), bytes);
    const RunResult damaged = vza({"test", "a.vza"});
    EXPECT_EQ(damaged.status, 1);
    EXPECT_TRUE(contains(damaged.out, "OK      good\nFAILED  bad\n")) << damaged.out;
    EXPECT_TRUE(contains(damaged.err, "vza: 'bad': entry data corrupt\n")) << damaged.err;
}

// The format has no check of its own: only what went through zlib is
// checked. Eight bytes changed inside a stored entry cannot be seen, and
// test says so rather than calling the entry OK; the exit status stays 0.
TEST_F(CliTest, TestSaysWhatTheFormatCannotCheck)
{
    writeArchive(at("p.vza"), {{"a.txt", std::string(100, 'a')}, {"b.bin", std::string(100, 'b')}}, 0);
    std::string bytes = readFile(at("p.vza"));
    for (int k = 0; k < 8; ++k)
        bytes[entryOffset(at("p.vza"), 1) + 20 + k] = 'X';
    writeFile(at("p.vza"), bytes);
    const RunResult plain = vza({"test", "p.vza"});
    EXPECT_EQ(plain.status, 0) << plain.err;
    EXPECT_EQ(plain.out, "STORED  a.txt\nSTORED  b.bin\n0 entries OK, 2 stored entries have no check in this format\n");
    EXPECT_EQ(vza({"test", "-q", "p.vza"}).out, "");

    // Compressed, but a short entry stays stored (it would not shrink), sealed or not.
    for (const std::uint32_t flags : {FlagCompressed, FlagCompressed | FlagEncrypted}) {
        SCOPED_TRACE(flags);
        writeArchive(at("c.vza"), {{"big", compressible(5000)}, {"tiny", "xy"}}, flags, "pw");
        const RunResult mixed = vza({"test", "c.vza"}, {"VZA_PASSWORD=pw"});
        EXPECT_EQ(mixed.status, 0) << mixed.err;
        EXPECT_EQ(mixed.out, "OK      big\nSTORED  tiny\n1 entry OK, 1 stored entry has no check in this format\n");
        const RunResult extracted = vza({"extract", "c.vza", "-C", "out", "-o"}, {"VZA_PASSWORD=pw"});
        EXPECT_EQ(extracted.out, "2 entries written, 1 stored entry has no check in this format\n");
    }
    // All checked: extract says nothing, as before.
    writeArchive(at("z.vza"), {{"big", compressible(5000)}}, FlagCompressed);
    EXPECT_EQ(vza({"extract", "z.vza", "-C", "out", "-o"}).out, "");
}

// --- exit codes -------------------------------------------------------------

TEST_F(CliTest, ExitCodes)
{
    writeArchive(at("plain.vza"), {{"one", "1"}}, 0);
    writeArchive(at("secret.vza"), {{"one", "1"}}, FlagEncrypted, "right");
    writeFile(at("text.txt"), "not an archive at all, just some words");
    writeArchive(at("cut.vza"), {{"a name of some length", "x"}, {"another name", "y"}}, 0);
    fs::resize_file(at("cut.vza"), 40);  // the index is cut short

    struct Case {
        Strings args;
        Strings env;
        int status;
        std::string err;  // part of stderr
    };
    const std::vector<Case> cases = {
        {{"list", "plain.vza"}, {}, 0, ""},
        {{"test", "plain.vza"}, {}, 0, ""},
        {{"extract", "plain.vza", "-C", "out"}, {}, 0, ""},
        {{"--help"}, {}, 0, ""},
        {{"help", "extract"}, {}, 0, ""},
        {{"extract", "--help"}, {}, 0, ""},
        {{"--version"}, {}, 0, ""},
        {{"extract", "plain.vza", "-C", "out", "missing"}, {}, 1, "'missing': not in the archive"},
        {{}, {}, 2, "no command given"},
        {{"frob", "plain.vza"}, {}, 2, "unknown command 'frob'"},
        {{"list"}, {}, 2, "list needs an archive"},
        {{"list", "plain.vza", "extra"}, {}, 1, "'extra': not in the archive"},
        {{"test", "plain.vza", "one", "extra"}, {}, 1, "'extra': not in the archive"},
        {{"create", "new.vza"}, {}, 2, "at least one file"},
        {{"extract", "plain.vza", "-z"}, {}, 2, "-z is not valid for extract"},
        {{"list", "-y", "plain.vza"}, {}, 2, "unknown option -y"},
        {{"list", "--password", "right", "secret.vza"}, {}, 2, "never taken from the command line"},
        {{"list", "--password=right", "secret.vza"}, {}, 2, "never taken from the command line"},
        {{"list", "--quiet=yes", "plain.vza"}, {}, 2, "option --quiet takes no value"},
        {{"list", "--frob", "plain.vza"}, {}, 2, "unknown option --frob"},
        {{"create", "-C", "out", "new.vza", "text.txt"}, {}, 2, "-C is not valid for create"},
        {{"extract", "plain.vza", "-C"}, {}, 2, "option -C needs a value"},
        {{"help", "list", "test"}, {}, 2, "help takes at most one command"},
        {{"help", "frob"}, {}, 2, "no help for 'frob'"},
        {{"list", "missing.vza"}, {}, 2, "missing.vza: cannot open: No such file or directory"},
        {{"test", "."}, {}, 2, ".: is a folder, not an archive"},
        {{"list", "text.txt"}, {}, 2, "text.txt: not an archive"},
        {{"list", "cut.vza"}, {}, 2, "cut.vza: damaged index"},
        {{"list", "secret.vza"}, {}, 2, "no password was given"},
        {{"list", "secret.vza"}, {"VZA_PASSWORD=wrong"}, 2, "secret.vza: wrong password or damaged header"},
        {{"create", "-e", "new.vza", "text.txt"}, {}, 2, "-e needs a password"},
    };
    for (const Case& c : cases) {
        std::string line = "vza";
        for (const std::string& arg : c.args)
            line += " " + arg;
        SCOPED_TRACE(line);
        const RunResult result = vza(c.args, c.env);
        EXPECT_EQ(result.status, c.status) << result.err;
        if (c.status == 0) {
            EXPECT_EQ(result.err, "");
        } else {
            EXPECT_TRUE(result.err.starts_with("vza: ")) << result.err;
            EXPECT_TRUE(contains(result.err, c.err)) << result.err;
        }
    }
    EXPECT_FALSE(fs::exists(at("new.vza")));
}

// --- passwords --------------------------------------------------------------

TEST_F(CliTest, PasswordComesFromTheEnvironmentElseTheFile)
{
    writeArchive(at("secret.vza"), {{"doc.txt", "the contents"}}, FlagEncrypted | FlagCompressed, "right");
    writeFile(at("right.txt"), "right\nsecond line is not read\n");
    writeFile(at("right-crlf.txt"), "right\r\n");
    writeFile(at("wrong.txt"), "wrong\n");
    writeFile(at("empty.txt"), "\n");

    struct Case {
        Strings args;
        Strings env;
        int status;
        std::string err;
    };
    const std::vector<Case> cases = {
        {{}, {"VZA_PASSWORD=right"}, 0, ""},
        {{"--password-file", "right.txt"}, {}, 0, ""},
        {{"--password-file=right-crlf.txt"}, {}, 0, ""},
        {{"--password-file", "wrong.txt"}, {"VZA_PASSWORD=right"}, 0, ""},  // the variable comes first
        {{"--password-file", "wrong.txt"}, {}, 2, "wrong password"},
        {{"--password-file", "empty.txt"}, {}, 2, "first line of the password file is empty"},
        {{"--password-file", "nowhere.txt"}, {}, 2, "cannot read password file"},
        {{}, {"VZA_PASSWORD="}, 2, "set VZA_PASSWORD, use --password-file FILE"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.args) + testing::PrintToString(c.env));
        fs::remove_all(at("out"));
        Strings args{"extract", "secret.vza", "-C", "out"};
        args.insert(args.end(), c.args.begin(), c.args.end());
        const RunResult result = vza(args, c.env);
        EXPECT_EQ(result.status, c.status) << result.err;
        if (c.status == 0) {
            EXPECT_EQ(readFile(at("out/doc.txt")), "the contents");
        } else {
            EXPECT_TRUE(contains(result.err, c.err)) << result.err;
            EXPECT_FALSE(fs::exists(at("out/doc.txt")));
        }
    }
}

// What encryption hides and what it does not (the README says both): the
// names and sizes are enciphered with the entries, only the magic and the
// flags are in the clear; but ECB under an unsalted key shows equal blocks as
// equal, alike in every archive of that password, and a changed block of a
// stored entry goes unnoticed.
TEST_F(CliTest, EncryptionHidesNamesButNotEqualBlocks)
{
    const std::string name = "payroll-2026.txt";
    writeFile(at(name), std::string(64, 'A'));  // eight equal blocks
    for (const char* archive : {"one.vza", "two.vza"}) {
        const RunResult created = vza({"create", "-e", archive, name}, {"VZA_PASSWORD=pw"});
        ASSERT_EQ(created.status, 0) << created.err;
    }
    const Bytes one = readBytes(at("one.vza"));
    const Bytes two = readBytes(at("two.vza"));
    const std::string text(one.begin(), one.end());
    EXPECT_EQ(text.substr(0, 8), std::string("\x00\x1d\x4f\xd6\x00\x00\x00\x02", 8));
    EXPECT_EQ(text.find(name), std::string::npos);
    EXPECT_EQ(text.find("AAAAAAAA"), std::string::npos);

    // The entry's sealed form ends the file: an 8-byte prefix, then the data.
    ASSERT_GE(one.size(), 32u + 72u);
    const std::string data = text.substr(text.size() - 64);
    for (std::size_t block = 8; block < 64; block += 8)
        EXPECT_EQ(data.substr(block, 8), data.substr(0, 8)) << "block at " << block;
    ASSERT_EQ(two.size(), one.size());
    EXPECT_TRUE(std::equal(one.end() - 72, one.end(), two.end() - 72));

    Bytes changed = one;
    changed[changed.size() - 20] ^= 0x01;
    writeBytes(at("changed.vza"), changed);
    const RunResult tested = vza({"test", "changed.vza"}, {"VZA_PASSWORD=pw"});
    EXPECT_EQ(tested.status, 0) << tested.err;
    EXPECT_TRUE(contains(tested.out, "STORED  " + name + "\n")) << tested.out;
}

// The password leaves the environment at start: /proc/PID/environ (which
// the same user and root can read) no longer holds it, and the process is
// not dumpable, so its /proc files belong to root and no core file is made.
// Run as nobody when we are root, or that would prove nothing.
TEST_F(CliTest, PasswordLeavesTheEnvironmentAndTheProcessIsNotDumpable)
{
    const bool root = geteuid() == 0;
    writeArchive(at("secret.vza"), {{"doc.txt", "the contents"}}, FlagEncrypted, "very-secret-pw");
    const std::string archive = readFile(at("secret.vza"));
    // vza opens the FIFO and waits there for the archive: a state the test
    // can wait for (its own open returns), with vza's start well behind it.
    ASSERT_EQ(mkfifo(at("fifo").c_str(), 0600), 0);
    if (root) {
        ASSERT_EQ(chmod(dir.path().c_str(), 0777), 0);
        ASSERT_EQ(chmod(at("fifo").c_str(), 0666), 0);
    }
    std::string environ;
    bool environReadable = false;
    struct stat procStatus {};
    const auto watch = [&](pid_t pid) {
        const int fifo = open(at("fifo").c_str(), O_WRONLY | O_CLOEXEC);
        ASSERT_GE(fifo, 0);
        const std::string proc = "/proc/" + std::to_string(pid);
        stat((proc + "/status").c_str(), &procStatus);
        std::ifstream in(proc + "/environ", std::ios::binary);
        environReadable = in.good();
        environ.assign(std::istreambuf_iterator<char>(in), {});
        EXPECT_EQ(write(fifo, archive.data(), archive.size()), static_cast<ssize_t>(archive.size()));
        close(fifo);
    };
    const Strings args{"list", "-q", "fifo"};
    const Strings env{"VZA_PASSWORD=very-secret-pw"};
    const RunResult result =
        root ? runVzaAsNobodyWatched(args, dir.path(), env, watch) : runVzaWatched(args, dir.path(), env, watch);
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(result.out, "doc.txt\n");  // the password was still there to use
    EXPECT_EQ(procStatus.st_uid, 0u);    // not dumpable: owned by root, though vza is not
    EXPECT_FALSE(contains(environ, "very-secret-pw"));
    EXPECT_FALSE(contains(environ, "secret"));
    if (root) {
        EXPECT_TRUE(environReadable);  // root reads it: what it holds is what counts
    }
}

// Linking a finished file into place (through /proc/self/fd where the
// kernel wants it) still works for a user without privileges, though the
// process is not dumpable.
TEST_F(CliTest, ExtractWorksForAPlainUser)
{
    if (geteuid() != 0)
        GTEST_SKIP() << "runs vza as nobody through setpriv, which needs root";
    writeArchive(at("a.vza"), {{"dir/doc.txt", "the contents"}, {"top", "x"}}, FlagCompressed);
    ASSERT_EQ(chmod(dir.path().c_str(), 0777), 0);
    ASSERT_EQ(chmod(at("a.vza").c_str(), 0644), 0);
    const RunResult result =
        runVzaAsNobodyWatched({"extract", "-q", "a.vza", "-C", "out"}, dir.path(), {}, [](pid_t) {});
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(readFile(at("out/dir/doc.txt")), "the contents");
    struct stat status {};
    ASSERT_EQ(stat(at("out/dir/doc.txt").c_str(), &status), 0);
    EXPECT_NE(status.st_uid, 0u);
}

TEST_F(CliTest, PasswordIsAskedOnTheTerminalWithoutEcho)
{
    writeFile(at("doc.txt"), "the contents");
    const RunResult created =
        runVzaOnTerminal({"create", "-e", "secret.vza", "doc.txt"}, dir.path(),
                         {{"Password for the new archive", "hunter2"}, {"Repeat the password", "hunter2"}});
    EXPECT_EQ(created.status, 0) << created.out;
    EXPECT_FALSE(contains(created.out, "hunter2")) << created.out;

    const RunResult extracted = runVzaOnTerminal({"extract", "secret.vza", "-C", "out"}, dir.path(),
                                                 {{"Password for secret.vza: ", "hunter2"}});
    EXPECT_EQ(extracted.status, 0) << extracted.out;
    EXPECT_FALSE(contains(extracted.out, "hunter2")) << extracted.out;
    EXPECT_EQ(readFile(at("out/doc.txt")), "the contents");

    const RunResult differ =
        runVzaOnTerminal({"create", "-e", "other.vza", "doc.txt"}, dir.path(),
                         {{"Password for the new archive", "one"}, {"Repeat the password", "two"}});
    EXPECT_EQ(differ.status, 2);
    EXPECT_TRUE(contains(differ.out, "vza: the two passwords differ")) << differ.out;
    EXPECT_FALSE(fs::exists(at("other.vza")));
}

// --- extract ----------------------------------------------------------------

TEST_F(CliTest, DamagedEntriesFailWhileGoodOnesAreExtracted)
{
    const std::string good0 = compressible(70000, 4);
    const std::string good2 = compressible(3000, 5);
    writeArchive(at("a.vza"),
                 {{"good0", good0}, {"bad1", compressible(9000, 6)}, {"good2", good2}, {"bad3", compressible(9000, 7)}},
                 FlagCompressed);
    std::string bytes = readFile(at("a.vza"));
    bytes[entryOffset(at("a.vza"), 1) + 100] ^= 0x20;
    bytes.resize(entryOffset(at("a.vza"), 3) + 20);  // the last entry runs past the end
    writeFile(at("a.vza"), bytes);

    const RunResult result = vza({"extract", "a.vza", "-C", "out"});
    EXPECT_EQ(result.status, 1);
    EXPECT_TRUE(contains(result.err, "vza: 'bad1': entry data corrupt")) << result.err;
    EXPECT_TRUE(contains(result.err, "vza: 'bad3': entry data truncated")) << result.err;
    EXPECT_EQ(readFile(at("out/good0")), good0);
    EXPECT_EQ(readFile(at("out/good2")), good2);
    // No half-written output and no temporary file is left behind.
    EXPECT_EQ(listTree(at("out")), (Strings{"good0", "good2"}));
}

TEST_F(CliTest, UnsafeNamesNeverLeaveTheOutputFolder)
{
    fs::create_directories(at("out"));
    fs::create_directories(at("outside"));
    writeFile(at("outside/target"), "untouched");
    fs::create_directory_symlink("../outside", at("out/a"));
    fs::create_symlink("../outside/target", at("out/link"));
    writeArchiveAsGiven(at("a.vza"),
                        {{"../evil", "1"},
                         {"/abs", "2"},
                         {"a/../../b", "3"},
                         {"a/passwd", "4"},
                         {"", "5"},
                         {"..", "6"},
                         {"link", "7"},
                         {"ok/file", "8"},
                         {std::string("nul\0/x", 6), "9"}},
                        0);

    const RunResult result = vza({"extract", "a.vza", "-C", "out"});
    EXPECT_EQ(result.status, 1);
    EXPECT_TRUE(contains(result.err, "warning: '../evil' is written as 'evil'")) << result.err;
    EXPECT_TRUE(contains(result.err, "warning: '/abs' is written as 'abs'")) << result.err;
    EXPECT_TRUE(contains(result.err, "vza: 'a/../../b': 'a' is a symbolic link")) << result.err;
    EXPECT_TRUE(contains(result.err, "vza: 'a/passwd': 'a' is a symbolic link")) << result.err;
    EXPECT_TRUE(contains(result.err, "vza: entry 5 has an empty name")) << result.err;
    EXPECT_TRUE(contains(result.err, "vza: '..': nothing safe is left")) << result.err;
    EXPECT_TRUE(contains(result.err, "vza: 'nul\\x00/x': the name holds a NUL byte")) << result.err;

    // Nothing went through either link; the one at the end of a path was
    // replaced by the entry, not written through.
    EXPECT_EQ(listTree(at("outside")), (Strings{"target"}));
    EXPECT_EQ(readFile(at("outside/target")), "untouched");
    EXPECT_EQ(listTree(at("out")), (Strings{"a@", "abs", "evil", "link", "ok/", "ok/file"}));
    EXPECT_EQ(readFile(at("out/link")), "7");
    EXPECT_EQ(listTree(dir.path()), (Strings{"a.vza", "out/", "out/a@", "out/abs", "out/evil", "out/link", "out/ok/",
                                             "out/ok/file", "outside/", "outside/target"}));
}

TEST_F(CliTest, NeverWritesOverTheArchiveBeingRead)
{
    writeArchive(at("a.vza"), {{"a.vza", "replacement"}, {"hard.vza", "replacement"}, {"after", "still read"}}, 0);
    const std::string before = readFile(at("a.vza"));
    fs::create_hard_link(at("a.vza"), at("hard.vza"));  // the same file under another name

    const RunResult result = vza({"extract", "a.vza"});
    EXPECT_EQ(result.status, 1);
    EXPECT_TRUE(contains(result.err, "vza: 'a.vza': not writing over the archive being read")) << result.err;
    EXPECT_TRUE(contains(result.err, "vza: 'hard.vza': not writing over the archive being read")) << result.err;
    EXPECT_EQ(readFile(at("a.vza")), before);
    EXPECT_EQ(readFile(at("after")), "still read");

    // Named through a link, the link is what every entry is read by.
    writeArchive(at("b.vza"), {{"link.vza", "replacement"}, {"later", "still read"}}, 0);
    fs::create_symlink("b.vza", at("link.vza"));
    const RunResult linked = vza({"extract", "link.vza"});
    EXPECT_EQ(linked.status, 1);
    EXPECT_TRUE(contains(linked.err, "vza: 'link.vza': not writing over the archive being read")) << linked.err;
    EXPECT_TRUE(fs::is_symlink(at("link.vza")));
    EXPECT_EQ(readFile(at("later")), "still read");
}

TEST_F(CliTest, ExistingFilesKeepTheirModesSpecialFilesAreRefused)
{
    writeArchive(at("a.vza"), {{"private", "new"}, {"fifo", "new"}, {"folder", "new"}, {"fresh", "new"}}, 0);
    writeFile(at("out/private"), "old");
    ASSERT_EQ(chmod(at("out/private").c_str(), 0600), 0);
    ASSERT_EQ(mkfifo(at("out/fifo").c_str(), 0644), 0);
    fs::create_directory(at("out/folder"));

    const mode_t old = umask(027);
    const RunResult result = vza({"extract", "a.vza", "-C", "out"});
    umask(old);
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.err, "vza: 'fifo': a FIFO, device or socket is in the way at 'fifo'; not replacing it\n"
                          "vza: 'folder': a folder is in the way at 'folder'\n");
    EXPECT_EQ(readFile(at("out/private")), "new");
    EXPECT_EQ(fs::status(at("out/private")).permissions(), fs::perms::owner_read | fs::perms::owner_write);
    EXPECT_EQ(fs::status(at("out/fresh")).permissions(),
              fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    EXPECT_TRUE(fs::is_fifo(fs::symlink_status(at("out/fifo"))));
}

TEST_F(CliTest, HostileNamesAreRefusedBeforeAnyFolderIsMade)
{
    std::string deep;
    for (int level = 0; level < 300; ++level)
        deep += "d/";
    writeArchive(at("a.vza"), {{deep + "f", "x"}, {std::string(300, 'n'), "x"}, {"ok", "x"}}, 0);
    const RunResult result = vza({"extract", "a.vza", "-C", "out"});
    EXPECT_EQ(result.status, 1);
    EXPECT_TRUE(contains(result.err, "the name has more than 256 components")) << result.err;
    EXPECT_TRUE(contains(result.err, "'" + std::string(300, 'n') + "': name too long")) << result.err;
    EXPECT_EQ(listTree(at("out")), Strings{"ok"});
}

// An entry extract would refuse by its name is no entry test may call good:
// it fails there (exit 1), and list warns about it, with extract's reason.
TEST_F(CliTest, TestAndListReportNamesExtractRefuses)
{
    std::string deep;
    for (int level = 0; level < 300; ++level)
        deep += "d/";
    writeArchiveAsGiven(at("a.vza"),
                        {{deep + "f", "1"},
                         {std::string(300, 'n'), "2"},
                         {"", "3"},
                         {"../..", "4"},
                         {std::string("nul\0x", 5), "5"},
                         {"ok", "6"}},
                        0);
    const std::vector<std::string> reasons = {
        "'" + deep + "f': the name has more than 256 components; extract refuses it\n",
        "'" + std::string(300, 'n') + "': name too long; extract refuses it\n",
        "the name is empty; extract refuses it\n",
        "'../..': nothing safe is left of the name; extract refuses it\n",
        "'nul\\x00x': the name holds a NUL byte; extract refuses it\n",
    };
    const RunResult tested = vza({"test", "a.vza"});
    EXPECT_EQ(tested.status, 1);
    EXPECT_TRUE(tested.out.ends_with("FAILED  nul\\x00x\nSTORED  ok\n"
                                     "5 of 6 entries FAILED, 1 stored entry has no check in this format\n"))
        << tested.out;
    const RunResult listed = vza({"list", "-q", "a.vza"});
    EXPECT_EQ(listed.status, 0);
    for (const std::string& reason : reasons) {
        EXPECT_TRUE(contains(tested.err, reason)) << reason;
        EXPECT_TRUE(contains(listed.err, reason)) << reason;
    }
    EXPECT_TRUE(contains(listed.err, "vza: warning: entry 3: the name is empty")) << listed.err;
}

// True when process pid has ended (it is a zombie, not yet waited for).
bool finished(pid_t pid)
{
    const std::string stat = readFile("/proc/" + std::to_string(pid) + "/stat");
    const std::size_t paren = stat.rfind(')');
    return paren == std::string::npos || stat.compare(paren, 3, ") Z") == 0;
}

// The output file vza has open under folder, as /proc shows it, or "".
std::string openOutput(pid_t pid, const std::string& folder)
{
    std::error_code error;
    for (const auto& fd : fs::directory_iterator("/proc/" + std::to_string(pid) + "/fd", error)) {
        const std::string target = fs::read_symlink(fd.path(), error).string();
        if (target.rfind(folder + "/", 0) == 0)
            return target;
    }
    return "";
}

// Killed half-way through a large entry, vza leaves only the files it
// completed: the unnamed file vanishes by itself, a named temporary (as on
// file systems without O_TMPFILE) is removed by the signal handler.
TEST_F(CliTest, InterruptedExtractLeavesOnlyCompletedFiles)
{
    writeArchive(at("a.vza"), {{"done.txt", "complete"}, {"big.bin", std::string(96 << 20, 'z')}}, FlagCompressed);
    struct Case {
        bool named;
        int signal;
    };
    for (const Case c :
         {Case{true, SIGINT}, Case{true, SIGTERM}, Case{true, SIGHUP}, Case{false, SIGINT}, Case{false, SIGKILL}}) {
        SCOPED_TRACE(testing::Message() << "named " << c.named << " signal " << c.signal);
        bool interrupted = false;
        for (int attempt = 0; attempt < 5 && !interrupted; ++attempt) {
            fs::remove_all(at("out"));
            const Strings env = c.named ? Strings{"VZA_TEST_NAMED_TEMPORARIES=1"} : Strings{};
            const std::string out = fs::canonical(dir.path()).string() + "/out";
            const RunResult result = runVzaWatched({"extract", "a.vza", "-C", "out"}, dir.path(), env, [&](pid_t pid) {
                // Until vza is caught writing big.bin, or has ended.
                for (int wait = 0; wait < 100000 && !finished(pid); ++wait) {
                    const std::string open = openOutput(pid, out);
                    if (open.find("big.bin") != std::string::npos ||
                        (open.find("(deleted)") != std::string::npos && fs::exists(out + "/done.txt"))) {
                        kill(pid, c.signal);
                        interrupted = true;
                        return;
                    }
                    usleep(100);  // spaces the polls: what is awaited is the state above
                }
            });
            if (!interrupted)
                continue;                  // it finished first: try again
            EXPECT_EQ(result.status, -1);  // killed by the signal
            EXPECT_EQ(listTree(at("out")), Strings{"done.txt"});
        }
        EXPECT_TRUE(interrupted) << "vza was never caught half-way";
    }
}

// Without a terminal nothing is asked: existing files are replaced, or with
// -n (-k) kept, which is what was asked and so no failure: one summary line
// counts them.
TEST_F(CliTest, ExistingFilesAreReplacedOrWithNKept)
{
    writeArchive(at("a.vza"), {{"old.txt", "new contents"}, {"fresh.txt", "fresh"}, {"fresh.txt", "fresher"}},
                 FlagCompressed);
    struct Case {
        Strings options;
        std::string out;
        std::string old;  // old.txt afterwards
    };
    const std::vector<Case> cases = {
        {{"-n"}, "1 entry written, 1 existing file kept, 1 stored entry has no check in this format\n", "old contents"},
        {{"-k", "-q"}, "", "old contents"},
        {{"-o"}, "2 entries written, 2 stored entries have no check in this format\n", "new contents"},
        {{"--overwrite"}, "2 entries written, 2 stored entries have no check in this format\n", "new contents"},
        {{}, "2 entries written, 2 stored entries have no check in this format\n", "new contents"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.options));
        fs::remove_all(at("out"));
        writeFile(at("out/old.txt"), "old contents");
        Strings args{"extract", "a.vza", "-C", "out"};
        args.insert(args.end(), c.options.begin(), c.options.end());
        const RunResult result = vza(args);
        EXPECT_EQ(result.status, 0) << result.err;
        EXPECT_EQ(result.err, "");
        EXPECT_EQ(result.out, c.out);
        EXPECT_EQ(readFile(at("out/old.txt")), c.old);
        // Only files that were there before are kept: of two entries with
        // one name the later still wins.
        EXPECT_EQ(readFile(at("out/fresh.txt")), "fresher");
    }
    const RunResult both = vza({"extract", "-o", "-n", "a.vza"});
    EXPECT_EQ(both.status, 2);
    EXPECT_TRUE(contains(both.err, "-o replaces existing files and -n (-k) keeps them")) << both.err;
}

// On a terminal an existing file is asked about, as unzip asks: yes, no, all,
// none, rename. The test answers through a pseudo-terminal, waiting for each
// question to appear.
TEST_F(CliTest, ExistingFilesAreAskedAboutOnATerminal)
{
    writeArchive(at("a.vza"), {{"a.txt", "new a"}, {"b.txt", "new b"}, {"c.txt", "new c"}}, FlagCompressed);
    const auto question = [](const std::string& name) {
        return "replace out/" + name + "? [y]es, [n]o, [A]ll, [N]one, [r]ename: ";
    };
    struct Case {
        const char* what;
        std::vector<TerminalTurn> turns;
        Strings files;     // out/ afterwards: name=contents
        std::string says;  // part of what the terminal showed
    };
    const std::vector<Case> cases = {
        {"yes, no, yes",
         {{question("a.txt"), "y"}, {question("b.txt"), "n"}, {question("c.txt"), "y"}},
         {"a.txt=new a", "b.txt=old b", "c.txt=new c"},
         "2 entries written, 1 existing file kept, 2 stored entries have no check"},
        {"all", {{question("a.txt"), "A"}}, {"a.txt=new a", "b.txt=new b", "c.txt=new c"}, "3 entries written"},
        {"none",
         {{question("a.txt"), "N"}},
         {"a.txt=old a", "b.txt=old b", "c.txt=old c"},
         "0 entries written, 3 existing files kept"},
        {"asked again after an answer it does not know",
         {{question("a.txt"), "maybe"}, {"error: invalid response [maybe]\r\n" + question("a.txt"), "N"}},
         {"a.txt=old a", "b.txt=old b", "c.txt=old c"},
         ""},
        {"rename: the name offered, then one of its own after a refused one",
         {{question("a.txt"), "r"},
          {"new name [a (2).txt]: ", ""},
          {question("b.txt"), "r"},
          {"new name [b (2).txt]: ", "../b.txt"},
          {"is not a name for a file in that folder\r\nnew name [b (2).txt]: ", "mine.txt"},
          {question("c.txt"), "n"}},
         {"a (2).txt=new a", "a.txt=old a", "b.txt=old b", "c.txt=old c", "mine.txt=new b"},
         "2 entries written, 1 existing file kept"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        fs::remove_all(at("out"));
        for (const char* name : {"a", "b", "c"})
            writeFile(at("out/" + std::string(name) + ".txt"), "old " + std::string(name));
        const RunResult result = runVzaOnTerminal({"extract", "a.vza", "-C", "out"}, dir.path(), c.turns);
        EXPECT_EQ(result.status, 0) << result.out;
        EXPECT_TRUE(contains(result.out, c.says)) << result.out;
        Strings files;
        for (const std::string& name : listTree(at("out")))
            files.push_back(name + "=" + readFile(at("out/" + name)));
        EXPECT_EQ(files, c.files) << result.out;
    }
    // -o and -n ask nothing, terminal or not.
    const RunResult replaced = runVzaOnTerminal({"extract", "-o", "a.vza", "-C", "out"}, dir.path(), {});
    EXPECT_EQ(replaced.status, 0) << replaced.out;
    EXPECT_FALSE(contains(replaced.out, "replace ")) << replaced.out;
    EXPECT_EQ(readFile(at("out/b.txt")), "new b");
}

// Ctrl-C at the question ends the run as any interrupt does: the file asked
// about is untouched, nothing half-written is left, and the terminal's
// settings were never changed.
TEST_F(CliTest, InterruptAtTheQuestionEndsCleanly)
{
    writeArchive(at("a.vza"), {{"a.txt", "new a"}, {"b.txt", "new b"}}, FlagCompressed);
    writeFile(at("out/b.txt"), "old b");
    const RunResult result = runVzaOnTerminal({"extract", "-j", "1", "a.vza", "-C", "out"}, dir.path(),
                                              {{"replace out/b.txt? [y]es, [n]o, [A]ll, [N]one, [r]ename: ", "\x03"}},
                                              {"VZA_TEST_NAMED_TEMPORARIES=1"});
    EXPECT_EQ(result.status, -1) << result.out;  // died of SIGINT
    EXPECT_EQ(listTree(at("out")), (Strings{"a.txt", "b.txt"}));
    EXPECT_EQ(readFile(at("out/a.txt")), "new a");
    EXPECT_EQ(readFile(at("out/b.txt")), "old b");
}

TEST_F(CliTest, NamesAndPatternsChooseEntries)
{
    writeArchiveAsGiven(at("a.vza"),
                        {{"doc/a.txt", "A"},
                         {"doc/b.md", "B"},
                         {"src/x.txt", "X"},
                         {"a[1]", "bracket"},
                         {"a1", "one"},
                         {"dup", "first"},
                         {"dup", "second"},
                         {"win\\x.txt", "W"}},
                        0);
    struct Case {
        Strings names;
        int status;
        Strings files;
        std::string dup;  // the contents of dup, when written
    };
    const std::vector<Case> cases = {
        {{"*.txt"}, 0, {"doc/", "doc/a.txt", "src/", "src/x.txt", "win/", "win/x.txt"}, ""},  // '*' crosses '/'
        {{"doc/*"}, 0, {"doc/", "doc/a.txt", "doc/b.md"}, ""},
        {{"a[1]"}, 0, {"a[1]"}, ""},  // an exact name wins over the pattern
        {{"a[0-9]"}, 0, {"a1"}, ""},
        {{"doc\\b.md"}, 0, {"doc/", "doc/b.md"}, ""},  // a backslash as a slash
        {{"dup"}, 0, {"dup"}, "first"},                // an exact name: its first entry
        {{},
         0,
         {"a1", "a[1]", "doc/", "doc/a.txt", "doc/b.md", "dup", "src/", "src/x.txt", "win/", "win/x.txt"},
         "second"},
        {{"nothing*", "src/x.txt"}, 1, {"src/", "src/x.txt"}, ""},
        // A folder by name: everything under it, with or without a slash.
        {{"doc"}, 0, {"doc/", "doc/a.txt", "doc/b.md"}, ""},
        {{"doc/", "src//"}, 0, {"doc/", "doc/a.txt", "doc/b.md", "src/", "src/x.txt"}, ""},
        {{"do"}, 1, {}, ""},  // whole components only
        // Stored with a backslash, found by the path it is written to.
        {{"win/x.txt"}, 0, {"win/", "win/x.txt"}, ""},
        {{"win"}, 0, {"win/", "win/x.txt"}, ""},
        {{"win\\*"}, 0, {"win/", "win/x.txt"}, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.names));
        fs::remove_all(at("out"));
        Strings args{"extract", "a.vza", "-C", "out"};
        args.insert(args.end(), c.names.begin(), c.names.end());
        const RunResult result = vza(args);
        EXPECT_EQ(result.status, c.status) << result.err;
        EXPECT_EQ(listTree(at("out")), c.files);
        if (!c.dup.empty()) {
            EXPECT_EQ(readFile(at("out/dup")), c.dup);
        }
    }
}

TEST_F(CliTest, NamesArePrintedEscaped)
{
    writeArchiveAsGiven(at("a.vza"),
                        {{"red\x1b[31mtext", "1"},
                         {"bad\xff\xfe", "2"},
                         {"tab\there", "3"},
                         {"caf\xc3\xa9", "4"},
                         {"c1\xc2\x9b", "5"},
                         {"../\x1b]0;title\x07", "6"}},
                        0);
    // Read raw: with bytes that are not UTF-8 the archive would be read as
    // Latin-1, every byte a character.
    const RunResult listed = vza({"list", "-q", "--names=raw", "a.vza"});
    EXPECT_EQ(listed.out,
              "red\\x1b[31mtext\nbad\\xff\\xfe\ntab\\x09here\ncaf\\xc3\\xa9\nc1\\xc2\\x9b\n../\\x1b]0;title\\x07\n");
    const RunResult extracted = vza({"extract", "a.vza", "-C", "out", "../*"});
    EXPECT_EQ(extracted.status, 0) << extracted.err;
    EXPECT_EQ(extracted.err, "vza: warning: '../\\x1b]0;title\\x07' is written as '\\x1b]0;title\\x07'\n");
    const RunResult tested = vza({"test", "a.vza"});
    for (const std::string& text : {listed.out, tested.out, extracted.err})
        EXPECT_EQ(text.find('\x1b'), std::string::npos);
}

// On a terminal the progress line names the entry being worked on: a name
// that holds control bytes must come out escaped there too, so the line
// can neither drive the terminal nor break onto a new row.
TEST_F(CliTest, ProgressLineShowsEntryNamesEscaped)
{
    const struct {
        const char* what;
        std::string name;
        std::string shown;
    } cases[] = {
        {"escape sequences", "red\x1b[31m\x1b]0;title\x07", "red\\x1b[31m\\x1b]0;title\\x07"},
        {"C1 control in UTF-8",
         "csi\xc2\x9b"
         "2J",
         "csi\\xc2\\x9b2J"},
        {"carriage return and newline", "a\rb\nc", "a\\x0db\\x0ac"},
        {"not UTF-8 nor CP932: read as Latin-1", "bad\xfe\xe9", "bad\xc3\xbe\xc3\xa9"},
        {"four-byte UTF-8", "smile\xf0\x9f\x98\x80.txt", "smile\xf0\x9f\x98\x80.txt"},
        {"long and escaped", std::string(100, '\x1b'), "\\x1b\\x1b"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        writeArchive(at("p.vza"), {{c.name, compressible(1 << 20)}}, FlagCompressed);
        const RunResult result = runVzaOnTerminal({"test", "p.vza"}, dir.path(), {});
        ASSERT_EQ(result.status, 0) << result.out;
        // The first drawing: a carriage return, the line, an erase to its end.
        const std::size_t end = result.out.find("\x1b[K");
        const std::size_t start = result.out.rfind('\r', end);
        ASSERT_NE(end, std::string::npos) << result.out;
        ASSERT_NE(start, std::string::npos) << result.out;
        const std::string line = result.out.substr(start + 1, end - start - 1);
        EXPECT_TRUE(contains(line, c.shown)) << line;
        for (const unsigned char byte : line)
            EXPECT_TRUE(byte >= 0x20 && byte != 0x7f) << line;
        // And nowhere else on the terminal did a raw control byte of the name arrive.
        std::string rest = result.out;
        for (std::size_t at = rest.find("\x1b[K"); at != std::string::npos; at = rest.find("\x1b[K"))
            rest.erase(at, 3);
        std::erase(rest, '\r');
        std::erase(rest, '\n');
        for (const unsigned char byte : rest)
            EXPECT_TRUE(byte >= 0x20 && byte != 0x7f) << rest;
    }
}

// Characters of two, three and four bytes pass through create, list and
// extract unchanged; byte sequences that only look like them are escaped.
TEST_F(CliTest, MultiByteUtf8NamesRoundTripAndMalformedOnesAreEscaped)
{
    const Strings names{"caf\xc3\xa9.txt", "\xe5\x90\x8d\xe5\x89\x8d/\xe6\x96\x87\xe6\x9b\xb8.txt", "\xef\xbf\xbd",
                        "emoji \xf0\x9f\x98\x80.txt", "\xf4\x8f\xbf\xbf max"};
    for (const std::string& name : names)
        writeFile(at("in/" + name), "contents of " + name);
    ASSERT_EQ(runVza({"create", "../u.vza", "."}, at("in")).status, 0);
    Strings listed;
    for (std::string rest = vza({"list", "-q", "u.vza"}).out; !rest.empty(); rest.erase(0, rest.find('\n') + 1))
        listed.push_back(rest.substr(0, rest.find('\n')));
    std::sort(listed.begin(), listed.end());
    Strings sorted = names;
    std::sort(sorted.begin(), sorted.end());
    EXPECT_EQ(listed, sorted);
    const RunResult extracted = vza({"extract", "u.vza", "-C", "out", "*\xf0\x9f\x98\x80*", "\xe5\x90\x8d*"});
    ASSERT_EQ(extracted.status, 0) << extracted.err;
    EXPECT_EQ(listTree(at("out")), (Strings{"emoji \xf0\x9f\x98\x80.txt", "\xe5\x90\x8d\xe5\x89\x8d/",
                                            "\xe5\x90\x8d\xe5\x89\x8d/\xe6\x96\x87\xe6\x9b\xb8.txt"}));
    EXPECT_EQ(readFile(at("out/emoji \xf0\x9f\x98\x80.txt")), "contents of emoji \xf0\x9f\x98\x80.txt");

    const struct {
        const char* what;
        std::string name;
        std::string shown;
    } cases[] = {
        {"overlong slash",
         "a\xc0\xaf"
         "b",
         "a\\xc0\\xafb"},
        {"overlong three-byte", "\xe0\x80\xaf", "\\xe0\\x80\\xaf"},
        {"surrogate", "\xed\xa0\x80", "\\xed\\xa0\\x80"},
        {"past U+10FFFF", "\xf4\x90\x80\x80", "\\xf4\\x90\\x80\\x80"},
        {"four-byte cut short", "\xf0\x9f\x98", "\\xf0\\x9f\\x98"},
        {"lead byte alone before text", "\xe6x", "\\xe6x"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        writeArchive(at("bad.vza"), {{c.name, "x"}}, 0);
        // Read raw: by default a name that is not UTF-8 is decoded (as
        // Shift_JIS or Latin-1), and these bytes would all be characters.
        EXPECT_EQ(vza({"list", "-q", "--names=raw", "bad.vza"}).out, c.shown + "\n");
    }
}

// --- create -----------------------------------------------------------------

TEST_F(CliTest, CreateRoundTripsThroughListAndExtractForEveryFlag)
{
    const std::string big = compressible(300000, 8);
    std::string binary(70000, '\0');
    for (std::size_t i = 0; i < binary.size(); ++i)
        binary[i] = static_cast<char>((i * 2654435761u) >> 13);
    writeFile(at("in/top.txt"), "top");
    writeFile(at("in/src/b.txt"), big);
    writeFile(at("in/src/a/inner.bin"), binary);
    writeFile(at("in/empty.dat"), "");
    fs::create_directories(at("in/src/nothing"));

    struct Case {
        Strings flags;
        std::uint32_t archiveFlags;
    };
    const std::vector<Case> cases = {
        {{}, 0}, {{"-z"}, FlagCompressed}, {{"-e"}, FlagEncrypted}, {{"-z", "-e"}, FlagCompressed | FlagEncrypted}};
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.flags));
        fs::remove_all(at("out"));
        Strings args{"create", "../new.vza"};
        args.insert(args.end(), c.flags.begin(), c.flags.end());
        args.insert(args.end(), {"top.txt", "./src/", "empty.dat", "src/b.txt"});  // b.txt twice: stored once
        const Strings env{"VZA_PASSWORD=pw"};
        const RunResult created = runVza(args, at("in"), env);
        ASSERT_EQ(created.status, 0) << created.err;
        EXPECT_EQ(created.err, "");
        EXPECT_EQ(Archive().probeFlags(at("new.vza")), static_cast<std::int32_t>(c.archiveFlags));

        const RunResult names = vza({"list", "-q", "new.vza"}, env);
        EXPECT_EQ(names.out, "top.txt\nsrc/a/inner.bin\nsrc/b.txt\nempty.dat\n");
        const RunResult extracted = vza({"extract", "new.vza", "-C", "out"}, env);
        ASSERT_EQ(extracted.status, 0) << extracted.err;
        EXPECT_EQ(readFile(at("out/top.txt")), "top");
        EXPECT_EQ(readFile(at("out/src/b.txt")), big);
        EXPECT_EQ(readFile(at("out/src/a/inner.bin")), binary);
        EXPECT_EQ(listTree(at("out")),
                  (Strings{"empty.dat", "src/", "src/a/", "src/a/inner.bin", "src/b.txt", "top.txt"}));
        if (c.archiveFlags & FlagCompressed) {
            EXPECT_LT(fs::file_size(at("new.vza")), big.size() / 4);
        }
    }
}

TEST_F(CliTest, CreateRefusesUnsafePathsAndSkipsLinksAndSpecialFiles)
{
    writeFile(at("in/dir/file"), "kept");
    writeFile(at("in/dir/..\\..\\evil.sh"), "evil");
    fs::create_symlink("file", at("in/dir/link"));
    ASSERT_EQ(mkfifo(at("in/dir/fifo").c_str(), 0600), 0);
    writeFile(at("in/other"), "other");

    const RunResult result = runVza({"create", "../a.vza", "dir", at("in/other"), "dir/../other", "nothing"}, at("in"));
    EXPECT_EQ(result.status, 1);
    EXPECT_TRUE(contains(result.err, "warning: leading '/' removed from stored names")) << result.err;
    EXPECT_TRUE(contains(result.err, "'dir/../other': '..' is refused")) << result.err;
    EXPECT_TRUE(contains(result.err, "'dir/..\\\\..\\\\evil.sh': '..' is refused")) << result.err;
    EXPECT_TRUE(contains(result.err, "warning: skipped symbolic link 'dir/link'")) << result.err;
    EXPECT_TRUE(contains(result.err, "warning: skipped special file 'dir/fifo'")) << result.err;
    EXPECT_TRUE(contains(result.err, "cannot read 'nothing'")) << result.err;
    const std::string absolute = at("in/other").substr(1);
    EXPECT_EQ(vza({"list", "-q", "a.vza"}).out, "dir/file\n" + absolute + "\n");
}

// Every archive create writes, extract takes: a tree deeper than the names
// extract accepts is packed down to the limit, the rest skipped and named.
TEST_F(CliTest, CreateSkipsWhatIsDeeperThanExtractAccepts)
{
    std::string deep = "t";
    for (int level = 1; level < 300; ++level)
        deep += "/d";
    writeFile(at(deep + "/bottom"), "too deep");
    writeFile(at("t/top"), "kept");
    const RunResult created = vza({"create", "a.vza", "t"});
    EXPECT_EQ(created.status, 1) << created.err;
    std::string folder = "t";
    for (int level = 1; level < 256; ++level)
        folder += "/d";
    EXPECT_EQ(created.err, "vza: '" + folder + "': names of more than 256 components cannot be extracted; skipped\n");
    EXPECT_EQ(vza({"list", "-q", "a.vza"}).out, "t/top\n");
    const RunResult extracted = vza({"extract", "a.vza", "-C", "out"});
    EXPECT_EQ(extracted.status, 0) << extracted.err;
}

// When no input goes into the archive, none is written: an existing one
// stays byte for byte as it was, and the reason is given.
TEST_F(CliTest, CreateNeverReplacesAnArchiveByAnEmptyOne)
{
    fs::create_directories(at("d"));
    writeArchive(at("d/a.vza"), {{"precious", "data"}}, 0);
    const std::string before = readFile(at("d/a.vza"));
    ASSERT_EQ(mkfifo(at("fifo").c_str(), 0600), 0);
    {
        std::ofstream(at("huge"), std::ios::binary);
    }
    fs::resize_file(at("huge"), std::uint64_t{5} << 30);  // sparse: costs no disk

    struct Case {
        Strings args;
        std::string says;
    };
    const std::vector<Case> cases = {
        {{"create", "d/a.vza", "d/a.vza"}, "not adding the archive itself: 'd/a.vza'"},
        {{"create", "d/a.vza", "d"}, "not adding the archive itself: 'd/a.vza'"},
        {{"create", "-z", "d/a.vza", "missing"}, "cannot read 'missing'"},
        {{"create", "d/a.vza", "fifo"}, "skipped special file 'fifo'"},
        {{"create", "-z", "d/a.vza", "huge"}, "'huge': 4 GiB or larger"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.args));
        const RunResult result = vza(c.args);
        EXPECT_EQ(result.status, 1);
        EXPECT_TRUE(contains(result.err, c.says)) << result.err;
        EXPECT_TRUE(contains(result.err, "nothing to add; 'd/a.vza' left as it was")) << result.err;
        EXPECT_EQ(readFile(at("d/a.vza")), before);
        EXPECT_EQ(listTree(at("d")), Strings{"a.vza"});
    }
}

TEST_F(CliTest, CreateWritesToStandardOutputAsAStream)
{
    writeFile(at("in/a.txt"), compressible(300000, 3));
    writeFile(at("in/b.bin"), "\x01\x02");
    for (const Strings& flags : {Strings{}, Strings{"-z"}, Strings{"-z", "-e"}}) {
        SCOPED_TRACE(testing::PrintToString(flags));
        for (const char* output : {"-", "/dev/stdout"}) {
            Strings args{"create", output};
            args.insert(args.end(), flags.begin(), flags.end());
            args.push_back("in");
            // Standard output is a file here (the harness collects it in one).
            const RunResult created = vza(args, {"VZA_PASSWORD=pw"});
            ASSERT_EQ(created.status, 0) << created.err;
            writeFile(at("out.vza"), created.out);
            EXPECT_EQ(vza({"test", "out.vza"}, {"VZA_PASSWORD=pw"}).status, 0);
        }
        // A pipe, which cannot seek.
        std::string command = "cd '" + dir.path() + "' && VZA_PASSWORD=pw " + VZA_BINARY + " create - in";
        for (const std::string& flag : flags)
            command += " " + flag;
        ASSERT_EQ(std::system((command + " | cat > piped.vza").c_str()), 0);
        const RunResult tested = vza({"test", "piped.vza"}, {"VZA_PASSWORD=pw"});
        EXPECT_EQ(tested.status, 0) << tested.err;
        // Two bytes do not compress: b.bin stays stored, unchecked.
        EXPECT_EQ(tested.out, flags.empty() ? "STORED  in/a.txt\nSTORED  in/b.bin\n"
                                              "0 entries OK, 2 stored entries have no check in this format\n"
                                            : "OK      in/a.txt\nSTORED  in/b.bin\n"
                                              "1 entry OK, 1 stored entry has no check in this format\n");
    }
    EXPECT_EQ(listTree(at("in")), (Strings{"a.txt", "b.bin"}));

    // Never to a terminal.
    const RunResult onTerminal = runVzaOnTerminal({"create", "-", "in"}, dir.path(), {});
    EXPECT_EQ(onTerminal.status, 2);
    EXPECT_TRUE(contains(onTerminal.out, "not written to a terminal")) << onTerminal.out;
}

// SIGKILL in the middle of a create: the old archive is intact and no
// temporary file is left beside it.
TEST_F(CliTest, CreateKilledMidwayLeavesTheOldArchiveAndNoTemporary)
{
    writeArchive(at("a.vza"), {{"precious", "data"}}, 0);
    const std::string before = readFile(at("a.vza"));
    fs::create_directories(at("in"));
    {
        std::ofstream(at("in/large"), std::ios::binary);
    }
    fs::resize_file(at("in/large"), std::uint64_t{1} << 30);  // compressing it takes seconds

    const pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        if (chdir(dir.path().c_str()) == 0) {
            const int null = open("/dev/null", O_RDWR);
            dup2(null, 1);
            dup2(null, 2);
            execl(VZA_BINARY, VZA_BINARY, "create", "-z", "a.vza", "in", static_cast<char*>(nullptr));
        }
        _exit(127);
    }
    // Killed once it is reading the input, that is with the new archive open.
    const std::string input = fs::canonical(at("in/large")).string();
    bool reading = false;
    for (int tries = 0; tries < 2000 && !reading; ++tries) {
        std::error_code error;
        for (const auto& fd : fs::directory_iterator("/proc/" + std::to_string(pid) + "/fd", error)) {
            std::error_code ignored;
            if (fs::read_symlink(fd.path(), ignored).string() == input)
                reading = true;
        }
        if (!reading)
            usleep(5000);  // spaces the polls of /proc: what is awaited is the open input
    }
    kill(pid, SIGKILL);
    int status = 0;
    waitpid(pid, &status, 0);
    EXPECT_TRUE(reading);
    EXPECT_TRUE(WIFSIGNALED(status));
    EXPECT_EQ(readFile(at("a.vza")), before);
    EXPECT_EQ(listTree(dir.path()), (Strings{"a.vza", "in/", "in/large"}));
}

TEST_F(CliTest, CreateLeavesNothingBehindWhenTheArchiveWouldReachTwoGiB)
{
    writeFile(at("small"), "small");
    {
        std::ofstream(at("huge"), std::ios::binary);
    }
    fs::resize_file(at("huge"), MaxArchiveSize);  // sparse: costs no disk
    const RunResult result = vza({"create", "a.vza", "small", "huge"});
    EXPECT_EQ(result.status, 2);
    EXPECT_TRUE(contains(result.err, "2 GiB")) << result.err;
    EXPECT_EQ(listTree(dir.path()), (Strings{"huge", "small"}));
}

// A write that fails part way (here: files may not grow past a limit, as on
// a full disk) leaves neither the new archive nor its temporary files, and
// an archive that was there before is kept whole.
TEST_F(CliTest, CreateFailingToWriteLeavesNothingAndKeepsTheOldArchive)
{
    for (int i = 0; i < 20; ++i)
        writeFile(at("in/small/" + std::string(200, static_cast<char>('a' + i)) + ".bin"), std::string(1000, 'x'));
    writeFile(at("in/noise.bin"), std::string(reinterpret_cast<const char*>(randomBytes(300000, 1).data()), 300000));
    writeArchive(at("old.vza"), {{"old", "the old archive"}}, 0);
    const std::string old = readFile(at("old.vza"));
    const Strings before = listTree(dir.path());

    const struct {
        const char* what;
        Strings args;
        std::uint64_t limit;
        std::string err;
    } cases[] = {
        // 300 000 bytes of data cannot all be spooled.
        {"while adding an entry",
         {"-z", "noise.bin"},
         100000,
         "vza: ../old.vza: cannot write output (File too large)\n"
         "vza: ../old.vza: not replaced; the old archive is left as it was\n"},
        // The 20 000 bytes of the small files are spooled, but with the
        // index of their long names the whole archive does not fit.
        {"while finishing",
         {"small"},
         22000,
         "vza: ../old.vza: cannot write output (File too large)\n"
         "vza: ../old.vza: not replaced; the old archive is left as it was\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Strings args{"create", "../old.vza"};
        args.insert(args.end(), c.args.begin(), c.args.end());
        const RunResult result = runVzaWithFileSizeLimit(args, at("in"), c.limit);
        EXPECT_EQ(result.status, 2) << result.err;
        EXPECT_TRUE(result.err.starts_with(c.err)) << result.err;  // (a coverage build may add its own complaint)
        EXPECT_EQ(readFile(at("old.vza")), old);
        EXPECT_EQ(listTree(dir.path()), before);
    }

    // An output folder that does not exist: refused before anything is read.
    const RunResult nowhere = runVza({"create", "missing/a.vza", "noise.bin"}, at("in"));
    EXPECT_EQ(nowhere.status, 2);
    EXPECT_TRUE(contains(nowhere.err, "vza: missing/a.vza: cannot write output (No such file or directory)"))
        << nowhere.err;
    EXPECT_EQ(listTree(dir.path()), before);
}

// Extracting into a file that cannot take the entry (the kernel's copy
// fails, as the hand copy does) reports the entry and leaves no partial file,
// also where SIGXFSZ comes with its default action (it killed vza silently,
// status 153, leaving a partial temporary where files are named).
TEST_F(CliTest, ExtractFailingToWriteLeavesNoPartialFile)
{
    writeArchive(at("a.vza"), {{"small", "fits"}, {"stored", randomBytes(200000, 2)}, {"packed", compressible(200000)}},
                 FlagCompressed);
    for (bool signalDefault : {false, true}) {
        for (bool named : {false, true}) {
            SCOPED_TRACE(std::string(signalDefault ? "SIGXFSZ default" : "SIGXFSZ ignored") +
                         (named ? ", named temporaries" : ""));
            std::filesystem::remove_all(at("out"));
            const RunResult result =
                runVzaWithFileSizeLimit({"extract", "a.vza", "-C", "out"}, dir.path(), 150000, signalDefault,
                                        named ? Strings{"VZA_TEST_NAMED_TEMPORARIES=1"} : Strings{});
            EXPECT_EQ(result.status, 1) << result.err;
            EXPECT_TRUE(contains(result.err, "vza: 'stored': cannot write output: File too large")) << result.err;
            EXPECT_TRUE(contains(result.err, "vza: 'packed': cannot write output: File too large")) << result.err;
            EXPECT_EQ(listTree(at("out")), Strings{"small"});
            EXPECT_EQ(readFile(at("out/small")), "fits");
        }
    }
}

TEST_F(CliTest, CreateDoesNotPackTheArchiveItWrites)
{
    writeFile(at("in/file"), "data");
    ASSERT_EQ(runVza({"create", "self.vza", "."}, at("in")).status, 0);
    const RunResult again = runVza({"create", "self.vza", "."}, at("in"));
    EXPECT_EQ(again.status, 0) << again.err;
    EXPECT_EQ(again.err, "vza: warning: not adding the archive itself: './self.vza'\n");
    EXPECT_EQ(runVza({"list", "-q", "self.vza"}, at("in")).out, "file\n");
}

}  // namespace
}  // namespace vza::clitest
