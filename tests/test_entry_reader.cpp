// SPDX-License-Identifier: MIT
// Reading entries at their offsets from the file an Archive holds: several
// readers at once, one reader over many entries in any order, damaged entries
// among good ones, and a file changed or replaced after open.
#include <gtest/gtest.h>

#include <cstdio>
#include <thread>

#include <unistd.h>

#include "testkit/testkit.h"
#include "vza/archive/format/format.h"
#include "vza/archive/read/archive.h"
#include "vza/archive/read/entry_reader.h"

using namespace vza;
using namespace vza::test;

namespace {

// Many small entries, so that readers run through the read-ahead window,
// with a few large ones among them that are read block by block.
std::vector<TestEntry> mixedEntries()
{
    std::vector<TestEntry> entries;
    for (int i = 0; i < 400; ++i) {
        const std::size_t length = static_cast<std::size_t>(i * 37 % 3000);
        const auto seed = static_cast<std::uint32_t>(i + 1);
        entries.emplace_back("small/" + std::to_string(i),
                             i % 3 == 0 ? randomBytes(length, seed) : compressibleBytes(length, seed));
        if (i % 100 == 50)
            entries.emplace_back("large/" + std::to_string(i), compressibleBytes(300000, seed));
    }
    entries.emplace_back("random-large", randomBytes(70000, 5));
    return entries;
}

Bytes readAll(EntryReader& reader, std::int32_t index)
{
    Bytes out;
    const bool ok = reader.streamEntry(index, [&out](const std::uint8_t* data, std::size_t length) {
        out.insert(out.end(), data, data + length);
        return true;
    });
    if (!ok)
        throw std::runtime_error("entry " + std::to_string(index) + ": " + errorText(reader.lastError()));
    return out;
}

}  // namespace

// Two threads read one Archive at once, each through its own reader, each
// the whole archive forwards, backwards and forwards again: every entry's
// bytes come out whole each time, whatever order the read-ahead sees.
TEST(EntryReader, ReadersOnOneArchiveAtOnceGetEveryEntryInAnyOrder)
{
    const std::vector<TestEntry> entries = mixedEntries();
    for (std::uint32_t flags : {0u, FlagCompressed, FlagEncrypted, FlagEncrypted | FlagCompressed}) {
        SCOPED_TRACE("flags " + std::to_string(flags));
        TempDir dir;
        writeArchive(dir / "a.vza", entries, flags);
        Archive archive;
        ASSERT_TRUE(archive.open(dir / "a.vza", DefaultPassword));
        const auto count = static_cast<std::int32_t>(entries.size());

        std::vector<int> wrong(2, 0);
        const auto work = [&](int who) {
            EntryReader reader(archive);
            for (int pass = 0; pass < 3; ++pass) {
                for (std::int32_t step = 0; step < count; ++step) {
                    const bool backwards = (pass + who) % 2 == 1;
                    const std::int32_t i = backwards ? count - 1 - step : step;
                    try {
                        if (readAll(reader, i) != entries[static_cast<std::size_t>(i)].data)
                            ++wrong[static_cast<std::size_t>(who)];
                    } catch (const std::exception&) {
                        ++wrong[static_cast<std::size_t>(who)];
                    }
                }
            }
        };
        std::thread other(work, 1);
        work(0);
        other.join();
        EXPECT_EQ(wrong, (std::vector<int>{0, 0}));

        // The Archive's own reader, the same entry twice in a row.
        for (std::int32_t i : {3, 3, 0, count - 1, count - 1}) {
            DataBuffer buffer;
            ASSERT_TRUE(archive.readEntry(i, buffer)) << i;
            EXPECT_EQ(buffer.bytes, entries[static_cast<std::size_t>(i)].data) << i;
        }
    }
}

