// SPDX-License-Identifier: MIT
#include <gtest/gtest.h>

#include <cstring>
#include <memory>

#include "testkit/testkit.h"
#include "vza/archive/format/format.h"
#include "vza/archive/read/archive.h"
#include "vza/codec/blowfish.h"

using namespace vza;
using namespace vza::test;

namespace {

// Two entries, readme.txt ("hello") and img/a.bin (01 02 03), no flags,
// check words 0x1234 and 0x567: the smallest interesting archive, 83 bytes.
const Bytes PlainExample = {0x00, 0x1D, 0x4F, 0xD6, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x12, 0x34, 0x00, 0x00,
                            0x05, 0x67, 0x00, 0x00, 0x17, 0x9B, 0x00, 0x00, 0x17, 0x9C, 0x00, 0x00, 0x00, 0x02,
                            0x00, 0x00, 0x00, 0x2B, 0x00, 0x00, 0x00, 0x0A, 0x00, 0x00, 0x00, 0x05, 0x00, 0x00,
                            0x00, 0x05, 'r',  'e',  'a',  'd',  'm',  'e',  '.',  't',  'x',  't',  0x00, 0x00,
                            0x00, 0x09, 0x00, 0x00, 0x00, 0x03, 0x00, 0x00, 0x00, 0x03, 'i',  'm',  'g',  '/',
                            'a',  '.',  'b',  'i',  'n',  'h',  'e',  'l',  'l',  'o',  0x01, 0x02, 0x03};

void appendWord(Bytes& bytes, std::uint32_t value)
{
    bytes.resize(bytes.size() + 4);
    putU32(value, bytes.data() + bytes.size() - 4);
}

struct Record {
    std::string name;
    std::uint32_t storedSize;
    std::uint32_t originalSize;
};

// Header and index as the format lays them out. For an encrypted archive the
// run from offset 8 to the end of the padded index is enciphered under key.
Bytes headerAndIndex(std::uint32_t flags, const std::vector<Record>& records, const std::string& key = "",
                     std::uint32_t checkA = 0x1234, std::uint32_t checkB = 0x567)
{
    Bytes index;
    for (const Record& record : records) {
        appendWord(index, static_cast<std::uint32_t>(record.name.size()));
        appendWord(index, record.storedSize);
        appendWord(index, record.originalSize);
        index.insert(index.end(), record.name.begin(), record.name.end());
    }
    Bytes out;
    for (std::uint32_t word : {ArchiveMagic, flags, checkA, checkB, checkA + checkB, checkA + checkB + 1,
                               static_cast<std::uint32_t>(records.size()), static_cast<std::uint32_t>(index.size())})
        appendWord(out, word);
    out.insert(out.end(), index.begin(), index.end());
    if (flags & FlagEncrypted) {
        out.resize(static_cast<std::size_t>(roundUp8(static_cast<std::int64_t>(out.size()))));
        keyCipher(key);
        encryptBuffer(out.data() + 8, out.size() - 8);
    }
    return out;
}

// The two example entries with flags 6: neither shrinks, both are sealed.
Bytes encryptedExample(const std::string& key)
{
    Bytes file = headerAndIndex(FlagEncrypted | FlagCompressed, {{"readme.txt", 16, 5}, {"img/a.bin", 16, 3}}, key);
    for (const Bytes& plain : {bytesOf("hello"), Bytes{1, 2, 3}}) {
        DataBuffer buffer;
        buffer.assign(plain.data(), plain.size());
        buffer.encrypt();
        file.insert(file.end(), buffer.bytes.begin(), buffer.bytes.end());
    }
    return file;
}

std::vector<std::string> names(const Archive& archive)
{
    std::vector<std::string> result;
    for (std::int32_t i = 0; i < archive.entryCount(); ++i)
        result.emplace_back(archive.entryName(i));
    return result;
}

}  // namespace

