// SPDX-License-Identifier: MIT
// extractAll on several threads ends exactly as extract() one entry after
// the other: the same files with the same bytes and modes, the same result
// for every entry, the same questions in the same order.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <functional>
#include <numeric>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include <sched.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "testkit/testkit.h"
#include "vza/archive/extract/extractor.h"
#include "vza/archive/format/format.h"
#include "vza/archive/format/limits.h"
#include "vza/archive/fs/process_limits.h"
#include "vza/archive/read/archive.h"

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

// Every path under root with its type, permission bits and bytes, sorted.
Strings snapshot(const std::string& root)
{
    Strings lines;
    for (const auto& item : fs::recursive_directory_iterator(root)) {
        struct stat status {};
        ::lstat(item.path().c_str(), &status);
        std::string line = fs::relative(item.path(), root).string() + " " + std::to_string(status.st_mode);
        if (S_ISREG(status.st_mode)) {
            const Bytes bytes = readBytes(item.path());
            line += " " + std::string(bytes.begin(), bytes.end());
        }
        lines.push_back(line);
    }
    std::sort(lines.begin(), lines.end());
    return lines;
}

std::string describe(const Extractor::Result& r)
{
    return std::to_string(r.index) + " '" + r.path + "' status " + std::to_string(static_cast<int>(r.status)) +
           " problem " + std::to_string(static_cast<int>(r.problem)) + " at '" + r.at + "' error " +
           std::to_string(static_cast<int>(r.error)) + " errno " + std::to_string(r.systemError);
}

struct Outcome {
    Strings results;
    Strings questions;
    Strings progress;
    Strings tree;
};

struct Case {
    std::string label;
    std::vector<TestEntry> entries;
    std::uint32_t flags = FlagCompressed | FlagEncrypted;
    Extractor::Overwrite overwrite = Extractor::Overwrite::Replace;
    Strings existing;           // files in the destination before the run
    Strings links;              // "name target": symbolic links there before the run
    std::int32_t damaged = -1;  // an entry whose stored bytes are spoiled
};

// threads 0: extract() for each entry in turn, the reference.
Outcome run(const Case& c, const std::string& archivePath, const std::string& out, unsigned threads)
{
    fs::remove_all(out);
    fs::create_directories(out);
    for (const std::string& name : c.existing) {
        fs::create_directories(fs::path(out + "/" + name).parent_path());
        writeBytes(out + "/" + name, bytesOf("old " + name));
    }
    for (const std::string& link : c.links) {
        const std::size_t space = link.find(' ');
        fs::create_symlink(link.substr(space + 1), out + "/" + link.substr(0, space));
    }
    Archive archive;
    EXPECT_TRUE(archive.open(archivePath, test::DefaultPassword));
    Extractor extractor(archive);
    Outcome outcome;
    extractor.options().threads = threads;
    extractor.options().overwrite = c.overwrite;
    extractor.options().askOverwrite = [&](std::int32_t index, const std::string& path) {
        outcome.questions.push_back(std::to_string(index) + " " + path);
        return index % 3 != 0;
    };
    extractor.options().progress = [&](std::int32_t index, std::uint64_t done, std::uint64_t total) {
        outcome.progress.push_back(std::to_string(index) + " " + std::to_string(done) + "/" + std::to_string(total));
    };
    EXPECT_TRUE(extractor.open(out));
    std::vector<std::int32_t> all;
    for (std::int32_t i = 0; i < archive.entryCount(); ++i)
        all.push_back(i);
    if (threads == 0) {
        for (std::int32_t i : all)
            outcome.results.push_back(describe(extractor.extract(i)));
    } else {
        for (const Extractor::Result& result : extractor.extractAll(all))
            outcome.results.push_back(describe(result));
    }
    outcome.tree = snapshot(out);
    return outcome;
}

