// SequentialArchive: an archive read front to back from a pipe.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <thread>
#include <unistd.h>

#include "archive/format.h"
#include "archive/sequential_archive.h"
#include "testkit/testkit.h"

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

}  // namespace
}  // namespace vza::test