TEST(ArchiveOpen, PlainExampleListsAndLocatesItsEntries)
{
    TempDir dir;
    writeBytes(dir / "a.vza", PlainExample);
    Archive archive;
    ASSERT_TRUE(archive.open(dir / "a.vza", "ignored for plain archives"));
    EXPECT_EQ(names(archive), (std::vector<std::string>{"readme.txt", "img/a.bin"}));
    EXPECT_EQ(archive.entryName(-1), "");
    EXPECT_EQ(archive.entryName(2), "");
    const EntryTable& table = archive.archiveIndex().entryTable();
    EXPECT_EQ(table.indexSize(), 43u);
    EXPECT_EQ(table.dataStart(), 75u);
    EXPECT_EQ(archive.archiveIndex().entryOffset(0), 75u);
    EXPECT_EQ(archive.archiveIndex().entryOffset(1), 80u);
    EXPECT_EQ(archive.archiveIndex().entryOffset(2), 0u);
    EXPECT_EQ(*archive.entry(0), (ArchiveEntry{"readme.txt", 5, 5}));

    DataBuffer buffer;
    ASSERT_TRUE(archive.readEntry(1, buffer));
    EXPECT_EQ(buffer.bytes, (Bytes{1, 2, 3}));
}

TEST(ArchiveOpen, FindComparesExactBytesAfterTurningBackslashes)
{
    TempDir dir;
    writeBytes(dir / "a.vza", PlainExample);
    Archive archive;
    ASSERT_TRUE(archive.open(dir / "a.vza", ""));
    const std::pair<const char*, std::int32_t> cases[] = {
        {"img/a.bin", 1},   {"img\\a.bin", 1},  {"readme.txt", 0}, {"IMG/A.BIN", -1},
        {"img/a.bin ", -1}, {"/img/a.bin", -1}, {"img/a.bi", -1},  {"", -1}};
    for (const auto& [query, expected] : cases) {
        EXPECT_EQ(archive.find(query), expected) << query;
        EXPECT_EQ(archive.contains(query), expected != -1) << query;
    }
}

TEST(ArchiveOpen, DuplicateAndBackslashNames)
{
    TempDir dir;
    Bytes file = headerAndIndex(0, {{"x", 1, 1}, {"a\\b", 1, 1}, {"x", 1, 1}, {"", 0, 0}, {"", 0, 0}});
    file.insert(file.end(), {'1', '2', '3'});
    writeBytes(dir / "a.vza", file);
    Archive archive;
    ASSERT_TRUE(archive.open(dir / "a.vza", ""));
    EXPECT_EQ(archive.find("x"), 0);  // the first of two wins
    EXPECT_EQ(archive.entryName(1), "a\\b");
    EXPECT_EQ(archive.find("a\\b"), -1);  // a stored backslash can never be found
    EXPECT_EQ(archive.find("a/b"), -1);
    EXPECT_EQ(archive.find(""), 3);  // a 0-byte name is a name like any other
    EXPECT_EQ(archive.archiveIndex().entryOffset(2), archive.archiveIndex().entryTable().dataStart() + 2);
}

TEST(ArchiveOpen, EmptyAndFreshArchivesHaveNoEntries)
{
    Archive fresh;
    EXPECT_EQ(fresh.entryCount(), 0);
    EXPECT_EQ(fresh.entryName(0), "");
    EXPECT_EQ(fresh.find("x"), -1);
    EXPECT_TRUE(fresh.looseFileFallback());

    TempDir dir;
    for (std::uint32_t flags : {0u, FlagEncrypted}) {
        const Bytes file = headerAndIndex(flags, {}, "pw");
        ASSERT_EQ(file.size(), 32u);
        writeBytes(dir / "empty.vza", file);
        Archive archive;
        EXPECT_TRUE(archive.open(dir / "empty.vza", "pw")) << flags;
        EXPECT_EQ(archive.entryCount(), 0);
    }
}

TEST(ArchiveOpen, EncryptedExampleNeedsTheRightPassword)
{
    TempDir dir;
    const Bytes file = encryptedExample("open sesame");
    ASSERT_EQ(file.size(), 112u);
    writeBytes(dir / "e.vza", file);

    Archive archive;
    ASSERT_TRUE(archive.open(dir / "e.vza", "open sesame"));
    EXPECT_EQ(names(archive), (std::vector<std::string>{"readme.txt", "img/a.bin"}));
    EXPECT_EQ(archive.archiveIndex().entryTable().indexStoredSize(), 48u);
    EXPECT_EQ(archive.archiveIndex().entryTable().dataStart(), 80u);

    archive.reset();
    EXPECT_FALSE(archive.open(dir / "e.vza", "open sesamE"));
    EXPECT_EQ(archive.lastError(), ArchiveError::WrongPassword);

    // The key schedule starts again from the initial tables.
    archive.reset();
    ASSERT_TRUE(archive.open(dir / "e.vza", "open sesame"));
    std::vector<std::uint8_t> bytes;
    ASSERT_TRUE(archive.readData("readme.txt", &bytes));
    EXPECT_EQ(bytes, bytesOf("hello"));
}