std::vector<Case> cases()
{
    std::vector<Case> table;
    {
        // Names met again across many batches; a file where a later entry
        // wants a folder and the reverse, far apart; names differing in case.
        Case c;
        c.label = "duplicates and folders";
        for (int i = 0; i < 400; ++i) {
            std::string name = "d" + std::to_string(i % 5) + "/f" + std::to_string(i % 37);
            if (i == 10)
                name = "x";
            if (i == 300)
                name = "x/y";
            if (i == 20)
                name = "z/w";
            if (i == 350)
                name = "z";
            if (i == 30)
                name = "Case";
            if (i == 330)
                name = "case";
            c.entries.push_back({name, test::compressible(50 + i % 300, static_cast<std::uint32_t>(i))});
        }
        table.push_back(c);
        c.label = "duplicates and folders, stored";
        c.flags = 0;
        table.push_back(c);
    }
    {
        Case c;
        c.label = "hostile names among good ones";
        std::string deep;
        for (std::size_t n = 0; n <= Extractor::MaxComponents; ++n)
            deep += "y/";
        const Strings hostile = {"../up",     "/abs/p",
                                 "a/../../b", "dir/",
                                 "",          std::string("nul\0x", 5),
                                 deep + "f",  "a/" + std::string(NAME_MAX + 1, 'n'),
                                 "./a//b",    "a\\b\\c",
                                 "."};
        for (int i = 0; i < 300; ++i) {
            const std::string name =
                i % 7 == 3 ? hostile[static_cast<std::size_t>(i / 7) % hostile.size()] : "ok/" + std::to_string(i % 50);
            c.entries.push_back({name, "entry " + std::to_string(i)});
        }
        table.push_back(c);
    }
    {
        Case c;
        c.label = "a damaged entry and a large one in the middle";
        for (int i = 0; i < 300; ++i)
            c.entries.push_back(
                {"f" + std::to_string(i % 120), test::compressible(2000, static_cast<std::uint32_t>(i))});
        c.entries[150] = {"f30", test::randomBytes(700 << 10, 9)};  // written alone, between others of its name
        c.damaged = 100;
        table.push_back(c);
    }
    {
        // Links planted in the destination: one on the way to many entries,
        // met in batch after batch, and one at an entry's own name. Nothing
        // may reach the folder outside (checked by the test), whatever thread
        // writes.
        Case c;
        c.label = "links in the destination";
        for (int i = 0; i < 300; ++i) {
            const std::string name = i % 4 == 1 ? "via/f" + std::to_string(i)
                                     : i == 200 ? "last"
                                                : "ok/" + std::to_string(i % 60);
            c.entries.push_back({name, "entry " + std::to_string(i)});
        }
        c.links = {"via ../outside", "last ../outside/secret"};
        table.push_back(c);
    }
    {
        Case c;
        c.label = "keep what is there";
        for (int i = 0; i < 200; ++i)
            c.entries.push_back({"k/" + std::to_string(i % 70), "new " + std::to_string(i)});
        c.overwrite = Extractor::Overwrite::Keep;
        c.existing = {"k/3", "k/40", "k/69"};
        table.push_back(c);
    }
    {
        Case c;
        c.label = "ask about each file there";
        for (int i = 0; i < 200; ++i)
            c.entries.push_back({"q/" + std::to_string(i % 70), "new " + std::to_string(i)});
        c.overwrite = Extractor::Overwrite::Ask;
        c.existing = {"q/3", "q/40", "q/69"};
        table.push_back(c);
    }
    return table;
}

TEST(ExtractAllTest, SameOutcomeOnOneThreadAndOnSeveral)
{
    for (const Case& c : cases()) {
        SCOPED_TRACE(c.label);
        TempDir dir;
        const std::string archivePath = dir / "a.vza";
        writeArchiveAsGiven(archivePath, c.entries, c.flags);
        if (c.damaged >= 0) {
            Archive archive;
            ASSERT_TRUE(archive.open(archivePath, test::DefaultPassword));
            const std::uint64_t offset = archive.archiveIndex().entryOffset(c.damaged);
            Bytes bytes = readBytes(archivePath);
            for (std::size_t k = 0; k < 16; ++k)
                bytes[offset + 8 + k] ^= 0x5A;
            writeBytes(archivePath, bytes);
        }
        writeBytes(dir / "outside/secret", bytesOf("secret"));
        const Strings outside = snapshot(dir / "outside");
        const Outcome reference = run(c, archivePath, dir / "out", 0);
        const Outcome one = run(c, archivePath, dir / "out", 1);
        EXPECT_EQ(one.results, reference.results);
        EXPECT_EQ(one.questions, reference.questions);
        EXPECT_EQ(one.tree, reference.tree);
        for (int round = 0; round < 2; ++round) {
            const Outcome several = run(c, archivePath, dir / "out", 4);
            EXPECT_EQ(several.results, one.results);
            EXPECT_EQ(several.questions, one.questions);
            EXPECT_EQ(several.progress, one.progress);
            EXPECT_EQ(several.tree, one.tree);
        }
        EXPECT_EQ(snapshot(dir / "outside"), outside);
        if (c.damaged >= 0) {
            EXPECT_NE(one.results[static_cast<std::size_t>(c.damaged)].find(
                          "problem " + std::to_string(static_cast<int>(Problem::ReadFailed))),
                      std::string::npos);
        }
    }
}

