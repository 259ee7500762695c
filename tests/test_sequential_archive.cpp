// SPDX-License-Identifier: MIT
// SequentialArchive: an archive read front to back from a pipe.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <thread>
#include <unistd.h>

#include "testkit/testkit.h"
#include "vza/archive/format/format.h"
#include "vza/archive/read/archive.h"
#include "vza/archive/read/sequential_archive.h"

namespace vza::test {
namespace {

// The bytes of a file, served through a pipe by a thread.
class PipeFeed {
public:
    explicit PipeFeed(Bytes bytes) : bytes_(std::move(bytes))
    {
        if (pipe2(ends_, O_CLOEXEC) != 0)
            throw std::runtime_error("pipe failed");
        writer_ = std::thread([this] {
            std::size_t done = 0;
            while (done < bytes_.size()) {
                const ssize_t wrote = write(ends_[1], bytes_.data() + done, bytes_.size() - done);
                if (wrote <= 0)
                    break;
                done += static_cast<std::size_t>(wrote);
            }
            close(ends_[1]);
        });
    }
    ~PipeFeed()
    {
        close(ends_[0]);  // a writer still blocked gets EPIPE and stops
        writer_.join();
    }
    int fd() const { return ends_[0]; }

private:
    Bytes bytes_;
    int ends_[2];
    std::thread writer_;
};

std::string collect(SequentialArchive& archive, std::int32_t index, bool& ok)
{
    std::string text;
    ok = archive.streamEntry(index, [&](const std::uint8_t* data, std::size_t length) {
        text.append(reinterpret_cast<const char*>(data), length);
        return true;
    });
    return text;
}

TEST(SequentialArchive, ReadsChosenEntriesInOrderAndRefusesGoingBack)
{
    signal(SIGPIPE, SIG_IGN);
    TempDir dir;
    const Bytes big = randomBytes(200000, 3);
    for (std::uint32_t flags : {0u, FlagCompressed | FlagEncrypted}) {
        SCOPED_TRACE(flags);
        writeArchive(dir / "a.vza", {{"a", bytesOf("first")}, {"b", big}, {"c", bytesOf("third")}}, flags, "pw");
        PipeFeed feed(readBytes(dir / "a.vza"));
        SequentialArchive archive;
        ASSERT_TRUE(archive.begin(feed.fd()));
        EXPECT_EQ(archive.flags(), flags);
        ASSERT_TRUE(archive.readIndex("pw"));
        ASSERT_EQ(archive.entryCount(), 3);
        bool ok = false;
        EXPECT_EQ(collect(archive, 2, ok), "third");  // a and b are read past
        EXPECT_TRUE(ok);
        collect(archive, 1, ok);
        EXPECT_FALSE(ok);
        EXPECT_EQ(archive.lastError(), ArchiveError::NoSuchEntry);
    }
}

TEST(SequentialArchive, ADamagedEntryDoesNotLoseThePlaceOfTheNext)
{
    signal(SIGPIPE, SIG_IGN);
    TempDir dir;
    writeArchive(dir / "a.vza", {{"a", randomBytes(5000, 1)}, {"b", bytesOf("after")}}, FlagEncrypted, "pw");
    Bytes bytes = readBytes(dir / "a.vza");
    bytes[bytes.size() - 16 - 5008] ^= 1;  // the first entry's seal: 5008 bytes, then 16 of the second
    PipeFeed feed(bytes);
    SequentialArchive archive;
    ASSERT_TRUE(archive.begin(feed.fd()));
    ASSERT_TRUE(archive.readIndex("pw"));
    bool ok = true;
    collect(archive, 0, ok);
    EXPECT_FALSE(ok);
    EXPECT_EQ(collect(archive, 1, ok), "after");
    EXPECT_TRUE(ok);
}

TEST(SequentialArchive, ShortOrForeignInputIsRefused)
{
    signal(SIGPIPE, SIG_IGN);
    TempDir dir;
    writeArchive(dir / "a.vza", {{"a", bytesOf("x")}}, FlagEncrypted, "pw");
    const Bytes whole = readBytes(dir / "a.vza");
    struct Case {
        Bytes input;
        bool begins;
        ArchiveError error;
    };
    const std::vector<Case> cases = {
        {{}, false, ArchiveError::NotAnArchive},
        {bytesOf("PK\x03\x04 not ours"), false, ArchiveError::NotAnArchive},
        {Bytes(whole.begin(), whole.begin() + 20), true, ArchiveError::NotAnArchive},  // header cut short
        {Bytes(whole.begin(), whole.begin() + 36), true, ArchiveError::DamagedIndex},  // index cut short
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.input.size());
        PipeFeed feed(c.input);
        SequentialArchive archive;
        const bool begun = archive.begin(feed.fd());
        EXPECT_EQ(begun, c.begins);
        if (begun) {
            EXPECT_FALSE(archive.readIndex("pw"));
        }
        EXPECT_EQ(archive.lastError(), c.error);
    }
}

// An index far larger than one read of it, with a record longer than a
// read, is parsed whole, from a file and from a pipe, plain and sealed; the
// pipe is left where the entries begin. Cut by one byte, it is refused.
TEST(SequentialArchive, AnIndexReadInPiecesIsParsedWholeAndLeavesTheStreamAtTheData)
{
    signal(SIGPIPE, SIG_IGN);
    std::vector<TestEntry> entries;
    for (int i = 0; i < 20000; ++i)
        entries.emplace_back("folder/" + std::string(static_cast<std::size_t>(i % 40), 'n') + std::to_string(i),
                             bytesOf(std::to_string(i)));
    entries.emplace(entries.begin() + 7000, std::string(300000, 'L'), bytesOf("long name"));
    for (std::uint32_t flags : {0u, FlagCompressed | FlagEncrypted}) {
        SCOPED_TRACE(flags);
        TempDir dir;
        writeArchive(dir / "a.vza", entries, flags, "pw");
        const Bytes whole = readBytes(dir / "a.vza");
        const auto expectNames = [&](const EntryTable& table) {
            ASSERT_EQ(table.count(), static_cast<std::int32_t>(entries.size()));
            int wrong = 0;
            for (std::size_t i = 0; i < entries.size(); ++i)
                wrong += table.at(static_cast<std::int64_t>(i))->name != entries[i].name;
            EXPECT_EQ(wrong, 0);
        };

        Archive file;
        ASSERT_TRUE(file.open(dir / "a.vza", "pw"));
        expectNames(file.archiveIndex().entryTable());
        ASSERT_GT(file.archiveIndex().entryTable().dataStart(), 600000u);

        PipeFeed feed(whole);
        SequentialArchive archive;
        ASSERT_TRUE(archive.begin(feed.fd()));
        ASSERT_TRUE(archive.readIndex("pw"));
        expectNames(archive.entryTable());
        bool ok = false;
        EXPECT_EQ(collect(archive, 0, ok), "0");
        EXPECT_TRUE(ok);
        EXPECT_EQ(collect(archive, 7000, ok), "long name");
        EXPECT_TRUE(ok);

        const std::size_t dataStart = static_cast<std::size_t>(file.archiveIndex().entryTable().dataStart());
        writeBytes(dir / "cut.vza", Bytes(whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>(dataStart - 1)));
        Archive cut;
        EXPECT_FALSE(cut.open(dir / "cut.vza", "pw"));
        EXPECT_EQ(cut.lastError(), ArchiveError::DamagedIndex);
        PipeFeed cutFeed(Bytes(whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>(dataStart - 1)));
        SequentialArchive cutStream;
        ASSERT_TRUE(cutStream.begin(cutFeed.fd()));
        EXPECT_FALSE(cutStream.readIndex("pw"));
        EXPECT_EQ(cutStream.lastError(), ArchiveError::DamagedIndex);
    }
}

}  // namespace
}  // namespace vza::test