TEST(ArchiveOpen, EmptyPasswordIsRefusedBeforeKeying)
{
    TempDir dir;
    writeBytes(dir / "e.vza", encryptedExample("pw"));
    keyCipher("state before");
    const CipherState before = cipherState();

    Archive archive;
    EXPECT_FALSE(archive.open(dir / "e.vza", ""));
    EXPECT_EQ(archive.lastError(), ArchiveError::EmptyPassword);
    EXPECT_EQ(std::memcmp(&before, &cipherState(), sizeof before), 0);
}

TEST(ArchiveOpen, PlainArchiveLeavesTheCipherAlone)
{
    TempDir dir;
    writeBytes(dir / "a.vza", PlainExample);
    keyCipher("state before");
    const CipherState before = cipherState();
    Archive archive;
    ASSERT_TRUE(archive.open(dir / "a.vza", "some password"));
    EXPECT_EQ(std::memcmp(&before, &cipherState(), sizeof before), 0);
}

// Each archive reads with the key it was opened with. Opening another one,
// whatever its password and even when that is wrong, changes neither the
// first archive's reads nor the process-wide key, which stays with the
// callers that seal buffers themselves.
TEST(ArchiveOpen, TwoArchivesOpenAtOnceKeepTheirOwnKeys)
{
    TempDir dir;
    const Bytes large = randomBytes(300000, 7);  // several read blocks
    writeArchive(dir / "a.vza", {{"a.txt", bytesOf("from A")}, {"large.bin", large}}, FlagEncrypted | FlagCompressed,
                 "alpha");
    writeArchive(dir / "b.vza", {{"b.txt", bytesOf("from B")}}, FlagEncrypted, "beta");
    writeArchive(dir / "p.vza", {{"p.txt", bytesOf("plain")}}, 0);
    keyCipher("the process-wide key");
    const CipherState before = cipherState();

    Archive a;
    ASSERT_TRUE(a.open(dir / "a.vza", "alpha"));
    struct Other {
        const char* file;
        const char* password;
        bool opens;
    };
    for (const Other other : {Other{"b.vza", "wrong", false}, Other{"b.vza", "beta", true}, Other{"p.vza", "", true},
                              Other{"a.vza", "alpha!", false}}) {
        SCOPED_TRACE(std::string(other.file) + " with " + other.password);
        Archive b;
        EXPECT_EQ(b.open(dir / other.file, other.password), other.opens);

        std::vector<std::uint8_t> bytes;
        ASSERT_TRUE(a.readData("a.txt", &bytes)) << errorText(a.lastError());
        EXPECT_EQ(bytes, bytesOf("from A"));
        ASSERT_TRUE(a.extractEntry(1, dir / "large.out")) << errorText(a.lastError());
        EXPECT_EQ(readBytes(dir / "large.out"), large);
        if (other.opens) {
            ASSERT_TRUE(b.readData(std::string(b.entryName(0)), &bytes));
            EXPECT_EQ(bytes, bytesOf(other.password[0] ? "from B" : "plain"));
        }
    }
    EXPECT_EQ(std::memcmp(&before, &cipherState(), sizeof before), 0);
}

TEST(ArchiveOpen, BackslashPathOpensTheSlashPath)
{
    TempDir dir;
    ASSERT_EQ(mkdir((dir / "sub").c_str(), 0755), 0);
    writeBytes(dir / "sub/a.vza", PlainExample);
    Archive archive;
    ASSERT_TRUE(archive.open(dir.path() + "/sub\\a.vza", ""));
    EXPECT_EQ(archive.archiveIndex().path(), dir / "sub/a.vza");
}

TEST(ArchiveOpen, OpeningAnotherArchiveReplacesEveryRecord)
{
    TempDir dir;
    writeBytes(dir / "a.vza", PlainExample);
    Bytes other = headerAndIndex(0, {{"only", 2, 2}});
    other.insert(other.end(), {'o', 'k'});
    writeBytes(dir / "b.vza", other);

    Archive archive;
    ASSERT_TRUE(archive.open(dir / "a.vza", ""));
    ASSERT_TRUE(archive.open(dir / "b.vza", ""));
    EXPECT_EQ(names(archive), (std::vector<std::string>{"only"}));
    EXPECT_EQ(archive.find("readme.txt"), -1);
    EXPECT_EQ(archive.find("only"), 0);
}

