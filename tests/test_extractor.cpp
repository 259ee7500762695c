// SPDX-License-Identifier: MIT
// The extraction engine: one case for each way extraction went wrong before
// (links followed, races, leftovers, widened modes, special targets, deep
// names), then its options; each on one thread and on several.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <string>
#include <thread>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <unistd.h>

#include "testkit/testkit.h"
#include "vza/archive/extract/extractor.h"
#include "vza/archive/format/format.h"
#include "vza/archive/fs/output_file.h"
#include "vza/archive/read/archive.h"
#include "vza/archive/read/sequential_archive.h"

namespace vza {
namespace {

namespace fs = std::filesystem;
using test::Bytes;
using test::bytesOf;
using test::readBytes;
using test::TempDir;
using test::TestEntry;
using test::writeArchive;
using test::writeBytes;
using Strings = std::vector<std::string>;
using Status = Extractor::Status;
using Problem = Extractor::Problem;

// Every path under root, relative, sorted; links are listed, not followed.
Strings tree(const std::string& root)
{
    Strings paths;
    for (const auto& item : fs::recursive_directory_iterator(root))
        paths.push_back(fs::relative(item.path(), root).string());
    std::sort(paths.begin(), paths.end());
    return paths;
}

mode_t modeOf(const std::string& path)
{
    struct stat status {};
    EXPECT_EQ(::lstat(path.c_str(), &status), 0) << path;
    return status.st_mode;
}

// Runs f with the working folder set to folder.
template <typename F>
auto inFolder(const std::string& folder, F f)
{
    const fs::path previous = fs::current_path();
    fs::current_path(folder);
    auto result = f();
    fs::current_path(previous);
    return result;
}

// The parameter is the number of threads extractAll writes on.
class ExtractorTest : public ::testing::TestWithParam<unsigned> {
protected:
    // An Extractor for archive_ on the test's threads.
    Extractor& engine()
    {
        extractor_.emplace(archive_);
        extractor_->options().threads = GetParam();
        return *extractor_;
    }

    // An archive of entries at dir/a.vza, opened.
    // asGiven: names the writer refuses, stored as they are.
    void openArchive(const std::vector<TestEntry>& entries, std::uint32_t flags = 0, bool asGiven = false)
    {
        if (asGiven)
            writeArchiveAsGiven(dir_ / "a.vza", entries, flags);
        else
            writeArchive(dir_ / "a.vza", entries, flags);
        ASSERT_TRUE(archive_.open(dir_ / "a.vza", "secret"));
    }

