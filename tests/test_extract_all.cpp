// SPDX-License-Identifier: MIT
// extractAll on several threads ends exactly as extract() one entry after
// the other: the same files with the same bytes and modes, the same result
// for every entry, the same questions in the same order.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include <sys/stat.h>

#include "testkit/testkit.h"
#include "vza/archive/extract/extractor.h"
#include "vza/archive/format/format.h"
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

// Cancelled from the report of the 100th entry: what is on disk is exactly
// what was reported written, the rest never began, and no temporary is left.
TEST(ExtractAllTest, CancelLeavesWhatItReports)
{
    TempDir dir;
    std::vector<TestEntry> entries;
    for (int i = 0; i < 2000; ++i)
        entries.push_back({"c/" + std::to_string(i), "entry " + std::to_string(i)});
    writeArchive(dir / "a.vza", entries, FlagCompressed | FlagEncrypted);
    for (unsigned threads : {1u, 4u}) {
        SCOPED_TRACE(threads);
        Archive archive;
        ASSERT_TRUE(archive.open(dir / "a.vza", test::DefaultPassword));
        const std::string out = dir / ("out" + std::to_string(threads));
        Extractor extractor(archive);
        std::atomic<bool> cancel{false};
        extractor.options().threads = threads;
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
        EXPECT_LT(results.size(), entries.size());
        Strings written;
        int cancelled = 0;
        for (std::size_t k = 0; k < results.size(); ++k) {
            if (k < 100)
                EXPECT_EQ(results[k].index, static_cast<std::int32_t>(k));  // in order, none left out
            else
                EXPECT_GT(results[k].index, results[k - 1].index);  // in order, those never begun left out
            if (results[k].status == Status::Written)
                written.push_back(std::to_string(results[k].index));
            else
                cancelled += results[k].status == Status::Cancelled;
        }
        EXPECT_GE(cancelled, 1);
        std::sort(written.begin(), written.end());
        Strings onDisk;
        for (const auto& item : fs::directory_iterator(out + "/c"))
            onDisk.push_back(item.path().filename().string());
        std::sort(onDisk.begin(), onDisk.end());
        EXPECT_EQ(onDisk, written);
        EXPECT_EQ(readBytes(out + "/c/99"), bytesOf("entry 99"));
    }
}

}  // namespace
}  // namespace vza