// Cancelled from the report of the 100th job. What is on disk is exactly what
// was reported written, in job order, and no temporary is left. Going on past
// failures, entries under way end Written or Cancelled and those never begun
// are not reported; stopping at the first failure, every job up to the one
// reported Cancelled (the last) is written, and nothing else is there, not
// even a folder for a job not reported.
class ExtractAllCancelTest : public ::testing::TestWithParam<std::tuple<bool, unsigned>> {};

TEST_P(ExtractAllCancelTest, CancelLeavesWhatItReports)
{
    const auto [stop, threads] = GetParam();
    const auto pathOf = [](int i) { return "d" + std::to_string(i / 40) + "/" + std::to_string(i); };
    TempDir dir;
    writeArchive(
        dir / "a.vza", 2000, [&](int i) { return TestEntry(pathOf(i), "entry " + std::to_string(i)); },
        FlagCompressed | FlagEncrypted);
    Archive archive;
    ASSERT_TRUE(archive.open(dir / "a.vza", test::DefaultPassword));
    const std::string out = dir / "out";
    Extractor extractor(archive);
    std::atomic<bool> cancel{false};
    extractor.options().threads = threads;
    extractor.options().stopAtFirstFailure = stop;
    extractor.options().cancel = &cancel;
    ASSERT_TRUE(extractor.open(out));
    std::vector<Extractor::Job> all;
    for (std::int32_t i = 0; i < archive.entryCount(); ++i)
        all.push_back({i, ""});
    std::vector<Extractor::Result> results;
    extractor.extractAll(all, [&](const Extractor::Result& r) {
        results.push_back(r);
        if (results.size() == 100)
            cancel = true;
    });
    ASSERT_GT(results.size(), 100u);
    EXPECT_LT(results.size(), all.size());

    Strings expected;  // what is on the disk: the files written, and their folders stopping
    int cancelled = 0;
    for (std::size_t k = 0; k < results.size(); ++k) {
        const Extractor::Result& result = results[k];
        if (k < 100 || stop) {
            EXPECT_EQ(result.index, static_cast<std::int32_t>(k));  // in order, none left out
        } else {
            EXPECT_GT(result.index, results[k - 1].index);  // in order, those never begun left out
        }
        if (stop) {
            EXPECT_EQ(result.status, k + 1 == results.size() ? Status::Cancelled : Status::Written) << k;
        }
        cancelled += result.status == Status::Cancelled;
        if (result.status != Status::Written)
            continue;
        const std::string path = pathOf(result.index);
        expected.push_back(path + " entry " + std::to_string(result.index));
        if (stop)
            expected.push_back(path.substr(0, path.find('/')) + "/");
    }
    EXPECT_GE(cancelled, 1);
    std::sort(expected.begin(), expected.end());
    expected.erase(std::unique(expected.begin(), expected.end()), expected.end());
    Strings onDisk;
    for (const auto& item : fs::recursive_directory_iterator(out)) {
        const std::string path = fs::relative(item.path(), out).string();
        if (item.is_directory()) {
            if (stop)  // going on, a folder may stay for an entry cancelled under way
                onDisk.push_back(path + "/");
            continue;
        }
        const Bytes bytes = readBytes(item.path());
        onDisk.push_back(path + " " + std::string(bytes.begin(), bytes.end()));
    }
    std::sort(onDisk.begin(), onDisk.end());
    EXPECT_EQ(onDisk, expected);
}

INSTANTIATE_TEST_SUITE_P(Modes, ExtractAllCancelTest,
                         ::testing::Values(std::make_tuple(false, 1u), std::make_tuple(false, 4u),
                                           std::make_tuple(true, 1u), std::make_tuple(true, 2u),
                                           std::make_tuple(true, 4u)),
                         [](const auto& info) {
                             return std::string(std::get<0>(info.param) ? "Stopping" : "GoingOn") +
                                    std::to_string(std::get<1>(info.param)) + "Threads";
                         });

