// SPDX-License-Identifier: MIT
// extractAll with stopAtFirstFailure on several threads ends exactly as
// extract() one job after the other, stopped at the first failure: the jobs
// before it written, nothing of any job after it on the disk (no file, no
// temporary, no folder only later jobs needed), no question asked for them,
// and no Result reported after the failing one.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

#include "testkit/testkit.h"
#include "vza/archive/extract/extractor.h"
#include "vza/archive/format/format.h"
#include "vza/archive/fs/output_file.h"
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

constexpr int Count = 400;
constexpr int Failing = 200;

// Every path under root, folders with a '/', files with a digest of their
// bytes (short enough to read in a failure message), sorted.
Strings snapshot(const std::string& root)
{
    Strings lines;
    for (const auto& item : fs::recursive_directory_iterator(root)) {
        struct stat status {};
        ::lstat(item.path().c_str(), &status);
        std::string line = fs::relative(item.path(), root).string() + (S_ISDIR(status.st_mode) ? "/" : "");
        if (S_ISREG(status.st_mode)) {
            const Bytes bytes = readBytes(item.path());
            line += " " + std::to_string(bytes.size()) + " " +
                    std::to_string(std::hash<std::string>{}(std::string(bytes.begin(), bytes.end())));
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

struct Case {
    std::string label;
    Problem problem;             // what the failing job meets
    std::string failingPath;     // its output path, "" for the usual one
    bool damaged = false;        // its stored bytes are spoiled
    Strings folders;             // folders in the destination before the run
    bool workingFolder = false;  // paths as given, from the working folder
    Strings links;               // "name target": symbolic links in the destination before the run
};

// Job i writes to "dN/fI", N growing every 40 jobs, so the last folders are
// needed only by jobs after the failing one. Entries 100 and 300 are large
// (written on the calling thread); files are there before the run at the
// paths of jobs 50 and 300, so that each is asked about.
std::string pathOf(int i)
{
    return "d" + std::to_string(i / 40) + "/f" + std::to_string(i);
}

std::vector<Extractor::Job> jobsFor(const Case& c, bool climbing)
{
    std::vector<Extractor::Job> jobs;
    for (int i = 0; i < Count; ++i)
        jobs.push_back({i, pathOf(i)});
    if (!c.failingPath.empty())
        jobs[Failing].path = c.failingPath;
    if (climbing) {
        // Paths that go up and down again: each is written alone, after
        // every job before it and before any after it.
        jobs[60].path = "d1/../d1/f60";
        jobs[250].path = "d5/../d6/f250";
    }
    return jobs;
}

struct Outcome {
    Strings results;
    Strings questions;
    Strings tree;
};

// threads 0: extract() for each job in turn, stopped at the first failure.
Outcome run(const Case& c, const std::string& archivePath, const std::string& out, unsigned threads)
{
    fs::remove_all(out);
    fs::create_directories(out);
    for (const std::string& folder : c.folders)
        fs::create_directories(out + "/" + folder);
    for (const std::string& link : c.links)
        fs::create_symlink(link.substr(link.find(' ') + 1), out + "/" + link.substr(0, link.find(' ')));
    for (int i : {50, 300}) {
        fs::create_directories(fs::path(out + "/" + pathOf(i)).parent_path());
        writeBytes(out + "/" + pathOf(i), bytesOf("old " + std::to_string(i)));
    }
    Archive archive;
    EXPECT_TRUE(archive.open(archivePath, test::DefaultPassword));
    Extractor extractor(archive);
    Outcome outcome;
    extractor.options().threads = threads;
    extractor.options().stopAtFirstFailure = true;
    extractor.options().overwrite = Extractor::Overwrite::Ask;
    extractor.options().askOverwrite = [&](std::int32_t index, const std::string& path) {
        outcome.questions.push_back(std::to_string(index) + " " + path);
        return true;
    };
    const fs::path before = fs::current_path();
    if (c.workingFolder) {
        fs::current_path(out);
        EXPECT_TRUE(extractor.openWorkingFolder());
    } else {
        EXPECT_TRUE(extractor.open(out));
    }
    const std::vector<Extractor::Job> jobs = jobsFor(c, c.workingFolder);
    if (threads == 0) {
        for (const Extractor::Job& job : jobs) {
            const Extractor::Result result = extractor.extract(job.index, job.path);
            outcome.results.push_back(describe(result));
            if (result.status == Status::Failed)
                break;
        }
    } else {
        extractor.extractAll(jobs, [&](const Extractor::Result& r) { outcome.results.push_back(describe(r)); });
    }
    extractor.close();
    fs::current_path(before);
    outcome.tree = snapshot(out);
    return outcome;
}

TEST(ExtractAllStopTest, NothingOfAnyJobAfterTheFirstFailure)
{
    const std::vector<Case> cases = {
        {"damaged stored bytes", Problem::ReadFailed, "", true, {}, false, {}},
        {"damaged, paths as given from the working folder", Problem::ReadFailed, "", true, {}, true, {}},
        {"an unsafe name", Problem::UnsafeName, "../escape", false, {}, false, {}},
        {"a folder at the output path", Problem::FolderInTheWay, "", false, {pathOf(Failing)}, false, {}},
        // Job 120 wrote the file d3/f120, which the failing job needs as a folder.
        {"an earlier job's file on the way", Problem::NotAFolderOnTheWay, pathOf(120) + "/f", false, {}, false, {}},
        // The failing job's folder, and so every later job's up to the
        // 240th, is a link out of the destination: read ahead, those jobs
        // must not reach the folder outside either.
        {"a link on the way", Problem::LinkOnTheWay, "", false, {}, false, {"d5 ../outside"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        TempDir dir;
        const std::string archivePath = dir / "a.vza";
        writeArchive(
            archivePath, Count,
            [](int i) {
                if (i == 100 || i == 300)
                    return TestEntry(pathOf(i), test::randomBytes(700 << 10, static_cast<std::uint32_t>(i)));
                if (i == Failing)  // long enough that spoiling it spoils no neighbour
                    return TestEntry(pathOf(i), test::compressible(2000, static_cast<std::uint32_t>(i)));
                return TestEntry(pathOf(i), test::compressible(100 + i % 900, static_cast<std::uint32_t>(i)));
            },
            FlagCompressed | FlagEncrypted);
        if (c.damaged) {
            const std::uint64_t offset = test::entryOffset(archivePath, Failing);
            Bytes bytes = readBytes(archivePath);
            for (std::size_t k = 0; k < 16; ++k)
                bytes[offset + 8 + k] ^= 0x5A;
            writeBytes(archivePath, bytes);
        }
        writeBytes(dir / "outside/secret", bytesOf("secret"));
        const Strings outside = snapshot(dir / "outside");
        const Outcome reference = run(c, archivePath, dir / "out", 0);
        ASSERT_EQ(reference.results.size(), static_cast<std::size_t>(Failing + 1));
        EXPECT_NE(reference.results.back().find("problem " + std::to_string(static_cast<int>(c.problem))),
                  std::string::npos)
            << reference.results.back();
        EXPECT_EQ(reference.questions, Strings{"50 " + pathOf(50)});
        for (int round = 0; round < 4; ++round) {
            // The last round where unnamed files cannot be made: every
            // entry read ahead waits in memory instead.
            const bool named = round == 3;
            forceNamedTemporaries(named);
            for (unsigned threads : {1u, 2u, 4u}) {
                if (named && threads != 4)
                    continue;
                SCOPED_TRACE(std::to_string(threads) + (named ? " threads, named temporaries" : " threads"));
                const Outcome outcome = run(c, archivePath, dir / "out", threads);
                EXPECT_EQ(outcome.results, reference.results);
                EXPECT_EQ(outcome.questions, reference.questions);
                EXPECT_EQ(outcome.tree, reference.tree);
            }
            forceNamedTemporaries(false);
        }
        // What the reference left, spelled out: every job before the
        // failure is there, nothing after it, no temporary name anywhere,
        // and the folders only later jobs needed were never made.
        const std::string out = dir / "out";
        for (int i = 0; i < Failing; ++i)
            EXPECT_TRUE(fs::is_regular_file(out + "/" + pathOf(i))) << i;
        EXPECT_EQ(readBytes(out + "/" + pathOf(300)), bytesOf("old 300"));
        for (int i = Failing + 1; i < Count; ++i) {
            if (i != 300) {
                EXPECT_FALSE(fs::exists(out + "/" + pathOf(i))) << i;
            }
        }
        for (int folder = Failing / 40 + 1; folder < Count / 40; ++folder) {
            if (folder != 300 / 40) {
                EXPECT_FALSE(fs::exists(out + "/d" + std::to_string(folder))) << folder;
            }
        }
        for (const std::string& line : reference.tree)
            EXPECT_EQ(line.find(".tmp"), std::string::npos) << line;
        EXPECT_EQ(snapshot(dir / "outside"), outside);
    }
}

// Where files cannot be unnamed (no O_TMPFILE: vfat, exFAT, NFS), entries read
// ahead wait in memory: no temporary name appears in the destination before
// its job's turn, not even for a moment (before, each thread's first entry
// read ahead made one and dropped it). Job 0 is kept, job 1 fails at a FIFO:
// nothing at all may have been made in the folder.
TEST(ExtractAllStopTest, ReadAheadMakesNoNamedTemporary)
{
    TempDir dir;
    writeArchive(
        dir / "a.vza", 400, [](int i) { return TestEntry("d/f" + std::to_string(i), "x"); }, 0);
    const std::string out = dir / "out";
    fs::create_directories(out + "/d");
    writeBytes(out + "/d/f0", bytesOf("old"));
    ASSERT_EQ(::mkfifo((out + "/d/f1").c_str(), 0644), 0);
    const int watch = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    ASSERT_GE(watch, 0);
    ASSERT_GE(::inotify_add_watch(watch, (out + "/d").c_str(), IN_CREATE), 0);

    forceNamedTemporaries(true);
    Archive archive;
    ASSERT_TRUE(archive.open(dir / "a.vza", test::DefaultPassword));
    Extractor extractor(archive);
    extractor.options().threads = 2;
    extractor.options().stopAtFirstFailure = true;
    extractor.options().overwrite = Extractor::Overwrite::Ask;
    extractor.options().askOverwrite = [](std::int32_t, const std::string&) { return false; };
    ASSERT_TRUE(extractor.open(out));
    std::vector<Extractor::Job> jobs;
    for (std::int32_t i = 0; i < 400; ++i)
        jobs.push_back({i, ""});
    std::vector<Extractor::Result> results;
    extractor.extractAll(jobs, [&](const Extractor::Result& r) { results.push_back(r); });
    forceNamedTemporaries(false);

    ASSERT_EQ(results.size(), 2u);
    EXPECT_EQ(results[0].status, Status::Skipped);
    EXPECT_EQ(results[1].problem, Problem::SpecialFileInTheWay);
    Strings created;
    alignas(inotify_event) char buffer[1 << 16];
    for (ssize_t got; (got = ::read(watch, buffer, sizeof buffer)) > 0;) {
        for (char* at = buffer; at < buffer + got;) {
            const auto* event = reinterpret_cast<const inotify_event*>(at);
            created.push_back(event->len > 0 ? event->name : "");
            at += sizeof(inotify_event) + event->len;
        }
    }
    ::close(watch);
    EXPECT_EQ(created, Strings{});
    EXPECT_EQ(snapshot(out), (Strings{"d/", "d/f0 3 " + std::to_string(std::hash<std::string>{}("old")), "d/f1"}));
}

}  // namespace
}  // namespace vza
