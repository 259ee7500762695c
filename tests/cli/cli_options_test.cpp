// SPDX-License-Identifier: MIT
// The options that choose and route entries: -x excludes, -O to stdout, -j threads.
#include <algorithm>
#include <filesystem>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "cli/cli_harness.h"
#include "vza/archive/format/format.h"

namespace vza::clitest {
namespace {

using Strings = std::vector<std::string>;

bool contains(const std::string& text, const std::string& part)
{
    return text.find(part) != std::string::npos;
}

class CliOptionsTest : public ::testing::Test {
protected:
    RunResult vza(const Strings& args, const Strings& env = {}) { return runVza(args, dir.path(), env); }

    TempDir dir;
};

// create -x as tar's --exclude: the whole path or a trailing part of it made
// of whole components; an excluded folder is not walked (the link in it is
// never even seen).
TEST_F(CliOptionsTest, CreateExcludesPathsByTheirTrailingPartsAndSkipsFoldersWhole)
{
    for (const char* file : {"in/src/a.c", "in/src/b.txt", "in/src/sub/c.txt", "in/doc/b.txt", "in/rc", "in/skip/d"})
        writeFile(dir / file, file);
    std::filesystem::create_symlink("../rc", dir / "in/skip/link");
    const Strings all{"in/doc/b.txt", "in/rc", "in/skip/d", "in/src/a.c", "in/src/b.txt", "in/src/sub/c.txt"};

    const struct {
        Strings excludes;
        Strings left;  // of all, what is left
        int status;    // 1 while the link is walked and skipped with a warning
    } cases[] = {
        {{"-x", "b.txt"}, {"in/rc", "in/skip/d", "in/src/a.c", "in/src/sub/c.txt"}, 1},
        {{"-x", "src"}, {"in/doc/b.txt", "in/rc", "in/skip/d"}, 1},
        {{"-x", "rc"}, {"in/doc/b.txt", "in/skip/d", "in/src/a.c", "in/src/b.txt", "in/src/sub/c.txt"}, 1},  // not src
        {{"-x", "src/*.txt"}, {"in/doc/b.txt", "in/rc", "in/skip/d", "in/src/a.c"}, 1},  // '*' crosses '/'
        {{"-x", "in/src/a.c", "--exclude=sub"}, {"in/doc/b.txt", "in/rc", "in/skip/d", "in/src/b.txt"}, 1},
        {{"-x", "skip"}, {"in/doc/b.txt", "in/rc", "in/src/a.c", "in/src/b.txt", "in/src/sub/c.txt"}, 0},
        {{"-x", "s?ip", "-x", "in"}, {}, 1},  // nothing left: no archive
        {{"-x", "i"}, all, 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.excludes));
        std::filesystem::remove(dir / "out.vza");
        Strings args{"create", "out.vza", "in"};
        args.insert(args.end(), c.excludes.begin(), c.excludes.end());
        const RunResult created = vza(args);
        EXPECT_EQ(created.status, c.status) << created.err;
        EXPECT_EQ(contains(created.err, "link"), c.status == 1 && !c.left.empty()) << created.err;
        if (c.left.empty()) {
            EXPECT_FALSE(std::filesystem::exists(dir / "out.vza"));
            continue;
        }
        std::string listed;
        for (const std::string& name : c.left)
            listed += name + "\n";
        EXPECT_EQ(vza({"list", "-q", "out.vza"}).out, listed);
    }
}

TEST_F(CliOptionsTest, ExcludesLeaveEntriesOutOfEveryReadingCommand)
{
    writeArchive(dir / "a.vza",
                 {{"doc/a.txt", "A"}, {"doc/b.md", "B"}, {"src/x.txt", "X"}, {"notes", "N"}, {"日本語.txt", "J"}}, 0);
    struct Case {
        Strings args;  // names and -x options
        Strings listed;
    };
    const std::vector<Case> cases = {
        {{"-x", "*.txt"}, {"doc/b.md", "notes"}},                       // '*' crosses '/'
        {{"-x", "doc/*", "-x", "notes"}, {"src/x.txt", "日本語.txt"}},  // repeated; an exact name
        {{"--exclude=src/*"}, {"doc/a.txt", "doc/b.md", "notes", "日本語.txt"}},
        {{"-x", "日本語.*"}, {"doc/a.txt", "doc/b.md", "src/x.txt", "notes"}},  // on the name as shown
        {{"-x", "nothing"}, {"doc/a.txt", "doc/b.md", "src/x.txt", "notes", "日本語.txt"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.args));
        std::string names;
        for (const std::string& name : c.listed)
            names += name + "\n";
        Strings list{"list", "-q", "a.vza"};
        list.insert(list.end(), c.args.begin(), c.args.end());
        EXPECT_EQ(vza(list).out, names);

        Strings test{"test", "-q", "a.vza"};
        test.insert(test.end(), c.args.begin(), c.args.end());
        const RunResult tested = vza(test);
        EXPECT_EQ(tested.status, 0) << tested.err;

        std::filesystem::remove_all(dir / "out");
        Strings extract{"extract", "-v", "a.vza", "-C", "out"};
        extract.insert(extract.end(), c.args.begin(), c.args.end());
        const RunResult extracted = vza(extract);
        EXPECT_EQ(extracted.status, 0) << extracted.err;
        Strings files;
        for (const std::string& path : listTree(dir / "out")) {
            if (path.back() != '/')
                files.push_back(path);
        }
        Strings expected = c.listed;
        std::sort(expected.begin(), expected.end());
        EXPECT_EQ(files, expected);
    }
    // Names and excludes together: the excludes win.
    const RunResult both = vza({"extract", "a.vza", "-O", "doc/*", "-x", "*.md"});
    EXPECT_EQ(both.out, "A");
    // A test counts only what it read.
    const RunResult tested = vza({"test", "a.vza", "-x", "doc/*"});
    EXPECT_TRUE(contains(tested.out, "\n0 entries OK, 3 stored entries have no check in this format\n")) << tested.out;
}

// vza create leaves out the files -x matches, the first, the last or one
// between, and still stores every other file's own bytes under its name.
TEST_F(CliOptionsTest, ExcludesLeaveFilesOutOfANewArchive)
{
    for (const std::string name : {"in/a.txt", "in/b/c.md", "in/b/d.txt", "in/e"})
        writeFile(dir / name, "bytes of " + name);
    struct Case {
        Strings excludes;
        Strings stored;
    };
    const std::vector<Case> cases = {
        {{"-x", "in/a.txt"}, {"in/b/c.md", "in/b/d.txt", "in/e"}},
        {{"-x", "*.md"}, {"in/a.txt", "in/b/d.txt", "in/e"}},
        {{"-x", "*.txt", "-x", "in/e"}, {"in/b/c.md"}},
        {{"-x", "nothing"}, {"in/a.txt", "in/b/c.md", "in/b/d.txt", "in/e"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.excludes));
        Strings create{"create", "-q", "-z", "new.vza", "in"};
        create.insert(create.end(), c.excludes.begin(), c.excludes.end());
        const RunResult created = vza(create);
        EXPECT_EQ(created.status, 0) << created.err;
        std::string listed, contents;
        for (const std::string& name : c.stored) {
            listed += name + "\n";
            contents += "bytes of " + name;
        }
        EXPECT_EQ(vza({"list", "-q", "new.vza"}).out, listed);
        EXPECT_EQ(vza({"extract", "-O", "new.vza"}).out, contents);
    }
    // Everything left out: no archive, and a reason.
    const RunResult none = vza({"create", "-q", "none.vza", "in", "-x", "*"});
    EXPECT_EQ(none.status, 1);
    EXPECT_TRUE(contains(none.err, "nothing to add")) << none.err;
    EXPECT_FALSE(std::filesystem::exists(dir / "none.vza"));
}

TEST_F(CliOptionsTest, ToStdoutWritesTheEntriesBytesAndSaysWhenACheckFailsAfterwards)
{
    const std::string big = compressible(400000, 21);
    std::string binary(70000, '\0');
    for (std::size_t i = 0; i < binary.size(); ++i)
        binary[i] = static_cast<char>((i * 2654435761u) >> 11);
    for (std::uint32_t flags : {0u, FlagCompressed, FlagEncrypted, FlagEncrypted | FlagCompressed}) {
        SCOPED_TRACE(flags);
        writeArchive(dir / "a.vza", {{"big.txt", big}, {"bin", binary}, {"empty", ""}, {"dup", "1"}, {"dup", "2"}},
                     flags, "pw");
        const Strings env{"VZA_PASSWORD=pw"};
        EXPECT_TRUE(vza({"extract", "-O", "a.vza", "bin"}, env).out == binary);
        // Every entry, in order, those of one name too.
        EXPECT_TRUE(vza({"extract", "--to-stdout", "a.vza"}, env).out == big + binary + "12");
        const RunResult piped =
            runVzaPiped({"extract", "-O", "-", "big.txt", "empty"}, dir.path(), readFile(dir / "a.vza"), env);
        EXPECT_EQ(piped.status, 0) << piped.err;
        EXPECT_TRUE(piped.out == big);
        EXPECT_EQ(piped.err, "");
        EXPECT_TRUE(listTree(dir.path()) == Strings{"a.vza"});  // no file was written
    }

    // Damage near the end of a zlib stream: the bytes before it have gone
    // out by the time the check fails, as with gzip -dc.
    writeArchive(dir / "z.vza", {{"big.txt", big}, {"after", "after"}}, FlagCompressed);
    std::string bytes = readFile(dir / "z.vza");
    bytes[entryOffset(dir / "z.vza", 1) - 2] ^= 0x01;  // in the Adler-32
    writeFile(dir / "z.vza", bytes);
    const RunResult damaged = vza({"extract", "-O", "z.vza"});
    EXPECT_EQ(damaged.status, 1);
    ASSERT_TRUE(damaged.out.ends_with("after"));
    const std::string written = damaged.out.substr(0, damaged.out.size() - 5);
    EXPECT_GT(written.size(), big.size() / 2);
    EXPECT_TRUE(big.starts_with(written));
    EXPECT_TRUE(contains(damaged.err, "vza: 'big.txt': ")) << damaged.err;
    EXPECT_TRUE(contains(damaged.err, "not to be trusted")) << damaged.err;
}

TEST_F(CliOptionsTest, AnOutputFolderThatCannotBeWrittenStopsTheRunWithTwo)
{
    // Root writes into a read-only folder, so as root vza runs as nobody.
    const bool root = geteuid() == 0;
    writeArchive(dir / "a.vza", {{"one", "1"}, {"two", "2"}}, 0);
    ASSERT_EQ(::mkdir((dir / "ro").c_str(), 0555), 0);
    ASSERT_EQ(::chmod(dir.path().c_str(), 0755), 0);
    ASSERT_EQ(::chmod((dir / "a.vza").c_str(), 0644), 0);
    const Strings args{"extract", "a.vza", "-C", "ro"};
    const RunResult result = root ? runVzaAsNobodyWatched(args, dir.path(), {}, [](pid_t) {}) : vza(args);
    EXPECT_EQ(result.status, 2);
    EXPECT_EQ(result.err, "vza: cannot write under 'ro': Permission denied\n");
    EXPECT_TRUE(dir.list() == (std::vector<std::string>{"a.vza", "ro"}) && std::filesystem::is_empty(dir / "ro"));
}

// The same files and the same messages, in the same order, on one thread
// and on several: duplicates, a file where a folder is wanted and renamed
// names among many small entries.
TEST_F(CliOptionsTest, ThreadsChangeNothingButTheTime)
{
    std::vector<TestEntry> entries;
    for (int i = 0; i < 600; ++i) {
        std::string name = "d" + std::to_string(i % 7) + "/f" + std::to_string(i % 150);
        if (i == 5)
            name = "x";
        if (i == 400)
            name = "x/y";
        if (i % 97 == 50)
            name = "../up" + std::to_string(i);
        entries.push_back({name, compressible(100 + i, static_cast<std::uint32_t>(i))});
    }
    writeArchiveAsGiven(dir / "a.vza", entries, FlagCompressed | FlagEncrypted);
    const Strings env{"VZA_PASSWORD=" + DefaultPassword};
    RunResult reference;
    Strings referenceTree;
    for (const char* threads : {"1", "4", "2"}) {
        SCOPED_TRACE(threads);
        std::filesystem::remove_all(dir / "out");
        const RunResult run = vza({"extract", "-v", "-j", threads, "a.vza", "-C", "out"}, env);
        EXPECT_EQ(run.status, 1);  // x/y cannot be written
        Strings tree;
        for (const std::string& path : listTree(dir / "out"))
            tree.push_back(path.back() == '/' ? path : path + " " + readFile(dir / ("out/" + path)));
        if (std::string(threads) == "1") {
            reference = run;
            referenceTree = tree;
            EXPECT_TRUE(contains(run.err, "'x/y': 'x' is not a folder")) << run.err;
            continue;
        }
        EXPECT_EQ(run.out, reference.out);
        EXPECT_EQ(run.err, reference.err);
        EXPECT_EQ(tree, referenceTree);
    }
    for (const char* bad : {"0", "65", "-1", "2x", ""}) {
        const RunResult refused = vza({"extract", "-j", bad, "a.vza", "-C", "out"}, env);
        EXPECT_EQ(refused.status, 2) << bad;
        EXPECT_TRUE(contains(refused.err, "-j takes a number of threads")) << refused.err;
    }
}

TEST_F(CliOptionsTest, HabitsFromOtherToolsGetAnAnswerThatHelps)
{
    writeArchive(dir / "a.vza", {{"one", "1"}}, 0);
    struct Case {
        Strings args;
        std::string err;
    };
    const std::vector<Case> cases = {
        {{"extract", "-p", "a.vza"}, "use -O (--to-stdout)"},
        {{"extract", "-O", "-C", "out", "a.vza"}, "-C, -n (-k) and -o do not go with it"},
        {{"extract", "-O", "-k", "a.vza"}, "-C, -n (-k) and -o do not go with it"},
        {{"list", "--names=latin9", "a.vza"}, "--names takes auto, utf8, cp932, latin1 or raw"},
        {{"list", "-O", "a.vza"}, "option -O is not valid for list"},
        {{"list", "-x", "", "a.vza"}, "-x needs a pattern"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.args));
        const RunResult result = vza(c.args);
        EXPECT_EQ(result.status, 2);
        EXPECT_TRUE(contains(result.err, c.err)) << result.err;
    }
    // Each command's help names the options it takes.
    const std::vector<std::pair<std::string, Strings>> helps = {
        {"list", {"-x, --exclude PATTERN", "--names MODE", "--json"}},
        {"test", {"-x, --exclude PATTERN", "--names MODE"}},
        {"extract", {"-C DIR", "-o, --overwrite", "-n", "-O, --to-stdout", "-x, --exclude PATTERN", "--names MODE"}},
        {"create", {"-z", "-e", "-x, --exclude PATTERN"}},
    };
    for (const auto& [command, options] : helps) {
        const RunResult help = vza({"help", command});
        for (const std::string& option : options)
            EXPECT_TRUE(contains(help.out, "\n  " + option + " ")) << command << ": " << option;
    }
}