// Run in a child process: the exit status (0 to 100) or 255 when it died.
template <typename F>
int inChild(F f)
{
    const pid_t child = ::fork();
    if (child == 0)
        ::_exit(f());
    int status = 0;
    ::waitpid(child, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 255;
}

// Sixteen threads under a descriptor limit of 128 (the library never raises
// it): the threads, their open folders and the files read ahead share what
// there is, and no entry fails for want of a descriptor. Before, each thread
// kept up to 64 folders open and thousands of entries failed with EMFILE.
TEST(ExtractAllTest, FewDescriptorsFailNoEntry)
{
    TempDir dir;
    writeArchive(
        dir / "a.vza", 2000,
        [](int i) { return TestEntry("d" + std::to_string(i % 200) + "/" + std::to_string(i), "x"); }, 0);
    for (bool stop : {false, true}) {
        SCOPED_TRACE(stop);
        const std::string out = dir / (stop ? "stop" : "on");
        const int failures = inChild([&] {
            const rlimit low{128, 128};
            if (::setrlimit(RLIMIT_NOFILE, &low) != 0)
                return 100;
            Archive archive;
            Extractor extractor(archive);
            extractor.options().threads = 16;
            extractor.options().stopAtFirstFailure = stop;
            if (!archive.open(dir / "a.vza", "") || !extractor.open(out))
                return 99;
            std::vector<std::int32_t> all(2000);
            std::iota(all.begin(), all.end(), 0);
            int failed = 0;
            for (const Extractor::Result& result : extractor.extractAll(all))
                failed += result.status != Status::Written;
            return std::min(failed, 98);
        });
        EXPECT_EQ(failures, 0);
        EXPECT_EQ(readBytes(out + "/d7/1207"), bytesOf("x"));
    }
}

// Threads follow the CPUs the process may run on (taskset), not the
// machine's: on one CPU nothing but the calling thread writes.
TEST(ExtractAllTest, ThreadsFollowTheCpuAffinity)
{
    TempDir dir;
    writeArchive(
        dir / "a.vza", 500, [](int i) { return TestEntry(std::to_string(i), "x"); }, 0);
    const auto threadsSeen = [&](int cpus) {
        return inChild([&] {
            cpu_set_t set;
            CPU_ZERO(&set);
            for (int cpu = 0; cpu < cpus; ++cpu)
                CPU_SET(cpu, &set);
            if (::sched_setaffinity(0, sizeof set, &set) != 0 || usableCpuCount() != static_cast<unsigned>(cpus))
                return 100;
            Archive archive;
            Extractor extractor(archive);
            if (!archive.open(dir / "a.vza", "") || !extractor.open(dir / ("out" + std::to_string(cpus))))
                return 99;
            std::vector<Extractor::Job> all;
            for (std::int32_t i = 0; i < 500; ++i)
                all.push_back({i, ""});
            int most = 0;
            extractor.extractAll(all, [&](const Extractor::Result&) {
                most = std::max(most, static_cast<int>(std::distance(fs::directory_iterator("/proc/self/task"),
                                                                     fs::directory_iterator())));
            });
            return most;
        });
    };
    EXPECT_EQ(threadsSeen(1), 1);
    if (usableCpuCount() >= 2 && std::thread::hardware_concurrency() >= 2) {
        EXPECT_EQ(threadsSeen(2), 3);  // the calling thread and two writers
    }
}

// 400 names of 256 components would make 102 000 folders from an archive of
// a few hundred kilobytes: the run is refused before anything is made, the
// first job saying why. Folders are counted once however many names share
// them.
TEST(ExtractAllTest, TooManyFoldersAreRefusedBeforeAnythingIsMade)
{
    TempDir dir;
    const auto deep = [](int i, int branches) {
        std::string name = "t" + std::to_string(i % branches);
        for (std::size_t level = 2; level < MaxComponents; ++level)
            name += "/" + std::to_string(level);
        return name + "/f" + std::to_string(i);
    };
    writeArchive(
        dir / "bomb.vza", 400, [&](int i) { return TestEntry(deep(i, 400), "x"); }, 0);
    writeArchive(
        dir / "shared.vza", 40, [&](int i) { return TestEntry(deep(i, 2), "x"); }, 0);
    for (unsigned threads : {1u, 4u}) {
        SCOPED_TRACE(threads);
        Archive bomb;
        ASSERT_TRUE(bomb.open(dir / "bomb.vza", ""));
        Extractor extractor(bomb);
        extractor.options().threads = threads;
        const std::string out = dir / ("out" + std::to_string(threads));
        ASSERT_TRUE(extractor.open(out));
        std::vector<std::int32_t> all(400);
        std::iota(all.begin(), all.end(), 0);
        const std::vector<Extractor::Result> results = extractor.extractAll(all);
        ASSERT_EQ(results.size(), 1u);
        EXPECT_EQ(results[0].status, Status::Failed);
        EXPECT_EQ(results[0].problem, Problem::TooManyFolders);
        EXPECT_TRUE(fs::is_empty(out));

        Archive shared;  // 2 x 255 folders
        ASSERT_TRUE(shared.open(dir / "shared.vza", ""));
        Extractor fine(shared);
        fine.options().threads = threads;
        ASSERT_TRUE(fine.open(out));
        const std::vector<Extractor::Result> written = fine.extractAll({0, 1, 39});
        ASSERT_EQ(written.size(), 3u);
        for (const Extractor::Result& result : written)
            EXPECT_EQ(result.status, Status::Written);
    }
}

}  // namespace
}  // namespace vza