    TempDir dir_;
    Archive archive_;
    std::optional<Extractor> extractor_;
};

std::vector<std::int32_t> allEntries(const Archive& archive)
{
    std::vector<std::int32_t> indices(static_cast<std::size_t>(archive.entryCount()));
    for (std::size_t i = 0; i < indices.size(); ++i)
        indices[i] = static_cast<std::int32_t>(i);
    return indices;
}

// Finding 1: a link in the working folder carried extractToFile elsewhere.
TEST_P(ExtractorTest, LinkedFolderIsNeverWrittenThrough)
{
    openArchive({{"docs/planted.sh", bytesOf("echo owned")}});
    ASSERT_EQ(::mkdir((dir_ / "elsewhere").c_str(), 0755), 0);
    ASSERT_EQ(::mkdir((dir_ / "out").c_str(), 0755), 0);
    ASSERT_EQ(::symlink("../elsewhere", (dir_ / "docs").c_str()), 0);
    ASSERT_EQ(::symlink("../elsewhere", (dir_ / "out/docs").c_str()), 0);

    EXPECT_FALSE(inFolder(dir_.path(), [&] { return archive_.extractToFile("docs/planted.sh", ""); }));
    EXPECT_EQ(archive_.lastError(), ArchiveError::CannotWriteOutput);
    EXPECT_FALSE(inFolder(dir_.path(), [&] { return archive_.extractEntry(0, "docs/x"); }));
    EXPECT_FALSE(archive_.extractEntry(0, dir_ / "docs/x"));  // absolute: links refused there too

    Extractor extractor(archive_);
    ASSERT_TRUE(extractor.open(dir_ / "out"));
    const Extractor::Result result = extractor.extract(0);
    EXPECT_EQ(result.status, Status::Failed);
    EXPECT_EQ(result.problem, Problem::LinkOnTheWay);
    EXPECT_EQ(result.at, "docs");
    EXPECT_TRUE(tree(dir_ / "elsewhere").empty());
}

// Finding 2: a folder replaced by a link while thousands of entries are
// written into it. Whatever lands, lands inside the destination; also when
// the run stops at its first failure, where later entries are read ahead
// into files in the folders of the time and put in place afterwards.
TEST_P(ExtractorTest, FolderSwappedForALinkMidRunSendsNothingOutside)
{
    std::vector<TestEntry> entries;
    for (int folder = 0; folder < 100; ++folder)
        for (int file = 0; file < 40; ++file)
            entries.push_back({"d/s" + std::to_string(folder) + "/f" + std::to_string(file), bytesOf("x")});
    openArchive(entries);
    ASSERT_EQ(::mkdir((dir_ / "victim").c_str(), 0755), 0);

    for (bool stop : {false, true}) {
        SCOPED_TRACE(stop ? "stopping at the first failure" : "going on past failures");
        const std::string out = dir_ / (stop ? "out-stop" : "out");
        ASSERT_EQ(::mkdir(out.c_str(), 0755), 0);
        Extractor& extractor = engine();
        extractor.options().stopAtFirstFailure = stop;
        ASSERT_TRUE(extractor.open(out));
        std::atomic<bool> finished{false};
        std::atomic<int> swaps{0};
        std::thread swapper([&] {
            const std::string d = out + "/d";
            for (int n = 0; !finished.load(); ++n) {
                const std::string moved = out + "/moved" + std::to_string(n);
                if (::rename(d.c_str(), moved.c_str()) == 0 && ::symlink((dir_ / "victim").c_str(), d.c_str()) == 0)
                    ++swaps;
                ::unlink(d.c_str());  // the run may make d again: swap that one next
            }
        });
        std::vector<Status> statuses;
        for (const Extractor::Result& result : extractor.extractAll(allEntries(archive_)))
            statuses.push_back(result.status);
        finished = true;
        swapper.join();
        EXPECT_TRUE(tree(dir_ / "victim").empty());
        if (stop) {
            // Only the last entry reported may have failed.
            EXPECT_EQ(std::count(statuses.begin(), statuses.end(), Status::Failed),
                      !statuses.empty() && statuses.back() == Status::Failed ? 1 : 0);
        } else {
            EXPECT_GT(swaps.load(), 0);
            EXPECT_GT(std::count(statuses.begin(), statuses.end(), Status::Written), 0);
        }
    }
}

// Finding 3: a killed extraction left its half-written temporary file. The
// child writes a small entry, then stops half-way through a large one and is
// killed; SIGINT runs a handler that calls the cleanup, as vza's does.
extern "C" void cleanUpAndDie(int signal)
{
    removePendingOutputFiles();
    ::signal(signal, SIG_DFL);
    ::raise(signal);
}

TEST_P(ExtractorTest, KilledExtractionLeavesOnlyCompletedFiles)
{
    for (std::uint32_t flags : {0u, FlagCompressed | FlagEncrypted}) {
        TempDir work;
        // Stored: two kernel copies of 8 MiB; sealed: a stream of 64 KiB blocks.
        const std::size_t size = flags == 0 ? 12 << 20 : 1 << 20;
        writeArchive(work / "a.vza", {{"done.txt", bytesOf("complete")}, {"big.bin", test::randomBytes(size, 3)}},
                     flags);
        for (bool named : {false, true}) {
            for (int signal : {SIGINT, SIGTERM, SIGKILL}) {
                SCOPED_TRACE(testing::Message() << "flags " << flags << " named " << named << " signal " << signal);
                const std::string out = work / "out";
                fs::remove_all(out);
                int ready[2];
                ASSERT_EQ(::pipe(ready), 0);
                const pid_t child = ::fork();
                ASSERT_GE(child, 0);
                if (child == 0) {
                    ::signal(SIGINT, cleanUpAndDie);
                    ::signal(SIGTERM, cleanUpAndDie);
                    forceNamedTemporaries(named);
                    Archive archive;
                    Extractor extractor(archive);
                    extractor.options().threads = GetParam();
                    if (!archive.open(work / "a.vza", "secret") || !extractor.open(out))
                        ::_exit(3);
                    extractor.options().progress = [&](std::int32_t index, std::uint64_t, std::uint64_t) {
                        if (index == 1) {
                            (void)!::write(ready[1], "!", 1);
                            ::pause();
                        }
                    };
                    extractor.extractAll({0, 1});
                    ::_exit(4);
                }
                char byte = 0;
                ASSERT_EQ(::read(ready[0], &byte, 1), 1);
                ::kill(child, signal);
                int status = 0;
                ASSERT_EQ(::waitpid(child, &status, 0), child);
                EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == signal);
                ::close(ready[0]);
                ::close(ready[1]);
                Strings left = tree(out);
                // Nothing can remove a name after SIGKILL: without O_TMPFILE
                // the hidden temporary stays, but never the target's name.
                if (named && signal == SIGKILL) {
                    ASSERT_EQ(left.size(), 2u);
                    EXPECT_EQ(left[0].rfind(".big.bin.", 0), 0u) << left[0];
                    left.erase(left.begin());
                }
                EXPECT_EQ(left, Strings{"done.txt"});
                EXPECT_EQ(readBytes(out + "/done.txt"), bytesOf("complete"));
            }
        }
    }
}

// Findings 4 and 5: what is at the output path already. Permission bits of a
// replaced file are kept; new files follow the umask; a link is replaced, not
// written through; a FIFO, device or folder is refused and left as it was.
TEST_P(ExtractorTest, ExistingTargets)
{
    const bool root = ::geteuid() == 0;
    std::vector<TestEntry> entries;
    for (const char* name : {"private", "program", "new", "link", "fifo", "device", "folder"})
        entries.push_back({name, bytesOf("fresh")});
    openArchive(entries);
    const std::string out = dir_ / "out";
    ASSERT_EQ(::mkdir(out.c_str(), 0755), 0);
    writeBytes(out + "/private", bytesOf("old"));
    ASSERT_EQ(::chmod((out + "/private").c_str(), 0600), 0);
    writeBytes(out + "/program", bytesOf("old"));
    ASSERT_EQ(::chmod((out + "/program").c_str(), 0755), 0);
    writeBytes(dir_ / "target", bytesOf("precious"));
    ASSERT_EQ(::symlink((dir_ / "target").c_str(), (out + "/link").c_str()), 0);
    ASSERT_EQ(::mkfifo((out + "/fifo").c_str(), 0644), 0);
    ASSERT_EQ(::chmod((out + "/fifo").c_str(), 0644), 0);
    if (root) {
        ASSERT_EQ(::mknod((out + "/device").c_str(), S_IFCHR | 0666, makedev(1, 3)), 0);
        ASSERT_EQ(::chmod((out + "/device").c_str(), 0666), 0);
    }
    ASSERT_EQ(::mkdir((out + "/folder").c_str(), 0755), 0);

    struct Case {
        const char* name;
        Status status;
        Problem problem;
        mode_t mode;  // what is at the path afterwards
    };
    const Case cases[] = {
        {"private", Status::Written, Problem::None, S_IFREG | 0600},
        {"program", Status::Written, Problem::None, S_IFREG | 0755},
        {"new", Status::Written, Problem::None, S_IFREG | 0640},
        {"link", Status::Written, Problem::None, S_IFREG | 0640},
        {"fifo", Status::Failed, Problem::SpecialFileInTheWay, S_IFIFO | 0644},
        {"device", Status::Failed, Problem::SpecialFileInTheWay, S_IFCHR | 0666},
        {"folder", Status::Failed, Problem::FolderInTheWay, S_IFDIR | 0755},
    };
    const mode_t old = ::umask(027);
    Extractor& extractor = engine();
    ASSERT_TRUE(extractor.open(out));
    std::vector<std::int32_t> indices;
    for (std::int32_t i = 0; i < archive_.entryCount(); ++i) {
        if (std::string(cases[i].name) != "device" || root)
            indices.push_back(i);  // only root can make a device node
    }
    for (const Extractor::Result& result : extractor.extractAll(indices)) {
        const Case& c = cases[result.index];
        EXPECT_EQ(result.status, c.status) << c.name;
        EXPECT_EQ(result.problem, c.problem) << c.name;
        EXPECT_EQ(modeOf(out + "/" + c.name), c.mode) << c.name;
        if (c.status == Status::Written) {
            EXPECT_EQ(readBytes(out + "/" + c.name), bytesOf("fresh")) << c.name;
        }
    }
    ::umask(old);
    EXPECT_EQ(readBytes(dir_ / "target"), bytesOf("precious"));
    EXPECT_TRUE(tree(out + "/folder").empty());
    // The library call by name refuses them too.
    EXPECT_FALSE(archive_.extractEntry(0, out + "/fifo"));
    EXPECT_EQ(modeOf(out + "/fifo") & S_IFMT, static_cast<mode_t>(S_IFIFO));
}

// Finding 6: names nested thousands deep made thousands of folders and took
// seconds, then failed anyway. They are refused before anything is made.
TEST_P(ExtractorTest, HostileNamesAreRefusedBeforeAnythingIsMade)
{
    std::string deep;
    while (deep.size() < 4090)
        deep += "x/";
    deep += "f";
    std::string manyShort;
    for (std::size_t n = 0; n <= Extractor::MaxComponents; ++n)
        manyShort += "y/";
    manyShort += "f";
    struct Case {
        std::string name;
        Problem problem;
    };
    const std::vector<Case> cases = {
        {deep, Problem::NameTooLong},                                   // the path reaches PATH_MAX
        {manyShort, Problem::TooManyComponents},                        // 258 components
        {"a/" + std::string(NAME_MAX + 1, 'n'), Problem::NameTooLong},  // one component too long
    };
    std::vector<TestEntry> entries;
    for (int copy = 0; copy < 100; ++copy)
        for (const Case& c : cases)
            entries.push_back({c.name, bytesOf("x")});
    openArchive(entries);
    Extractor& extractor = engine();
    ASSERT_TRUE(extractor.open(dir_ / "out"));
    const std::vector<Extractor::Result> results = extractor.extractAll(allEntries(archive_));
    ASSERT_EQ(results.size(), entries.size());
    for (const Extractor::Result& result : results) {
        EXPECT_EQ(result.status, Status::Failed);
        EXPECT_EQ(result.problem, cases[static_cast<std::size_t>(result.index) % cases.size()].problem) << result.index;
    }
    EXPECT_TRUE(tree(dir_ / "out").empty());

    // Just inside the limits is fine.
    std::string deepest;
    for (std::size_t n = 1; n < Extractor::MaxComponents; ++n)
        deepest += "z/";
    deepest += std::string(NAME_MAX, 'f');
    openArchive({{deepest, bytesOf("deep")}});
    ASSERT_TRUE(extractor.open(dir_ / "out"));
    EXPECT_EQ(extractor.extract(0).status, Status::Written);
    EXPECT_EQ(readBytes(dir_ / ("out/" + deepest)), bytesOf("deep"));
}

TEST_P(ExtractorTest, EntriesByIndexWhateverTheirNames)
{
    openArchive(
        {{"same", bytesOf("first")}, {"same", bytesOf("second")}, {"a\\b", bytesOf("slash")}, {"../up", bytesOf("up")}},
        0, true);
    Extractor extractor(archive_);
    ASSERT_TRUE(extractor.open(dir_ / "out"));
    EXPECT_EQ(extractor.extract(1, "second").status, Status::Written);
    EXPECT_EQ(extractor.extract(0, "first").status, Status::Written);
    const Extractor::Result slash = extractor.extract(2);  // the safe name: a folder a
    EXPECT_EQ(slash.path, "a/b");
    EXPECT_EQ(extractor.extract(3).path, "up");
    EXPECT_EQ(extractor.extract(3, "../mine").problem, Problem::UnsafeName);  // caller names stay inside too
    EXPECT_EQ(extractor.extract(3, "dir/").problem, Problem::UnsafeName);
    EXPECT_EQ(extractor.extract(9).problem, Problem::NoSuchEntry);
    EXPECT_EQ(tree(dir_ / "out"), (Strings{"a", "a/b", "first", "second", "up"}));

    // Names are decoded before they are made safe: the second byte of 表
    // (0x95 0x5C in CP932) is no folder separator.
    openArchive({{"\x95\x5C.txt", bytesOf("cp932")}}, 0, true);
    ASSERT_TRUE(extractor.open(dir_ / "out"));
    const Extractor::Result decoded = extractor.extract(0);
    EXPECT_EQ(decoded.status, Status::Written);
    EXPECT_EQ(decoded.path, "\xE8\xA1\xA8.txt");
    EXPECT_EQ(readBytes(dir_ / "out/second"), bytesOf("second"));
    EXPECT_EQ(readBytes(dir_ / "out/a/b"), bytesOf("slash"));
}

TEST_P(ExtractorTest, OverwriteFolderAndReadOptions)
{
    openArchive({{"f", bytesOf("new")}, {"sub/g", bytesOf("g")}});
    const std::string out = dir_ / "out";
    ASSERT_EQ(::mkdir(out.c_str(), 0755), 0);
    writeBytes(out + "/f", bytesOf("old"));
    Extractor extractor(archive_);
    extractor.options().createFolders = false;
    ASSERT_TRUE(extractor.open(out));

    const Extractor::Result missing = extractor.extract(1);
    EXPECT_EQ(missing.problem, Problem::FolderMissing);
    EXPECT_EQ(missing.at, "sub");

    extractor.options().overwrite = Extractor::Overwrite::Keep;
    EXPECT_EQ(extractor.extract(0).status, Status::Skipped);
    extractor.options().overwrite = Extractor::Overwrite::Ask;
    Strings asked;
    bool answer = false;
    extractor.options().askOverwrite = [&](std::int32_t, const std::string& path) {
        asked.push_back(path);
        return answer;
    };
    EXPECT_EQ(extractor.extract(0).status, Status::Skipped);
    EXPECT_EQ(readBytes(out + "/f"), bytesOf("old"));
    answer = true;
    EXPECT_EQ(extractor.extract(0).status, Status::Written);
    EXPECT_EQ(readBytes(out + "/f"), bytesOf("new"));
    EXPECT_EQ(asked, (Strings{"f", "f"}));
    EXPECT_FALSE(extractor.open(dir_ / "no/such"));
    EXPECT_EQ(extractor.openError(), ENOENT);
}

// The question about an existing file may be answered with a new name: the
// entry goes beside the file, and the new name is asked about in its turn.
// Enough entries that on several threads the questions come from workers.
TEST_P(ExtractorTest, OverwriteQuestionsMayRename)
{
    std::vector<TestEntry> entries;
    for (int n = 0; n < 70; ++n)
        entries.push_back({"n" + std::to_string(n), bytesOf("filler")});
    for (const char* name : {"keep", "swap", "bad", "loop"})
        entries.push_back({name, bytesOf("new")});
    for (int n = 70; n < 140; ++n)
        entries.push_back({"n" + std::to_string(n), bytesOf("filler")});
    openArchive(entries);
    // Stopping at the first failure, entries are read ahead and renamed
    // when they are put in place; the run ends at "bad".
    for (bool stop : {false, true}) {
        SCOPED_TRACE(stop ? "stopping at the first failure" : "going on past failures");
        const std::string out = dir_ / (stop ? "out-stop" : "out");
        ASSERT_EQ(::mkdir(out.c_str(), 0755), 0);
        for (const char* name : {"keep", "swap", "bad", "loop", "taken"})
            writeBytes(out + "/" + name, bytesOf("old"));

        using Answer = Extractor::OverwriteAnswer;
        Extractor& extractor = engine();
        extractor.options().stopAtFirstFailure = stop;
        ASSERT_TRUE(extractor.open(out));
        extractor.options().overwrite = Extractor::Overwrite::Ask;
        Strings asked;
        extractor.options().decideOverwrite = [&](std::int32_t, const std::string& path) {
            asked.push_back(path);
            if (path == "keep")
                return Answer::rename(extractor.proposeFreeName(path));
            if (path == "swap")
                return Answer::rename("taken");
            if (path == "taken")
                return Answer::replace();
            if (path == "bad")
                return Answer::rename("../bad");
            return Answer::rename(path);  // "loop": the same taken name, again and again
        };
        std::map<std::string, Extractor::Result> byName;
        for (const Extractor::Result& result : extractor.extractAll(allEntries(archive_)))
            byName[std::string(archive_.entryName(result.index))] = result;

        EXPECT_EQ(byName["keep"].status, Status::Written);
        EXPECT_EQ(byName["keep"].path, "keep (2)");
        EXPECT_EQ(byName["swap"].status, Status::Written);
        EXPECT_EQ(byName["swap"].path, "taken");
        EXPECT_EQ(byName["bad"].problem, Problem::UnsafeName);
        Strings expected{"keep", "swap", "taken", "bad"};
        if (!stop) {
            EXPECT_EQ(byName["loop"].problem, Problem::Exists);
            EXPECT_EQ(byName["n139"].status, Status::Written);
            expected.insert(expected.end(), Extractor::MaxOverwriteQuestions, "loop");
        }
        EXPECT_EQ(asked, expected);
        for (const char* name : {"keep", "swap", "bad", "loop"})
            EXPECT_EQ(readBytes(out + "/" + name), bytesOf("old")) << name;
        EXPECT_EQ(readBytes(out + "/keep (2)"), bytesOf("new"));
        EXPECT_EQ(readBytes(out + "/taken"), bytesOf("new"));
        // The fillers written, the five old files and "keep (2)".
        EXPECT_EQ(tree(out).size(), (stop ? 70u : 140u) + 6u);
    }
}

// Free names beside existing files, for a caller to propose.
TEST(ExtractorNames, ProposeFreeName)
{
    TempDir dir;
    writeArchive(dir / "a.vza", {{"x", bytesOf("x")}}, 0);
    Archive archive;
    ASSERT_TRUE(archive.open(dir / "a.vza", ""));
    const std::string out = dir / "out";
    ASSERT_EQ(::mkdir(out.c_str(), 0755), 0);
    ASSERT_EQ(::mkdir((out + "/sub").c_str(), 0755), 0);
    const std::string longStem(250, 'l');
    const std::string japanese = [] {
        std::string name;
        for (int n = 0; n < 83; ++n)
            name += "\xE6\x97\xA5";  // 日, 249 bytes
        return name;
    }();
    for (const std::string& name : {std::string("sub/x.txt"), std::string("sub/x (2).txt"), std::string(".profile"),
                                    longStem + ".txt", japanese + ".txt"})
        writeBytes(out + "/" + name, bytesOf("taken"));
    Extractor extractor(archive);
    EXPECT_EQ(extractor.proposeFreeName("free.txt"), "");  // not opened yet
    ASSERT_TRUE(extractor.open(out));
    struct Case {
        std::string path;
        std::string proposed;
    };
    const Case cases[] = {
        {"free.txt", "free.txt"},
        {"sub/x.txt", "x (3).txt"},
        {".profile", ".profile (2)"},
        {"sub", "sub (2)"},  // a folder is there
        {longStem + ".txt", std::string(NAME_MAX - 8, 'l') + " (2).txt"},
        // Cut on a character boundary: 247 bytes of stem fit, 82 characters.
        {japanese + ".txt", japanese.substr(0, 246) + " (2).txt"},
        {"missing/x.txt", ""},
        {"../x", ""},
    };
    for (const Case& c : cases)
        EXPECT_EQ(extractor.proposeFreeName(c.path), c.proposed) << c.path;
}

TEST_P(ExtractorTest, ProgressCancelAndDamage)
{
    // Stored: one kernel copy of 3 MiB, no middle. Sealed: a stream of blocks.
    for (std::uint32_t flags : {0u, FlagCompressed | FlagEncrypted}) {
        SCOPED_TRACE(flags);
        const Bytes big = test::randomBytes(3 << 20, 5);
        openArchive({{"one", bytesOf("1")}, {"big", big}, {"two", bytesOf("2")}}, flags);
        TempDir out;
        Extractor& extractor = engine();
        ASSERT_TRUE(extractor.open(out.path()));
        std::atomic<bool> cancel{false};
        std::uint64_t lastDone = 0;
        extractor.options().cancel = &cancel;
        extractor.options().progress = [&](std::int32_t index, std::uint64_t done, std::uint64_t total) {
            EXPECT_EQ(total, index == 1 ? big.size() : 1u);
            EXPECT_GE(done, index == 1 ? lastDone : 0);
            lastDone = done;
            if (index == 1 && done < total)
                cancel = true;  // mid-entry, when there is a middle
        };
        const std::vector<Extractor::Result> results = extractor.extractAll({0, 1, 2});
        ASSERT_EQ(results.size(), flags ? 2u : 3u);
        EXPECT_EQ(results[0].status, Status::Written);
        if (flags) {
            EXPECT_EQ(results[1].status, Status::Cancelled);  // the stream has blocks to stop between
            EXPECT_EQ(out.list(), Strings{"one"});
        }
    }
    // A damaged entry: the archive's reason, no file.
    writeArchive(dir_ / "d.vza", {{"bad", Bytes(1000, 'a')}}, FlagCompressed);
    std::fstream file(dir_ / "d.vza", std::ios::in | std::ios::out | std::ios::binary);
    file.seekp(-3, std::ios::end);
    file.write("\xff\xff\xff", 3);
    file.close();
    Archive damaged;
    ASSERT_TRUE(damaged.open(dir_ / "d.vza", ""));
    TempDir out;
    Extractor extractor(damaged);
    ASSERT_TRUE(extractor.open(out.path()));
    const Extractor::Result result = extractor.extract(0);
    EXPECT_EQ(result.problem, Problem::ReadFailed);
    EXPECT_NE(result.error, ArchiveError::None);
    EXPECT_TRUE(out.list().empty());
}

TEST_P(ExtractorTest, TheArchiveBeingReadIsNeverATarget)
{
    openArchive({{"a.vza", bytesOf("x")}, {"hard", bytesOf("x")}, {"named", bytesOf("x")}});
    ASSERT_EQ(::link((dir_ / "a.vza").c_str(), (dir_ / "hard").c_str()), 0);
    ASSERT_EQ(::symlink("a.vza", (dir_ / "named").c_str()), 0);
    Archive byLink;
    ASSERT_TRUE(byLink.open(dir_ / "named", ""));
    for (Archive* archive : {&archive_, &byLink}) {
        Extractor extractor(*archive);
        ASSERT_TRUE(extractor.open(dir_.path()));
        EXPECT_EQ(extractor.extract(0).problem, Problem::ArchiveInTheWay);
        EXPECT_EQ(extractor.extract(1).problem, Problem::ArchiveInTheWay);
    }
    Extractor extractor(byLink);
    ASSERT_TRUE(extractor.open(dir_.path()));
    EXPECT_EQ(extractor.extract(2).problem, Problem::ArchiveInTheWay);  // the link it was named by
    EXPECT_TRUE(fs::is_symlink(dir_ / "named"));
    EXPECT_EQ(fs::file_size(dir_ / "a.vza"), fs::file_size(dir_ / "hard"));
}

// Something put at the output path after the engine looked and before the
// file goes in place (the hook runs at the start of the commit): a folder, a
// FIFO or the archive itself is refused and left as it is; a file that
// appears is kept when nobody agreed to replace it.
TEST_P(ExtractorTest, WhatAppearsBeforeTheCommitIsLeftAlone)
{
    openArchive(
        {{"folder", bytesOf("new")}, {"fifo", bytesOf("new")}, {"archive", bytesOf("new")}, {"file", bytesOf("new")}});
    const std::string archivePath = dir_ / "a.vza";
    const Bytes archived = readBytes(archivePath);
    OutputFileFaults faults;
    faults.beforeCommit = [&](int folder, const std::string& name) {
        if (name == "folder")
            ::mkdirat(folder, "folder", 0755);
        else if (name == "fifo")
            ::mkfifoat(folder, "fifo", 0644);
        else if (name == "archive")
            ::linkat(AT_FDCWD, archivePath.c_str(), folder, "archive", 0);
        else if (const int fd = ::openat(folder, "file", O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644); fd >= 0) {
            (void)!::write(fd, "theirs", 6);
            ::close(fd);
        }
    };
    struct Case {
        const char* name;
        Extractor::Overwrite overwrite;
        Problem problem;
    };
    const Case cases[] = {
        {"folder", Extractor::Overwrite::Replace, Problem::FolderInTheWay},
        {"fifo", Extractor::Overwrite::Replace, Problem::SpecialFileInTheWay},
        {"archive", Extractor::Overwrite::Replace, Problem::ArchiveInTheWay},
        {"file", Extractor::Overwrite::Keep, Problem::Exists},
    };
    for (bool named : {false, true}) {
        SCOPED_TRACE(named ? "named temporaries" : "unnamed files");
        const std::string out = dir_ / (named ? "named" : "unnamed");
        ASSERT_EQ(::mkdir(out.c_str(), 0755), 0);
        forceNamedTemporaries(named);
        setOutputFileFaults(&faults);
        for (std::int32_t index = 0; index < 4; ++index) {
            const Case& c = cases[index];
            Extractor& extractor = engine();
            extractor.options().overwrite = c.overwrite;
            ASSERT_TRUE(extractor.open(out));
            const std::vector<Extractor::Result> results = extractor.extractAll({index});
            ASSERT_EQ(results.size(), 1u);
            EXPECT_EQ(results[0].problem, c.problem) << c.name;
        }
        setOutputFileFaults(nullptr);
        forceNamedTemporaries(false);
        EXPECT_EQ(modeOf(out + "/folder") & S_IFMT, static_cast<mode_t>(S_IFDIR));
        EXPECT_EQ(modeOf(out + "/fifo") & S_IFMT, static_cast<mode_t>(S_IFIFO));
        EXPECT_EQ(readBytes(out + "/archive"), archived);
        EXPECT_EQ(readBytes(out + "/file"), bytesOf("theirs"));
        EXPECT_EQ(tree(out), (Strings{"archive", "fifo", "file", "folder"}));
    }
}

// The archive is the file its descriptor is open on, whatever a path names:
// a backslash in the name the user gave, the archive moved and another file
// put at its name, standard input redirected from it.
TEST_P(ExtractorTest, TheArchiveIsKnownByItsFileNotByAPath)
{
    const auto none = [](std::string&) { return false; };
    writeArchive(dir_ / "a\\b.vza", {{"x", bytesOf("entry")}}, 0);
    const Bytes before = readBytes(dir_ / "a\\b.vza");
    Archive typed;  // as the desktop program opens it, then writes to a typed name
    ASSERT_EQ(inFolder(dir_.path(), [&] { return typed.openWithPassword("a\\b.vza", none); }),
              Archive::OpenOutcome::Opened);
    EXPECT_EQ(typed.pathAsGiven(), "a\\b.vza");
    EXPECT_EQ(typed.archiveIndex().path(), "a/b.vza");
    EXPECT_FALSE(inFolder(dir_.path(), [&] { return typed.extractEntry(0, "a\\b.vza"); }));
    EXPECT_EQ(typed.lastError(), ArchiveError::CannotWriteOutput);
    EXPECT_EQ(readBytes(dir_ / "a\\b.vza"), before);

    // open() reads a/b.vza for the same name: that file is the one kept.
    ASSERT_EQ(::mkdir((dir_ / "a").c_str(), 0755), 0);
    writeArchive(dir_ / "a/b.vza", {{"y", bytesOf("other")}}, 0);
    Archive slashed;
    ASSERT_TRUE(inFolder(dir_.path(), [&] { return slashed.open("a\\b.vza", ""); }));
    EXPECT_FALSE(inFolder(dir_.path(), [&] { return slashed.extractEntry(0, "a/b.vza"); }));
    EXPECT_TRUE(inFolder(dir_.path(), [&] { return slashed.extractEntry(0, "a\\b.vza"); }));
    EXPECT_EQ(readBytes(dir_ / "a\\b.vza"), bytesOf("other"));

    // Moved after it was opened, another file at its old name: the moved
    // archive is refused under its new name, the newcomer is replaced.
    openArchive({{"moved.vza", bytesOf("x")}, {"a.vza", bytesOf("new")}});
    ASSERT_EQ(::rename((dir_ / "a.vza").c_str(), (dir_ / "moved.vza").c_str()), 0);
    writeBytes(dir_ / "a.vza", bytesOf("newcomer"));
    const Bytes archived = readBytes(dir_ / "moved.vza");
    Extractor& extractor = engine();
    ASSERT_TRUE(extractor.open(dir_.path()));
    const std::vector<Extractor::Result> results = extractor.extractAll({0, 1});
    ASSERT_EQ(results.size(), 2u);
    EXPECT_EQ(results[0].problem, Problem::ArchiveInTheWay);
    EXPECT_EQ(results[1].status, Status::Written);
    EXPECT_EQ(readBytes(dir_ / "moved.vza"), archived);
    EXPECT_EQ(readBytes(dir_ / "a.vza"), bytesOf("new"));

    // Read as a stream from standard input redirected from the file.
    writeArchive(dir_ / "self.vza", {{"self.vza", bytesOf("x")}}, 0);
    const Bytes self = readBytes(dir_ / "self.vza");
    const int fd = ::open((dir_ / "self.vza").c_str(), O_RDONLY | O_CLOEXEC);
    ASSERT_GE(fd, 0);
    SequentialArchive stream;
    ASSERT_TRUE(stream.begin(fd) && stream.readIndex(""));
    Extractor fromStream(stream);
    ASSERT_TRUE(fromStream.open(dir_.path()));
    EXPECT_EQ(fromStream.extract(0).problem, Problem::ArchiveInTheWay);
    ::close(fd);
    EXPECT_EQ(readBytes(dir_ / "self.vza"), self);
}

INSTANTIATE_TEST_SUITE_P(Threads, ExtractorTest, ::testing::Values(1u, 4u),
                         [](const ::testing::TestParamInfo<unsigned>& info) {
                             return std::to_string(info.param) + "Threads";
                         });

}  // namespace
}  // namespace vza