// Habits from other tools: 7z's one-letter commands, getopt_long's unique
// prefixes, and messages that name an option as it was typed.
TEST_F(CliOptionsTest, ShortCommandsAndOptionPrefixes)
{
    writeArchive(dir / "a.vza", {{"one", "1"}, {"two", "22"}}, FlagCompressed);
    struct Case {
        Strings args;
        int status;
        std::string out;  // when status is 0
        std::string err;  // part of stderr otherwise
    };
    const std::vector<Case> cases = {
        {{"x", "-O", "a.vza", "two"}, 0, "22", ""},
        {{"l", "-q", "a.vza"}, 0, "one\ntwo\n", ""},
        {{"t", "-q", "a.vza"}, 0, "", ""},
        {{"l", "--qu", "--exc", "one", "a.vza"}, 0, "two\n", ""},
        {{"x", "--to", "a.vza", "--exclude=two"}, 0, "1", ""},
        {{"list", "--exclude"}, 2, "", "vza: option --exclude needs a pattern\n"},
        {{"list", "--exc"}, 2, "", "vza: option --exc needs a pattern\n"},
        {{"list", "--na=latin9", "a.vza"}, 2, "", "vza: option --na takes auto, utf8, cp932, latin1 or raw\n"},
        {{"x", "-j0", "a.vza"}, 2, "", "vza: option -j takes a number of threads from 1 to 64\n"},
        {{"x", "--thr", "0", "a.vza"}, 2, "", "vza: option --thr takes a number of threads from 1 to 64\n"},
        // An exact match wins: --password is the refusal, not --password-file.
        {{"list", "--password", "a.vza"}, 2, "", "never taken from the command line"},
        {{"list", "--pa=x", "a.vza"}, 2, "", "vza: option --pa is ambiguous: --password-file, --password\n"},
        {{"list", "--ver", "a.vza"}, 2, "", "option --ver is ambiguous: --verbose, --version"},
        {{"list", "--frob", "a.vza"}, 2, "", "unknown option --frob"},
        {{"list", "--", "a.vza"}, 0, "", ""},
        {{"l", "--over", "a.vza"}, 2, "", "option --over is not valid for list"},
        {{"z", "a.vza"}, 2, "", "unknown command 'z'"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.args));
        const RunResult result = vza(c.args);
        EXPECT_EQ(result.status, c.status) << result.err;
        if (c.status == 0) {
            if (!c.out.empty()) {
                EXPECT_EQ(result.out, c.out);
            }
        } else {
            EXPECT_TRUE(contains(result.err, c.err)) << result.err;
        }
    }
    EXPECT_TRUE(vza({"help", "x"}).out.starts_with("Usage: vza extract ARCHIVE"));
}

// What cannot be written to standard output is an error, whatever wrote it.
TEST_F(CliOptionsTest, AWriteErrorOnStandardOutputIsAnError)
{
    writeArchive(dir / "a.vza", {{"one", "1"}}, 0);
    for (const std::string args :
         {"--help", "--version", "help extract", "list a.vza", "extract -O a.vza", "list --json a.vza", "test a.vza"}) {
        SCOPED_TRACE(args);
        const std::string command = "cd '" + dir.path() + "' && " + VZA_BINARY + " " + args + " >/dev/full 2>err.txt";
        const int status = std::system(command.c_str());
        ASSERT_TRUE(WIFEXITED(status));
        EXPECT_EQ(WEXITSTATUS(status), 2);
        EXPECT_TRUE(contains(readFile(dir / "err.txt"), "cannot write to standard output: No space left on device"))
            << readFile(dir / "err.txt");
    }
}

}  // namespace
}  // namespace vza::clitest