// The names live in one store inside the index: a copy of an Archive has its
// own, so it keeps every name byte for byte (empty ones, zero bytes, bytes
// that are no text, a long one) and still finds them after the original is
// reset and destroyed, whether the original had built its name table or not.
TEST(ArchiveOpen, ACopyKeepsItsNamesWhenTheOriginalIsGone)
{
    const std::vector<TestEntry> entries = {
        {"", bytesOf("empty name")},
        {std::string("nul\0inside", 10), bytesOf("zero byte")},
        {"\xFF\xFE latin", bytesOf("not utf-8")},
        {std::string(4096, 'n'), bytesOf("long")},
        {"", bytesOf("second empty name")},
        {"dir/last.txt", bytesOf("last")},
    };
    TempDir dir;
    writeArchiveAsGiven(dir / "a.vza", entries, 0);
    writeBytes(dir / "b.vza", PlainExample);

    auto expectAll = [&](Archive& archive) {
        ASSERT_EQ(archive.entryCount(), static_cast<std::int32_t>(entries.size()));
        for (std::int32_t i = 0; i < archive.entryCount(); ++i) {
            const std::string& name = entries[static_cast<std::size_t>(i)].name;
            EXPECT_EQ(archive.entryName(i), name) << i;
            EXPECT_EQ(archive.entry(i)->name, name) << i;
            DataBuffer buffer;
            ASSERT_TRUE(archive.readEntry(i, buffer)) << i;
            EXPECT_EQ(buffer.info.name, name) << i;
            EXPECT_EQ(buffer.bytes, entries[static_cast<std::size_t>(i)].data) << i;
        }
        EXPECT_EQ(archive.find(""), 0);  // the first of the two empty names
        EXPECT_EQ(archive.find(std::string("nul\0inside", 10)), 1);
        EXPECT_EQ(archive.find("nul"), -1);
        EXPECT_EQ(archive.find(std::string(4096, 'n')), 3);
        EXPECT_EQ(archive.find("dir\\last.txt"), 5);
    };

    auto original = std::make_unique<Archive>();
    ASSERT_TRUE(original->open(dir / "a.vza", ""));
    Archive copiedBeforeFind = *original;
    EXPECT_EQ(original->find("dir/last.txt"), 5);
    Archive copiedAfterFind = *original;
    Archive assigned;
    ASSERT_TRUE(assigned.open(dir / "b.vza", ""));
    assigned = *original;
    original->reset();
    EXPECT_EQ(original->entryCount(), 0);
    original.reset();

    expectAll(copiedBeforeFind);
    expectAll(copiedAfterFind);
    expectAll(assigned);
}

TEST(ArchiveOpen, CheckWordsWrapAroundModulo32Bits)
{
    TempDir dir;
    writeBytes(dir / "w.vza", headerAndIndex(0, {}, "", 0x80000000, 0x80000000));
    Archive archive;
    EXPECT_TRUE(archive.open(dir / "w.vza", ""));
}

TEST(ArchiveOpen, ProbeFlags)
{
    TempDir dir;
    writeBytes(dir / "seven", Bytes{0x00, 0x1D, 0x4F, 0xD6, 0, 0, 0});
    writeBytes(dir / "wrong-magic", Bytes{0x00, 0x1D, 0x4F, 0xD7, 0, 0, 0, 0});
    writeBytes(dir / "header-only", Bytes{0x00, 0x1D, 0x4F, 0xD6, 0, 0, 0, 6});  // passes the probe, fails open
    for (std::uint32_t flags : {0u, 2u, 4u, 6u, 255u, 0x100u})
        writeBytes(dir.path() + "/f" + std::to_string(flags), headerAndIndex(flags, {}, "pw"));

    Archive archive;
    ASSERT_TRUE(archive.open(dir / "f0", "kept"));
    const std::pair<std::string, std::int32_t> cases[] = {
        {"missing", 255}, {"seven", 255}, {"wrong-magic", 255}, {"header-only", 6}, {"f0", 0}, {"f2", 2},
        {"f4", 4},        {"f6", 6},      {"f255", 255},        {"f256", 0x100}};
    for (const auto& [name, expected] : cases)
        EXPECT_EQ(archive.probeFlags(dir / name), expected) << name;
    EXPECT_EQ(archive.archiveIndex().path(), dir / "f0");  // the probe leaves the Archive alone

    EXPECT_FALSE(archive.open(dir / "header-only", "pw"));
    EXPECT_EQ(archive.lastError(), ArchiveError::NotAnArchive);
}

