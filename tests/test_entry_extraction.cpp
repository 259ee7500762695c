// SPDX-License-Identifier: MIT
#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include "testkit/testkit.h"
#include "vza/archive/format/format.h"
#include "vza/archive/fs/output_file.h"
#include "vza/archive/read/archive.h"
#include "vza/codec/blowfish.h"

using namespace vza;
using namespace vza::test;

namespace {

const Bytes Text = compressibleBytes(300000);

const std::vector<TestEntry> RoundTripEntries = {
    {"empty", Bytes{}},
    {"", bytesOf("a 0-byte name")},
    {"hello.txt", bytesOf("hello")},
    {"random.bin", randomBytes(70000, 11)},  // does not shrink
    {"dir/text.txt", Text},                  // shrinks; inflates in several 64 KiB steps
    {"exactly-8", bytesOf("12345678")},
};

class WorkingDirectory {
public:
    explicit WorkingDirectory(const std::string& path) : previous_(getcwd(nullptr, 0))
    {
        EXPECT_EQ(chdir(path.c_str()), 0);
    }
    ~WorkingDirectory()
    {
        EXPECT_EQ(chdir(previous_), 0);
        free(previous_);
    }

private:
    char* previous_;
};

}  // namespace

TEST(EntryExtraction, EveryFlagCombinationRoundTrips)
{
    for (std::uint32_t flags : {0u, FlagEncrypted, FlagCompressed, FlagEncrypted | FlagCompressed}) {
        SCOPED_TRACE("flags " + std::to_string(flags));
        TempDir dir;
        writeArchiveAsGiven(dir / "a.vza", RoundTripEntries, flags, "pw");
        Archive archive;
        ASSERT_TRUE(archive.open(dir / "a.vza", "pw"));
        ASSERT_EQ(archive.entryCount(), static_cast<std::int32_t>(RoundTripEntries.size()));
        for (std::int32_t i = 0; i < archive.entryCount(); ++i) {
            const TestEntry& expected = RoundTripEntries[static_cast<std::size_t>(i)];
            SCOPED_TRACE(expected.name);
            EXPECT_EQ(archive.entryName(i), toSlashes(expected.name));
            DataBuffer buffer;
            ASSERT_TRUE(archive.readEntry(i, buffer));
            EXPECT_EQ(buffer.bytes, expected.data);
            EXPECT_EQ(buffer.info.originalSize, expected.data.size());

            std::vector<std::uint8_t> bytes;
            ASSERT_TRUE(archive.readData(expected.name, &bytes));
            EXPECT_EQ(bytes, expected.data);

            const std::string out = dir / ("out" + std::to_string(i));
            ASSERT_TRUE(archive.extractToFile(expected.name, out));
            EXPECT_EQ(readBytes(out), expected.data);
        }
        // Random bytes never shrink, so they are stored as they are (sealed
        // when encrypted); text is stored as a stream when compressed.
        const bool sealedEntries = flags & FlagEncrypted;
        EXPECT_EQ(archive.entry(0)->storedSize, sealedEntries ? 8u : 0u);
        EXPECT_EQ(archive.entry(3)->storedSize, sealedEntries ? roundUp8(70000) + 8 : 70000);
        if (flags & FlagCompressed) {
            EXPECT_LT(archive.entry(4)->storedSize, Text.size() / 2);
        }
    }
}

