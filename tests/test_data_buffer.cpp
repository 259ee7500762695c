// SPDX-License-Identifier: MIT
#include <gtest/gtest.h>

#include <cerrno>
#include <sys/stat.h>
#include <utility>

#include "testkit/testkit.h"
#include "vza/archive/format/data_buffer.h"

using namespace vza;
using namespace vza::test;

TEST(DataBuffer, StartsEmptyAndResets)
{
    DataBuffer buffer;
    EXPECT_TRUE(buffer.bytes.empty());
    EXPECT_EQ(buffer.info, ArchiveEntry{});

    buffer.assign("abc", 3);
    buffer.setName("dir\\file.txt");
    EXPECT_EQ(buffer.name(), "dir/file.txt");
    EXPECT_EQ(buffer.info.originalSize, 3u);
    EXPECT_EQ(buffer.info.storedSize, 3u);

    buffer.reset();
    EXPECT_TRUE(buffer.bytes.empty());
    EXPECT_EQ(buffer.info, ArchiveEntry{});
}

TEST(DataBuffer, WordsAndBytesPastTheEndReadAsZero)
{
    DataBuffer buffer;
    buffer.appendU32(0x01020304);
    buffer.appendU32(0xA0B0C0D0);
    ASSERT_EQ(buffer.size(), 8u);
    EXPECT_EQ(buffer.getU32At(4), 0xA0B0C0D0u);    // length - 4: the last word
    EXPECT_EQ(buffer.getU32At(5), 0u);             // length - 3: not enough bytes
    EXPECT_EQ(buffer.getU32At(SIZE_MAX - 1), 0u);  // no wrap-around
    EXPECT_EQ(buffer.byteAt(7), 0xD0);
    EXPECT_EQ(buffer.byteAt(8), 0);

    DataBuffer shortBuffer;
    shortBuffer.assign("abc", 3);
    for (std::size_t offset : {0, 1, 2, 3, 100})
        EXPECT_EQ(shortBuffer.getU32At(offset), 0u) << offset;
}

TEST(DataBuffer, ReadRangeAcrossChunkBoundaries)
{
    TempDir dir;
    const Bytes file = randomBytes(3 * DataBuffer::ChunkSize, 7);
    writeBytes(dir / "f", file);

    for (std::uint32_t length : {0u, 1u, 65535u, 65536u, 65537u, 131072u}) {
        DataBuffer buffer;
        buffer.setName("kept");
        ASSERT_TRUE(buffer.readRange(dir / "f", 5, length)) << length;
        EXPECT_EQ(buffer.bytes, Bytes(file.begin() + 5, file.begin() + 5 + length)) << length;
        EXPECT_EQ(buffer.info.originalSize, length);
        EXPECT_EQ(buffer.info.storedSize, length);
        EXPECT_EQ(buffer.name(), "kept");
    }
}

TEST(DataBuffer, ReadRangeFailures)
{
    TempDir dir;
    writeBytes(dir / "f", randomBytes(100, 1));
    DataBuffer buffer;
    buffer.assign("keep", 4);

    EXPECT_FALSE(buffer.readRange(dir / "missing", 0, 4));
    EXPECT_EQ(buffer.bytes, bytesOf("keep"));  // untouched when the file cannot be opened
    EXPECT_FALSE(buffer.readRange(dir / "f", -1, 4));
    EXPECT_EQ(buffer.bytes, bytesOf("keep"));

    EXPECT_FALSE(buffer.readRange(dir / "f", 90, 11));  // one byte short
    EXPECT_TRUE(buffer.bytes.empty());
    EXPECT_FALSE(buffer.readRange(dir / "f", 0, 0xFFFFFFFF));  // no 4 GiB allocation
    EXPECT_TRUE(buffer.bytes.empty());
}

TEST(DataBuffer, LoadFile)
{
    TempDir dir;
    const Bytes file = randomBytes(2 * DataBuffer::ChunkSize + 3, 2);
    writeBytes(dir / "f", file);
    writeBytes(dir / "empty", {});

    DataBuffer buffer;
    ASSERT_TRUE(buffer.loadFile(dir / "f"));
    EXPECT_EQ(buffer.bytes, file);
    EXPECT_EQ(buffer.info.originalSize, file.size());
    ASSERT_TRUE(buffer.loadFile(dir / "empty"));
    EXPECT_TRUE(buffer.bytes.empty());

    // Only a regular file is read, and never past the size it had when
    // opened: a device without end, a FIFO nobody writes to (which must not
    // block the open) and a folder are refused, the buffer kept as it was.
    ASSERT_EQ(mkfifo((dir / "fifo").c_str(), 0600), 0);
    const std::pair<std::string, int> refused[] = {
        {dir / "missing", ENOENT}, {dir.path(), EISDIR}, {"/dev/zero", EINVAL}, {dir / "fifo", EINVAL}};
    for (const auto& [path, error] : refused) {
        SCOPED_TRACE(path);
        buffer.assign("keep", 4);
        EXPECT_FALSE(buffer.loadFile(path));
        EXPECT_EQ(buffer.systemError(), error);
        EXPECT_EQ(buffer.bytes, bytesOf("keep"));
    }
}

TEST(DataBuffer, WriteFileReplacesOnlyWhenComplete)
{
    TempDir dir;
    DataBuffer buffer;
    buffer.assign("new", 3);

    writeBytes(dir / "out", bytesOf("old contents"));
    ASSERT_TRUE(buffer.writeFile(dir / "out"));
    EXPECT_EQ(readBytes(dir / "out"), bytesOf("new"));

    // A folder that does not exist: nothing is created anywhere.
    EXPECT_FALSE(buffer.writeFile(dir / "no/such/out"));
    // A target that cannot be replaced (a folder): it stays, no temporary is left.
    ASSERT_EQ(mkdir((dir / "sub").c_str(), 0755), 0);
    EXPECT_FALSE(buffer.writeFile(dir / "sub"));
    EXPECT_EQ(dir.list(), (std::vector<std::string>{"out", "sub"}));
}

TEST(DataBuffer, WrittenFilesGetTheUsualPermissions)
{
    TempDir dir;
    DataBuffer buffer;
    buffer.assign("x", 1);
    const mode_t previous = umask(027);
    const bool written = buffer.writeFile(dir / "out");
    umask(previous);
    ASSERT_TRUE(written);
    struct stat info;
    ASSERT_EQ(stat((dir / "out").c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0640u);  // 0666 less the umask, not 0600
}