// Damaged headers and indexes never make open read past the file, allocate
// what the file cannot hold, or succeed.
TEST(ArchiveOpen, MalformedHeadersAndIndexesAreRefused)
{
    auto withHeaderWords = [](std::uint32_t count, std::uint32_t indexSize, std::size_t fileSize) {
        Bytes file = headerAndIndex(0, {});
        putU32(count, file.data() + 24);
        putU32(indexSize, file.data() + 28);
        file.resize(fileSize, 0);
        return file;
    };
    auto encryptedWithHeaderWords = [](std::uint32_t count, std::uint32_t indexSize) {
        Bytes file = headerAndIndex(0, {});
        putU32(FlagEncrypted, file.data() + 4);
        putU32(count, file.data() + 24);
        putU32(indexSize, file.data() + 28);
        file.resize(64, 0);
        keyCipher("pw");
        encryptBuffer(file.data() + 8, file.size() - 8);
        return file;
    };
    Bytes badCheck = PlainExample;
    badCheck[23] ^= 1;
    Bytes overrunName = headerAndIndex(0, {{"abc", 0, 0}});
    putU32(4, overrunName.data() + 32);  // nameLength 4 where 3 bytes remain
    overrunName.resize(200, 0);
    Bytes secondOverruns = headerAndIndex(0, {{"abcdefghijkl", 0, 0}, {"", 0, 0}});
    putU32(2, secondOverruns.data() + 24);
    putU32(24, secondOverruns.data() + 28);  // room for the first record only
    secondOverruns.resize(200, 0);

    const struct {
        const char* what;
        Bytes file;
        ArchiveError error;
    } cases[] = {
        {"empty file", {}, ArchiveError::NotAnArchive},
        {"31 bytes", Bytes(PlainExample.begin(), PlainExample.begin() + 31), ArchiveError::NotAnArchive},
        {"check words", badCheck, ArchiveError::WrongPassword},
        {"45 bytes claiming 2^31 entries", withHeaderWords(0x80000000, 13, 45), ArchiveError::DamagedIndex},
        {"entries cannot fit the index", withHeaderWords(2, 23, 200), ArchiveError::DamagedIndex},
        {"index longer than the file", withHeaderWords(1, 100, 131), ArchiveError::DamagedIndex},
        {"huge index, small file", withHeaderWords(0x10000000, 0xFFFFFFF0, 64), ArchiveError::DamagedIndex},
        {"encrypted index size near 2^32", encryptedWithHeaderWords(1, 0xFFFFFFF9), ArchiveError::DamagedIndex},
        {"name runs past the index", overrunName, ArchiveError::DamagedIndex},
        {"second record past the index", secondOverruns, ArchiveError::DamagedIndex},
    };
    TempDir dir;
    for (const auto& c : cases) {
        writeBytes(dir / "bad.vza", c.file);
        Archive archive;
        EXPECT_FALSE(archive.open(dir / "bad.vza", "pw")) << c.what;
        EXPECT_EQ(archive.lastError(), c.error) << c.what;
    }
    Archive archive;
    EXPECT_FALSE(archive.open(dir / "missing.vza", ""));
    EXPECT_EQ(archive.lastError(), ArchiveError::CannotOpenArchive);
}

TEST(ArchiveOpen, EncryptedIndexIsPaddedToEightAndParsedToItsSize)
{
    // 43 bytes of records: 48 bytes are read and deciphered, 43 parsed.
    TempDir dir;
    Bytes file = headerAndIndex(FlagEncrypted, {{"readme.txt", 8, 0}, {"img/a.bin", 8, 0}}, "pw");
    ASSERT_EQ(file.size(), 32u + 48u);
    writeBytes(dir / "e.vza", file);
    Archive archive;
    ASSERT_TRUE(archive.open(dir / "e.vza", "pw"));
    EXPECT_EQ(archive.entryName(1), "img/a.bin");

    file.resize(file.size() - 1);  // one padding byte missing
    writeBytes(dir / "e.vza", file);
    archive.reset();
    EXPECT_FALSE(archive.open(dir / "e.vza", "pw"));
    EXPECT_EQ(archive.lastError(), ArchiveError::DamagedIndex);
}