TEST(EntryExtraction, DamagedEntriesFailAndWriteNothing)
{
    const Bytes stream = zlibStream(Text);
    Bytes badAdler = stream;
    badAdler.back() ^= 0x40;
    Bytes badFirstBlock = sealedForm(bytesOf("hello"), "secret");
    badFirstBlock[0] ^= 1;
    Bytes sealedPlusBlock = sealedForm(bytesOf("hello"), "secret");
    sealedPlusBlock.insert(sealedPlusBlock.end(), 8, 0);
    const Bytes bomb = zlibStream(Bytes(10 << 20, 0));  // 10 MiB of zeros, about 10 KB stored

    const struct {
        const char* what;
        std::uint32_t flags;
        RawEntry entry;
        ArchiveError error;
    } cases[] = {
        {"bad Adler-32", FlagCompressed, {"e", badAdler, 300000}, ArchiveError::EntryCorrupt},
        {"stream cut short",
         FlagCompressed,
         {"e", Bytes(stream.begin(), stream.end() - 6), 300000},
         ArchiveError::EntryCorrupt},
        {"gzip data", FlagCompressed, {"e", gzipStream(Text), 300000}, ArchiveError::EntryCorrupt},
        {"not a stream at all", FlagCompressed, {"e", bytesOf("plain text"), 300}, ArchiveError::EntryCorrupt},
        {"inflates past its size", FlagCompressed, {"e", bomb, 100}, ArchiveError::EntryTooLarge},
        {"inflates short of its size", FlagCompressed, {"e", stream, 300001}, ArchiveError::EntrySizeMismatch},
        {"plain length differs", 0, {"e", bytesOf("hello"), 4}, ArchiveError::EntryTooLarge},
        {"damaged first block", FlagEncrypted, {"e", badFirstBlock, 5}, ArchiveError::EntryCorrupt},
        {"sealed under another key",
         FlagEncrypted,
         {"e", sealedForm(bytesOf("hello"), "other"), 5},
         ArchiveError::EntryCorrupt},
        {"seal length mismatch", FlagEncrypted, {"e", sealedPlusBlock, 5}, ArchiveError::EntryCorrupt},
        {"shorter than a block", FlagEncrypted, {"e", Bytes(7, 0), 0}, ArchiveError::EntryCorrupt},
        {"empty sealed entry", FlagEncrypted, {"e", {}, 0}, ArchiveError::EntryCorrupt},
        {"sealed bad Adler-32",
         FlagEncrypted | FlagCompressed,
         {"e", sealedForm(badAdler, "secret"), 300000},
         ArchiveError::EntryCorrupt},
        {"sealed bomb",
         FlagEncrypted | FlagCompressed,
         {"e", sealedForm(bomb, "secret"), 100},
         ArchiveError::EntryTooLarge},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        TempDir dir;
        writeRawArchive(dir / "a.vza", c.flags, {c.entry});
        writeBytes(dir / "existing", bytesOf("precious"));
        Archive archive;
        ASSERT_TRUE(archive.open(dir / "a.vza", "secret"));

        DataBuffer buffer;
        EXPECT_FALSE(archive.readEntry(0, buffer));
        EXPECT_EQ(archive.lastError(), c.error) << errorText(archive.lastError());
        std::vector<std::uint8_t> bytes;
        EXPECT_FALSE(archive.readData("e", &bytes));
        EXPECT_FALSE(archive.extractToFile("e", dir / "out"));
        EXPECT_FALSE(archive.extractToFile("e", dir / "existing"));
        EXPECT_EQ(archive.lastError(), c.error);
        EXPECT_EQ(readBytes(dir / "existing"), bytesOf("precious"));
        EXPECT_EQ(dir.list(), (std::vector<std::string>{"a.vza", "existing"}));
    }
}

TEST(EntryExtraction, TruncatedArchiveStillGivesTheEntriesBeforeTheCut)
{
    for (std::uint32_t flags : {0u, FlagEncrypted | FlagCompressed}) {
        SCOPED_TRACE("flags " + std::to_string(flags));
        TempDir dir;
        writeArchive(dir / "a.vza", {{"one", bytesOf("first")}, {"two", Text}, {"three", bytesOf("last")}}, flags);
        Bytes file = readBytes(dir / "a.vza");
        Archive full;
        ASSERT_TRUE(full.open(dir / "a.vza", "secret"));
        file.resize(full.archiveIndex().entryOffset(1) + full.entry(1)->storedSize - 1);
        writeBytes(dir / "a.vza", file);

        Archive archive;
        ASSERT_TRUE(archive.open(dir / "a.vza", "secret"));
        EXPECT_TRUE(archive.extractToFile("one", dir / "one"));
        EXPECT_EQ(readBytes(dir / "one"), bytesOf("first"));
        for (const char* name : {"two", "three"}) {
            EXPECT_FALSE(archive.extractToFile(name, dir / name)) << name;
            EXPECT_EQ(archive.lastError(), ArchiveError::EntryTruncated) << name;
            EXPECT_FALSE(fileExists(dir / name)) << name;
        }
    }
}

TEST(EntryExtraction, OutputPaths)
{
    TempDir dir;
    writeArchiveAsGiven(dir / "a.vza",
                        {{"img/a.bin", {1, 2, 3}}, {"../escape.txt", bytesOf("x")}, {"/..", bytesOf("y")}}, 0);
    Archive archive;
    ASSERT_TRUE(archive.open(dir / "a.vza", ""));
    WorkingDirectory inside(dir.path());

    // An empty output name writes to the safe form of the data name.
    EXPECT_FALSE(archive.extractToFile("img/a.bin", ""));  // its folder does not exist
    EXPECT_EQ(archive.lastError(), ArchiveError::CannotWriteOutput);
    ASSERT_EQ(mkdir("img", 0755), 0);
    EXPECT_TRUE(archive.extractToFile("img\\a.bin", ""));
    EXPECT_EQ(readBytes("img/a.bin"), (Bytes{1, 2, 3}));
    EXPECT_TRUE(archive.extractToFile("../escape.txt", ""));
    EXPECT_EQ(readBytes("escape.txt"), bytesOf("x"));
    EXPECT_FALSE(archive.extractToFile("/..", ""));
    EXPECT_EQ(archive.lastError(), ArchiveError::UnsafeName);

    // A chosen output name is used exactly as given.
    EXPECT_TRUE(archive.extractToFile("../escape.txt", "chosen.txt"));
    EXPECT_EQ(readBytes("chosen.txt"), bytesOf("x"));
    EXPECT_FALSE(archive.extractToFile("missing", "never.txt"));
    EXPECT_EQ(archive.lastError(), ArchiveError::NoSuchEntry);
    EXPECT_FALSE(fileExists("never.txt"));
}