// One reader kept over damaged and good entries: each damaged one fails
// with its own reason, and nothing of it leaks into the next entry.
TEST(EntryReader, ADamagedEntryFailsAloneAndTheReaderGoesOn)
{
    const Bytes text = compressibleBytes(100000);
    const Bytes stream = zlibStream(text);
    Bytes badAdler = stream;
    badAdler.back() ^= 0x40;
    const Bytes bomb = zlibStream(Bytes(1 << 20, 0));
    const Bytes small = bytesOf("small and good");
    const struct {
        RawEntry entry;
        ArchiveError error;
    } cases[] = {
        {{"good", stream, 100000}, ArchiveError::None},
        {{"bad Adler-32", badAdler, 100000}, ArchiveError::EntryCorrupt},
        {{"small", zlibStream(small), static_cast<std::uint32_t>(small.size())}, ArchiveError::None},
        {{"cut short", Bytes(stream.begin(), stream.begin() + 1000), 100000}, ArchiveError::EntryCorrupt},
        {{"good again", stream, 100000}, ArchiveError::None},
        {{"bomb", bomb, 100}, ArchiveError::EntryTooLarge},
        {{"stops early", stream, 100001}, ArchiveError::EntrySizeMismatch},
        {{"stored as it is", small, static_cast<std::uint32_t>(small.size())}, ArchiveError::None},
        {{"last", stream, 100000}, ArchiveError::None},
    };
    std::vector<RawEntry> raw;
    for (const auto& c : cases)
        raw.push_back(c.entry);
    TempDir dir;
    writeRawArchive(dir / "a.vza", FlagCompressed, raw);
    Archive archive;
    ASSERT_TRUE(archive.open(dir / "a.vza", ""));
    EntryReader reader(archive);
    for (int pass = 0; pass < 2; ++pass) {
        for (std::int32_t i = 0; i < archive.entryCount(); ++i) {
            const auto& c = cases[i];
            SCOPED_TRACE(c.entry.name);
            Bytes out;
            const bool ok = reader.streamEntry(i, [&out](const std::uint8_t* data, std::size_t length) {
                out.insert(out.end(), data, data + length);
                return true;
            });
            EXPECT_EQ(ok, c.error == ArchiveError::None);
            EXPECT_EQ(reader.lastError(), c.error) << errorText(reader.lastError());
            if (ok) {
                EXPECT_EQ(out.size(), c.entry.originalSize);
            }
        }
    }
    EXPECT_FALSE(reader.streamEntry(archive.entryCount(), [](const std::uint8_t*, std::size_t) { return true; }));
    EXPECT_EQ(reader.lastError(), ArchiveError::NoSuchEntry);
}

// The entries come from the file the index was read from: another archive
// put in its place is never read with this index, and a copy of the Archive
// keeps the file when the original lets go. The same file cut short after
// open gives EntryTruncated for what was cut, small entries and large alike.
TEST(EntryReader, EntriesComeFromTheFileTheIndexWasReadFrom)
{
    const std::vector<TestEntry> entries = {
        {"first", bytesOf("first entry")}, {"second", compressibleBytes(200000)}, {"third", bytesOf("third entry")}};
    for (std::uint32_t flags : {0u, FlagEncrypted | FlagCompressed}) {
        SCOPED_TRACE("flags " + std::to_string(flags));
        TempDir dir;
        writeArchive(dir / "a.vza", entries, flags);
        Archive archive;
        ASSERT_TRUE(archive.open(dir / "a.vza", DefaultPassword));

        writeArchive(dir / "b.vza", {{"other", bytesOf("other")}}, flags);
        ASSERT_EQ(std::rename((dir / "b.vza").c_str(), (dir / "a.vza").c_str()), 0);
        Archive copy = archive;
        archive.reset();
        EntryReader reader(copy);
        for (std::int32_t i = 0; i < 3; ++i)
            EXPECT_EQ(readAll(reader, i), entries[static_cast<std::size_t>(i)].data) << i;

        writeArchive(dir / "c.vza", entries, flags);
        Archive cut;
        ASSERT_TRUE(cut.open(dir / "c.vza", DefaultPassword));
        const std::uint64_t secondEnds = cut.archiveIndex().entryOffset(2);
        ASSERT_EQ(truncate((dir / "c.vza").c_str(), static_cast<off_t>(secondEnds - 1)), 0);
        EntryReader cutReader(cut);
        EXPECT_EQ(readAll(cutReader, 0), entries[0].data);
        for (std::int32_t i : {1, 2}) {
            EXPECT_FALSE(cutReader.streamEntry(i, [](const std::uint8_t*, std::size_t) { return true; })) << i;
            EXPECT_EQ(cutReader.lastError(), ArchiveError::EntryTruncated) << i;
        }
    }
}

