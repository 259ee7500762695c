// SPDX-License-Identifier: MIT
#include <gtest/gtest.h>

#include <ctime>

#include "testkit/testkit.h"
#include "vza/archive/format/format.h"
#include "vza/archive/read/archive.h"
#include "vza/archive/write/archive_writer.h"
#include "vza/codec/blowfish.h"

using namespace vza;
using namespace vza::test;

namespace {

DataBuffer bufferOf(const std::string& name, const Bytes& bytes)
{
    DataBuffer buffer;
    buffer.assign(bytes.data(), bytes.size());
    buffer.setName(name);
    return buffer;
}

}  // namespace

TEST(ArchiveWriting, EmptyArchiveIsTheHeaderAlone)
{
    TempDir dir;
    for (std::uint32_t flags : {0u, FlagEncrypted}) {
        keyCipher("pw");
        ArchiveIndex index;
        index.setPath(dir / "empty.vza");
        ASSERT_TRUE(index.save(flags));
        Bytes file = readBytes(dir / "empty.vza");
        ASSERT_EQ(file.size(), 32u);
        EXPECT_EQ(getU32(file.data()), ArchiveMagic);
        EXPECT_EQ(getU32(file.data() + 4), flags);
        if (flags & FlagEncrypted)
            decryptBuffer(file.data() + 8, 24);
        EXPECT_EQ(getU32(file.data() + 16), getU32(file.data() + 8) + getU32(file.data() + 12));
        EXPECT_EQ(getU32(file.data() + 24), 0u);
        EXPECT_EQ(getU32(file.data() + 28), 0u);
    }
}

TEST(ArchiveWriting, EncryptedIndexIsPaddedWithZeros)
{
    TempDir dir;
    keyCipher("pw");
    ArchiveIndex index;
    for (const char* name : {"readme.txt", "img/a.bin"}) {
        DataBuffer buffer = bufferOf(name, bytesOf("abc"));
        buffer.encrypt();
        index.addEntry(buffer);
    }
    index.setPath(dir / "e.vza");
    ASSERT_TRUE(index.save(FlagEncrypted));
    Bytes file = readBytes(dir / "e.vza");
    ASSERT_EQ(file.size(), 32u + 48u + 16u + 16u);
    decryptBuffer(file.data() + 8, 24 + 48);
    EXPECT_EQ(getU32(file.data() + 28), 43u);  // the unpadded length
    EXPECT_EQ(Bytes(file.begin() + 32 + 43, file.begin() + 80), Bytes(5, 0));
}

TEST(ArchiveWriting, IncompressibleEntriesAreStoredAsTheyAre)
{
    keyCipher("pw");
    const Bytes random = randomBytes(1000, 5);
    for (std::uint32_t flags : {FlagCompressed, FlagCompressed | FlagEncrypted}) {
        DataBuffer buffer = bufferOf("r", random);
        ASSERT_TRUE(prepareStored(buffer, flags));
        EXPECT_EQ(buffer.info.originalSize, 1000u);
        EXPECT_EQ(buffer.size(), (flags & FlagEncrypted) ? 1008u : 1000u);
    }
}

TEST(ArchiveWriting, RecordsAndFlagsAreWrittenAsGiven)
{
    TempDir dir;
    ArchiveIndex index;
    index.addRecord(nullptr);
    index.appendData(nullptr);
    EXPECT_EQ(index.entryCount(), 0);
    EXPECT_TRUE(index.data().empty());

    index.addEntry(bufferOf("dir\\file.txt", bytesOf("data")));
    index.setPath(dir.path() + "\\out.vza");
    EXPECT_EQ(index.path(), dir / "out.vza");
    for (std::uint32_t flags : {1u, 0x100u}) {
        ASSERT_TRUE(index.save(flags));
        Archive archive;
        EXPECT_EQ(archive.probeFlags(dir / "out.vza"), static_cast<std::int32_t>(flags));
        ASSERT_TRUE(archive.open(dir / "out.vza", ""));
        EXPECT_EQ(archive.entryName(0), "dir/file.txt");
        EXPECT_EQ(archive.find("dir\\file.txt"), 0);
    }
}

TEST(ArchiveWriting, SavesWithinOneSecondShareTheirCheckWords)
{
    TempDir dir;
    ArchiveIndex index;
    index.addEntry(bufferOf("a", bytesOf("payload")));
    index.setPath(dir / "a.vza");
    Bytes first, second;
    std::time_t before, after;
    do {  // retry in the rare case that the clock ticks between the saves
        before = std::time(nullptr);
        ASSERT_TRUE(index.save(0));
        first = readBytes(dir / "a.vza");
        ASSERT_TRUE(index.save(0));
        second = readBytes(dir / "a.vza");
        after = std::time(nullptr);
    } while (before != after);
    EXPECT_EQ(first, second);
    EXPECT_LT(getU32(first.data() + 8), 0x0FFFFFFFu);
    EXPECT_LT(getU32(first.data() + 12), 0x0FFFFFFFu);
}

TEST(ArchiveWriting, FailedSaveLeavesNothingBehind)
{
    TempDir dir;
    writeBytes(dir / "existing.vza", bytesOf("precious"));
    ArchiveIndex index;
    index.addEntry(bufferOf("a", bytesOf("x")));
    index.setPath(dir / "no/such/folder/a.vza");
    EXPECT_FALSE(index.save(0));
    EXPECT_EQ(index.lastError(), ArchiveError::CannotWriteOutput);
    ASSERT_EQ(mkdir((dir / "taken").c_str(), 0755), 0);
    index.setPath(dir / "taken");
    EXPECT_FALSE(index.save(0));
    EXPECT_EQ(dir.list(), (std::vector<std::string>{"existing.vza", "taken"}));
}