// Entries stored as they are go to the output through the kernel (sendfile);
// where the output refuses that, they are copied by hand, whole. An output
// opened for appending is one sendfile refuses (EINVAL), on any kernel.
TEST(EntryExtraction, StoredEntriesAreCopiedByHandWhereTheKernelCopyIsRefused)
{
    const Bytes noise = randomBytes((9 << 20) + 5, 6);  // more than one 8 MiB step of the kernel copy
    for (const std::uint32_t flags : {0u, FlagCompressed}) {
        SCOPED_TRACE(flags);
        TempDir dir;
        writeArchive(dir / "a.vza", {{"noise.bin", noise}}, flags);
        Archive archive;
        ASSERT_TRUE(archive.open(dir / "a.vza", ""));
        ASSERT_EQ(archive.entry(0)->storedSize, noise.size());
        for (const bool append : {false, true}) {
            SCOPED_TRACE(append ? "appending output" : "ordinary output");
            OutputFile out;
            ASSERT_TRUE(out.create(dir / "out"));
            if (append) {
                const int descriptor = out.descriptor();
                ASSERT_EQ(fcntl(descriptor, F_SETFL, fcntl(descriptor, F_GETFL) | O_APPEND), 0);
            }
            std::uint64_t reported = 0;
            ASSERT_TRUE(archive.writeEntry(0, out, [&](std::size_t length) {
                reported += length;
                return true;
            }));
            ASSERT_TRUE(out.commit());
            EXPECT_EQ(reported, noise.size());
            EXPECT_TRUE(readBytes(dir / "out") == noise);
        }
    }
}

TEST(EntryExtraction, ReadDataFallsBackToLooseFiles)
{
    TempDir dir;
    writeArchive(dir / "a.vza", {{"inside", bytesOf("archived")}}, 0);
    writeBytes(dir / "loose", bytesOf("on disk"));
    Archive archive;
    ASSERT_TRUE(archive.open(dir / "a.vza", ""));

    std::vector<std::uint8_t> bytes;
    ASSERT_TRUE(archive.readData(dir / "loose", &bytes));
    EXPECT_EQ(bytes, bytesOf("on disk"));
    EXPECT_FALSE(archive.readData(dir / "nowhere", &bytes));
    EXPECT_FALSE(archive.readData("inside", nullptr));

    archive.setLooseFileFallback(false);
    EXPECT_FALSE(archive.looseFileFallback());
    EXPECT_FALSE(archive.readData(dir / "loose", &bytes));
    ASSERT_TRUE(archive.readData("inside", &bytes));
    EXPECT_EQ(bytes, bytesOf("archived"));

    archive.reset();
    EXPECT_TRUE(archive.looseFileFallback());
}

TEST(EntryExtraction, StreamEntryDeliversBoundedPieces)
{
    TempDir dir;
    writeArchive(dir / "a.vza", {{"text", Text}}, FlagEncrypted | FlagCompressed);
    Archive archive;
    ASSERT_TRUE(archive.open(dir / "a.vza", "secret"));
    Bytes joined;
    std::size_t largest = 0;
    ASSERT_TRUE(archive.streamEntry(0, [&](const std::uint8_t* data, std::size_t length) {
        largest = std::max(largest, length);
        joined.insert(joined.end(), data, data + length);
        return true;
    }));
    EXPECT_EQ(joined, Text);
    EXPECT_LE(largest, DataBuffer::ChunkSize);

    // A sink that stops is a failure to write, and extraction leaves nothing.
    EXPECT_FALSE(archive.streamEntry(0, [](const std::uint8_t*, std::size_t) { return false; }));
    EXPECT_EQ(archive.lastError(), ArchiveError::CannotWriteOutput);
    EXPECT_FALSE(archive.streamEntry(1, [](const std::uint8_t*, std::size_t) { return true; }));
    EXPECT_EQ(archive.lastError(), ArchiveError::NoSuchEntry);
}