// Large enciphered entries are read and deciphered ahead on a second thread.
// The same bytes and the same verdicts as reading in the calling thread: a
// whole entry over several pieces; one cut short inside its third piece;
// one with a byte changed deep inside (the zlib stream or its Adler-32
// refuses it); a sink that stops after the first piece, which must end the
// read at once, leaving the reader good for the next entry.
TEST(EntryReader, LargeEncipheredEntriesReadAheadWithTheSameVerdicts)
{
    // Half of it shrinks, half does not: compressed, it still spans pieces.
    Bytes big = compressibleBytes(1536 * 1024, 7);
    const Bytes tail = randomBytes(1536 * 1024 + 123, 9);
    big.insert(big.end(), tail.begin(), tail.end());
    const Bytes noise = randomBytes(2 * 1024 * 1024 + 5, 8);
    const std::vector<TestEntry> entries = {{"big", big}, {"noise", noise}, {"after", bytesOf("after")}};
    const auto ignore = [](const std::uint8_t*, std::size_t) { return true; };
    for (std::uint32_t flags : {FlagEncrypted, FlagEncrypted | FlagCompressed}) {
        SCOPED_TRACE("flags " + std::to_string(flags));
        TempDir dir;
        writeArchive(dir / "a.vza", entries, flags);
        Archive archive;
        ASSERT_TRUE(archive.open(dir / "a.vza", DefaultPassword));
        EntryReader reader(archive);
        EXPECT_EQ(readAll(reader, 0), big);
        EXPECT_EQ(readAll(reader, 1), noise);

        int calls = 0;
        EXPECT_FALSE(reader.streamEntry(1, [&calls](const std::uint8_t*, std::size_t) { return ++calls < 2; }));
        EXPECT_EQ(reader.lastError(), ArchiveError::CannotWriteOutput);
        EXPECT_EQ(calls, 2);
        EXPECT_EQ(readAll(reader, 2), bytesOf("after"));

        // Changed deep inside: compressed, the stream refuses it (which
        // check sees it first depends on the byte); stored, only the changed
        // block differs and nothing can tell.
        Bytes file = readBytes(dir / "a.vza");
        const std::uint64_t second = archive.archiveIndex().entryOffset(1);
        file[static_cast<std::size_t>(second) - 1000] ^= 0x40;
        writeBytes(dir / "b.vza", file);
        Archive changed;
        ASSERT_TRUE(changed.open(dir / "b.vza", DefaultPassword));
        EntryReader changedReader(changed);
        if (flags & FlagCompressed) {
            EXPECT_FALSE(changedReader.streamEntry(0, ignore));
            EXPECT_NE(changedReader.lastError(), ArchiveError::None);
        } else {
            Bytes got = readAll(changedReader, 0);
            ASSERT_EQ(got.size(), big.size());
            std::size_t differ = 0;
            for (std::size_t i = 0; i < got.size(); ++i)
                differ += got[i] != big[i];
            EXPECT_GE(differ, 1u);
            EXPECT_LE(differ, 8u);
        }
        EXPECT_EQ(readAll(changedReader, 1), noise);

        const std::uint64_t first = archive.archiveIndex().entryOffset(0);
        ASSERT_EQ(truncate((dir / "a.vza").c_str(), static_cast<off_t>(first + 600 * 1024)), 0);
        EXPECT_FALSE(reader.streamEntry(0, ignore));
        EXPECT_EQ(reader.lastError(), ArchiveError::EntryTruncated);
    }
}

// A caller that says where the entries it is about to read end gets them
// from one read ahead, starting at whichever comes first, and nothing past
// that end is read ahead: the bytes there are read when their entry is.
// Seen by changing stored bytes in the file between reads.
TEST(EntryReader, ReadAheadStopsWhereTheCallerSaysTheEntriesEnd)
{
    const std::vector<TestEntry> entries = {
        {"a", bytesOf("aaaa")}, {"b", bytesOf("bbbb")}, {"c", bytesOf("cccc")}, {"d", bytesOf("dddd")}};
    TempDir dir;
    writeArchive(dir / "a.vza", entries, 0);
    Archive archive;
    ASSERT_TRUE(archive.open(dir / "a.vza", DefaultPassword));
    std::FILE* file = std::fopen((dir / "a.vza").c_str(), "r+b");
    ASSERT_NE(file, nullptr);
    const auto change = [&](std::int32_t index, const char* bytes) {
        ASSERT_EQ(std::fseek(file, static_cast<long>(archive.storedOffset(index)), SEEK_SET), 0);
        ASSERT_EQ(std::fwrite(bytes, 1, 4, file), 4u);
        ASSERT_EQ(std::fflush(file), 0);
    };

    EntryReader reader(archive);
    reader.limitReadAhead(archive.storedOffset(3));  // where c ends
    EXPECT_EQ(readAll(reader, 1), bytesOf("bbbb"));
    change(2, "CCCC");
    change(3, "DDDD");
    EXPECT_EQ(readAll(reader, 2), bytesOf("cccc")) << "read ahead with b";
    EXPECT_EQ(readAll(reader, 3), bytesOf("DDDD")) << "past the end given: read when asked for";
    std::fclose(file);
}
