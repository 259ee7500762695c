// SPDX-License-Identifier: MIT
// ArchiveWriter and InputTree: what a new archive holds, what it refuses,
// and that a failed or refused create never costs the archive it replaces.
#include <gtest/gtest.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <functional>
#include <pty.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

#include "testkit/testkit.h"
#include "vza/archive/format/archive_index.h"
#include "vza/archive/format/data_buffer.h"
#include "vza/archive/format/format.h"
#include "vza/archive/names/path_components.h"
#include "vza/archive/read/archive.h"
#include "vza/archive/write/archive_writer.h"
#include "vza/archive/write/input_tree.h"
#include "vza/codec/blowfish.h"

namespace vza::test {
bool operator==(const TestEntry& a, const TestEntry& b)
{
    return a.name == b.name && a.data == b.data;
}
}  // namespace vza::test

using namespace vza;
using namespace vza::test;

namespace {

const std::uint32_t AllFlags[] = {0u, FlagCompressed, FlagEncrypted, FlagCompressed | FlagEncrypted};

// The plain bytes of every entry of the archive at path, with their names.
std::vector<TestEntry> readBack(const std::string& path, const std::string& password)
{
    Archive archive;
    EXPECT_TRUE(archive.open(path, password)) << path;
    std::vector<TestEntry> entries;
    for (std::int32_t i = 0; i < archive.entryCount(); ++i) {
        DataBuffer buffer;
        EXPECT_TRUE(archive.readEntry(i, buffer)) << archive.entryName(i);
        entries.push_back({std::string(archive.entryName(i)), buffer.bytes});
    }
    return entries;
}

// Everything written to a pipe by write(fd), read on a second thread.
Bytes throughPipe(const std::function<bool(int)>& write, bool& written)
{
    int ends[2];
    EXPECT_EQ(pipe(ends), 0);
    Bytes received;
    std::thread reader([&] {
        std::uint8_t block[65536];
        ssize_t got;
        while ((got = read(ends[0], block, sizeof block)) > 0)
            received.insert(received.end(), block, block + got);
    });
    written = write(ends[1]);
    close(ends[1]);
    reader.join();
    close(ends[0]);
    return received;
}

// The files of a folder, found by InputTree, fed to a writer.
struct TreeWriter {
    explicit TreeWriter(const std::string& folder, std::uint32_t flags = 0, const std::string& password = "pw")
        : tree([this](const InputTree::Notice& notice) { notices.push_back(notice.kind); })
    {
        tree.add(folder);
        tree.finish();
        EXPECT_TRUE(writer.begin(flags, password));
        for (std::size_t i = 0; i < tree.count(); ++i)
            EXPECT_TRUE(writer.addFile(tree.storedName(i), tree.status(i)));
        writer.setFileOpener([this](std::size_t file) {
            if (beforeOpen)
                beforeOpen(file);
            return tree.open(file);
        });
    }

    InputTree tree;
    ArchiveWriter writer;
    std::vector<InputTree::Notice::Kind> notices;
    std::function<void(std::size_t)> beforeOpen;
};

}  // namespace

// Every level reads back, whatever way the bytes go: to a file (copied by the
// kernel, or by hand where the kernel cannot copy), or to a FIFO named as the
// output, written as a stream. The default is level 6, byte for byte, and a
// higher level is never larger here.
TEST(ArchiveCreation, EveryLevelAndEveryWayOutReadsBack)
{
    TempDir dir;
    const std::vector<TestEntry> entries = {
        {"small.txt", bytesOf("abc")},
        {"random.bin", randomBytes(300001, 4)},
        {"big.txt", compressibleBytes((3 << 20) + 5)},
    };
    for (std::size_t i = 0; i < entries.size(); ++i)
        writeBytes(dir / ("in" + std::to_string(i)), entries[i].data);
    ASSERT_EQ(mkfifo((dir / "fifo").c_str(), 0600), 0);
    const auto writeWith = [&](int level, std::uint32_t flags, const std::string& out) {
        ArchiveWriter writer;
        EXPECT_TRUE(writer.begin(flags, "pw"));
        writer.setLevel(level);
        for (std::size_t i = 0; i < entries.size(); ++i) {
            struct stat status;
            EXPECT_EQ(stat((dir / ("in" + std::to_string(i))).c_str(), &status), 0);
            EXPECT_TRUE(writer.addFile(entries[i].name, status));
        }
        writer.setFileOpener(
            [&dir](std::size_t file) { return open((dir / ("in" + std::to_string(file))).c_str(), O_RDONLY); });
        if (out != "fifo")
            return writer.writeTo(dir / out);
        Bytes received;
        std::thread reader([&] { received = readBytes(dir / "fifo"); });
        const bool written = writer.writeTo(dir / "fifo");
        reader.join();
        writeBytes(dir / "from-fifo.vza", received);
        return written;
    };
    const auto size = [&](const std::string& name) { return readBytes(dir / name).size(); };
    for (const bool byHand : {false, true}) {
        refuseKernelCopyForTesting(byHand);
        for (const std::uint32_t flags : AllFlags) {
            SCOPED_TRACE(std::to_string(flags) + (byHand ? " by hand" : ""));
            for (const int level : {-1, 0, 1, 3, 6, 9}) {
                SCOPED_TRACE(level);
                ASSERT_TRUE(writeWith(level, flags, "out" + std::to_string(level) + ".vza"));
                EXPECT_EQ(readBack(dir / ("out" + std::to_string(level) + ".vza"), "pw"), entries);
            }
            ASSERT_TRUE(writeWith(1, flags, "fifo"));
            EXPECT_EQ(readBack(dir / "from-fifo.vza", "pw"), entries);
            // The check words (bytes 8 to 23) are drawn anew each time.
            Bytes fallback = readBytes(dir / "out-1.vza");
            Bytes six = readBytes(dir / "out6.vza");
            if (!(flags & FlagEncrypted)) {
                std::fill(fallback.begin() + 8, fallback.begin() + 24, 0);
                std::fill(six.begin() + 8, six.begin() + 24, 0);
                EXPECT_EQ(fallback, six);
            }
            if (flags & FlagCompressed) {
                EXPECT_LE(size("out9.vza"), size("out1.vza"));
                EXPECT_LT(size("out1.vza"), size("out0.vza"));
            }
        }
    }
    refuseKernelCopyForTesting(false);
}

TEST(ArchiveCreation, RoundTripsEveryFlagFromFilesAndBytesToAFileAndAPipe)
{
    TempDir dir;
    const std::vector<TestEntry> entries = {
        {"empty", Bytes{}},
        {"small.txt", bytesOf("abc")},
        {"dir/random.bin", randomBytes(200001, 4)},     // incompressible: stored as it is
        {"big.txt", compressibleBytes((3 << 20) + 5)},  // crosses the 1 MiB pieces
    };
    for (std::size_t i = 0; i < entries.size(); ++i)
        writeBytes(dir / ("in" + std::to_string(i)), entries[i].data);

    for (std::uint32_t flags : AllFlags) {
        SCOPED_TRACE(flags);
        ArchiveWriter writer;
        ASSERT_TRUE(writer.begin(flags, "pw"));
        // Every other entry from a file, the rest from memory.
        for (std::size_t i = 0; i < entries.size(); ++i) {
            if (i % 2 == 0) {
                ASSERT_TRUE(writer.addBytes(entries[i].name, entries[i].data.data(), entries[i].data.size()));
                continue;
            }
            struct stat status;
            ASSERT_EQ(stat((dir / ("in" + std::to_string(i))).c_str(), &status), 0);
            ASSERT_TRUE(writer.addFile(entries[i].name, status));
        }
        writer.setFileOpener([&dir](std::size_t file) {
            return open((dir / ("in" + std::to_string(2 * file + 1))).c_str(), O_RDONLY | O_NOFOLLOW);
        });

        ASSERT_TRUE(writer.writeTo(dir / "out.vza")) << errorText(writer.lastError()) << " " << writer.systemError();
        EXPECT_EQ(readBack(dir / "out.vza", "pw"), entries);
        bool written = false;
        const Bytes piped = throughPipe([&](int fd) { return writer.writeTo(fd); }, written);
        ASSERT_TRUE(written);
        writeBytes(dir / "piped.vza", piped);
        EXPECT_EQ(readBack(dir / "piped.vza", "pw"), entries);

        Archive archive;
        ASSERT_TRUE(archive.open(dir / "out.vza", "pw"));
        const std::optional<EntryView> random = archive.entry(2);
        EXPECT_EQ(random->storedSize, (flags & FlagEncrypted) ? roundUp8(200001) + 8 : 200001);
        EXPECT_EQ(archive.flags(), flags);
        if (flags & FlagCompressed) {
            EXPECT_LT(archive.entry(3)->storedSize, entries[3].data.size() / 4);
        }
        EXPECT_EQ(dir.list(), (std::vector<std::string>{"in0", "in1", "in2", "in3", "out.vza", "piped.vza"}));
    }
}

// An index of more than 1 MiB is written (and enciphered) in pieces; the
// records on both sides of a piece's edge must come out whole.
TEST(ArchiveCreation, AnIndexLargerThanAPieceRoundTrips)
{
    TempDir dir;
    std::vector<TestEntry> entries;
    for (int i = 0; i < 4500; ++i)
        entries.push_back(
            {std::string(240, static_cast<char>('a' + i % 26)) + "/" + std::to_string(i), bytesOf(std::to_string(i))});
    for (std::uint32_t flags : AllFlags) {
        SCOPED_TRACE(flags);
        ArchiveWriter writer;
        ASSERT_TRUE(writer.begin(flags, "pw"));
        writer.reserve(entries.size(), 0);
        for (const TestEntry& entry : entries)
            ASSERT_TRUE(writer.addBytes(entry.name, entry.data.data(), entry.data.size()));
        ASSERT_TRUE(writer.writeTo(dir / "big-index.vza"));
        EXPECT_EQ(readBack(dir / "big-index.vza", "pw"), entries);
        bool written = false;
        writeBytes(dir / "piped.vza", throughPipe([&](int fd) { return writer.writeTo(fd); }, written));
        ASSERT_TRUE(written);
        EXPECT_EQ(readBack(dir / "piped.vza", "pw"), entries);
    }
}

// Compressed archives are made in pieces of 1 MiB compressed on several
// threads: the archive is the same for every thread count, and each entry
// is still one zlib stream (the reader checks its end and Adler-32). The
// entries cross pieces, end on a piece's edge, are empty, or are not
// shorter compressed (found only after a few pieces, then stored as they
// are); every third comes from memory.
TEST(ArchiveCreation, CompressedArchivesAreTheSameForEveryThreadCount)
{
    TempDir dir;
    std::vector<TestEntry> entries = {
        {"large.txt", compressibleBytes((5 << 20) + 12345)},
        {"noise.bin", randomBytes((2 << 20) + 7, 9)},
        {"empty", Bytes{}},
        {"whole-piece.txt", compressibleBytes(1 << 20)},
    };
    for (int i = 0; i < 300; ++i)
        entries.push_back({"small/" + std::to_string(i), compressibleBytes(static_cast<std::size_t>(50 + 97 * i))});
    // Small files compressed in batches; some are not shorter compressed and
    // are stored as they are, from the bytes read for their batch.
    for (int i = 0; i < 40; ++i)
        entries.push_back({"batch/" + std::to_string(i), i % 4 == 0
                                                             ? randomBytes(static_cast<std::size_t>(20 + 31 * i), i)
                                                             : compressibleBytes(static_cast<std::size_t>(9 * i))});
    for (std::size_t i = 0; i < entries.size(); ++i)
        writeBytes(dir / ("in/" + std::to_string(i)), entries[i].data);

    for (std::uint32_t flags : {FlagCompressed, FlagCompressed | FlagEncrypted}) {
        Bytes first;
        for (unsigned threads : {1u, 2u, 7u}) {
            SCOPED_TRACE("flags " + std::to_string(flags) + ", threads " + std::to_string(threads));
            ArchiveWriter writer;
            ASSERT_TRUE(writer.begin(flags, "pw"));
            writer.setThreads(threads);
            std::vector<std::size_t> files;  // entry of each file
            for (std::size_t i = 0; i < entries.size(); ++i) {
                if (i % 3 == 2) {
                    ASSERT_TRUE(writer.addBytes(entries[i].name, entries[i].data.data(), entries[i].data.size()));
                    continue;
                }
                struct stat status;
                ASSERT_EQ(stat((dir / ("in/" + std::to_string(i))).c_str(), &status), 0);
                ASSERT_TRUE(writer.addFile(entries[i].name, status));
                files.push_back(i);
            }
            writer.setFileOpener([&](std::size_t file) {
                return open((dir / ("in/" + std::to_string(files[file]))).c_str(), O_RDONLY | O_NOFOLLOW);
            });
            ASSERT_TRUE(writer.writeTo(dir / "out.vza")) << errorText(writer.lastError());
            EXPECT_EQ(readBack(dir / "out.vza", "pw"), entries);

            Archive archive;
            ASSERT_TRUE(archive.open(dir / "out.vza", "pw"));
            const std::size_t noise = entries[1].data.size();
            EXPECT_LT(archive.entry(0)->storedSize, entries[0].data.size() / 4);
            EXPECT_EQ(archive.entry(1)->storedSize,
                      (flags & FlagEncrypted) ? roundUp8(static_cast<std::int64_t>(noise)) + 8 : noise);
            const std::size_t smallNoise = entries.size() - 40;  // batch/0, random bytes
            EXPECT_EQ(archive.entry(static_cast<std::int32_t>(smallNoise))->storedSize,
                      (flags & FlagEncrypted) ? roundUp8(20) + 8 : 20);

            // The header's check words come from the clock: compared from the
            // entry count on.
            Bytes bytes = readBytes(dir / "out.vza");
            bytes.erase(bytes.begin() + 8, bytes.begin() + 24);
            if (first.empty())
                first = bytes;
            else
                EXPECT_TRUE(bytes == first);
        }
    }
}

TEST(ArchiveCreation, RefusesNamesThatWouldLeaveTheExtractionFolder)
{
    ArchiveWriter writer;
    ASSERT_TRUE(writer.begin(0));
    for (const char* name : {"", "/etc/passwd", "a//b", "./a", "a/.", "a/..", "..", "..\\..\\evil.sh",
                             "in/..\\..\\evil.sh", "a\\\\b", "\\abs"}) {
        SCOPED_TRACE(name);
        EXPECT_FALSE(writer.addBytes(name, "x", 1));
        EXPECT_EQ(writer.lastError(), ArchiveError::UnsafeName);
    }
    EXPECT_EQ(writer.entryCount(), 0u);
    ASSERT_TRUE(writer.addBytes("dir\\file.txt", "x", 1));
    EXPECT_EQ(writer.entry(0).name, "dir/file.txt");
    ASSERT_TRUE(writer.addBytes("..name/x..", "x", 1));  // dots inside a component are fine
}

TEST(ArchiveCreation, EncryptionNeedsAPasswordAndKeepsItsKeyToItself)
{
    TempDir dir;
    ArchiveWriter writer;
    EXPECT_FALSE(writer.begin(FlagEncrypted, ""));
    EXPECT_EQ(writer.lastError(), ArchiveError::EmptyPassword);
    // A writer that could not start cannot write an archive nobody can open.
    EXPECT_FALSE(writer.addBytes("a", "x", 1));
    EXPECT_FALSE(writer.writeTo(dir / "a.vza"));
    EXPECT_EQ(writer.lastError(), ArchiveError::EmptyPassword);
    EXPECT_EQ(dir.list(), std::vector<std::string>{});

    keyCipher("the reader's key");
    const CipherState before = cipherState();
    ASSERT_TRUE(writer.begin(FlagEncrypted | FlagCompressed, "the writer's key"));
    ASSERT_TRUE(writer.addBytes("a", "secret", 6));
    ASSERT_TRUE(writer.writeTo(dir / "a.vza"));
    EXPECT_EQ(std::memcmp(&before, &cipherState(), sizeof before), 0);
    EXPECT_EQ(readBack(dir / "a.vza", "the writer's key"), (std::vector<TestEntry>{{"a", bytesOf("secret")}}));
}

// An input that is not, when its bytes are read, what it was when the
// archive was laid out, fails the whole archive: the old one stays as it
// was, nothing is left beside it, and nothing of another file is stored.
TEST(ArchiveCreation, AnInputChangedAfterTheWalkFailsTheWholeArchive)
{
    struct Case {
        const char* what;
        std::function<void(const TempDir&)> change;
        ArchiveError error;
    };
    const std::vector<Case> cases = {
        {"grown",
         [](const TempDir& d) {
             std::FILE* f = std::fopen((d / "in/sub/b").c_str(), "ab");
             std::fputs("more", f);
             std::fclose(f);
         },
         ArchiveError::InputChanged},
        {"shrunk", [](const TempDir& d) { ASSERT_EQ(truncate((d / "in/sub/b").c_str(), 10), 0); },
         ArchiveError::InputChanged},
        {"replaced by a file of the same size",
         [](const TempDir& d) {
             writeBytes(d / "other", Bytes(3 << 20, 'o'));
             ASSERT_EQ(rename((d / "other").c_str(), (d / "in/sub/b").c_str()), 0);
         },
         ArchiveError::InputChanged},
        {"replaced by a link to a secret",
         [](const TempDir& d) {
             ASSERT_EQ(unlink((d / "in/sub/b").c_str()), 0);
             ASSERT_EQ(symlink((d / "secret").c_str(), (d / "in/sub/b").c_str()), 0);
         },
         ArchiveError::CannotReadInput},
        {"its folder replaced by a link",
         [](const TempDir& d) {
             ASSERT_EQ(rename((d / "in/sub").c_str(), (d / "in/moved").c_str()), 0);
             ASSERT_EQ(symlink((d / "elsewhere").c_str(), (d / "in/sub").c_str()), 0);
         },
         ArchiveError::CannotReadInput},
        {"removed", [](const TempDir& d) { ASSERT_EQ(unlink((d / "in/sub/b").c_str()), 0); },
         ArchiveError::CannotReadInput},
    };
    for (const Case& c : cases) {
        for (std::uint32_t flags : AllFlags) {
            SCOPED_TRACE(std::string(c.what) + ", flags " + std::to_string(flags));
            TempDir dir;
            ASSERT_EQ(mkdir((dir / "in").c_str(), 0755), 0);
            ASSERT_EQ(mkdir((dir / "in/sub").c_str(), 0755), 0);
            ASSERT_EQ(mkdir((dir / "elsewhere").c_str(), 0755), 0);
            writeBytes(dir / "in/a", bytesOf("first"));
            writeBytes(dir / "in/sub/b", Bytes(3 << 20, 'b'));
            writeBytes(dir / "in/z", bytesOf("last"));
            writeBytes(dir / "secret", Bytes(3 << 20, 's'));
            writeBytes(dir / "elsewhere/b", Bytes(3 << 20, 's'));
            writeBytes(dir / "old.vza", bytesOf("the old archive"));

            TreeWriter made(dir / "in", flags);
            ASSERT_EQ(made.tree.count(), 3u);
            made.beforeOpen = [&](std::size_t file) {
                if (file == 1)
                    c.change(dir);
            };
            EXPECT_FALSE(made.writer.writeTo(dir / "old.vza"));
            EXPECT_EQ(made.writer.lastError(), c.error);
            EXPECT_EQ(made.writer.failedEntry(), 1);
            EXPECT_EQ(readBytes(dir / "old.vza"), bytesOf("the old archive"));
            for (const std::string& name : dir.list())
                EXPECT_TRUE(name == "in" || name == "elsewhere" || name == "secret" || name == "old.vza") << name;
        }
    }
}

// Small files are read ahead and compressed in batches on other threads: one
// that changed in the middle of a batch still fails the whole archive, the
// entries before and after it already read or compressed are dropped, and
// the old archive stays.
TEST(ArchiveCreation, AnInputChangedInsideABatchOfSmallFilesFailsTheWholeArchive)
{
    const std::vector<std::pair<const char*, std::function<void(const std::string&)>>> changes = {
        {"grown",
         [](const std::string& path) {
             std::FILE* f = std::fopen(path.c_str(), "ab");
             std::fputs("more", f);
             std::fclose(f);
         }},
        {"shrunk", [](const std::string& path) { ASSERT_EQ(truncate(path.c_str(), 1), 0); }},
        {"removed", [](const std::string& path) { ASSERT_EQ(unlink(path.c_str()), 0); }},
    };
    constexpr std::size_t Files = 400, Changed = 233;
    for (const auto& [what, change] : changes) {
        for (unsigned threads : {1u, 2u, 7u}) {
            for (std::uint32_t flags : {FlagCompressed, FlagCompressed | FlagEncrypted}) {
                SCOPED_TRACE(std::string(what) + ", threads " + std::to_string(threads) + ", flags " +
                             std::to_string(flags));
                TempDir dir;
                ASSERT_EQ(mkdir((dir / "in").c_str(), 0755), 0);
                for (std::size_t i = 0; i < Files; ++i) {
                    char name[32];
                    std::snprintf(name, sizeof name, "in/f%04zu", i);
                    writeBytes(dir / name, compressibleBytes(100 + 13 * i));
                }
                writeBytes(dir / "old.vza", bytesOf("the old archive"));
                TreeWriter made(dir / "in", flags);
                ASSERT_EQ(made.tree.count(), Files);
                made.writer.setThreads(threads);
                const std::string path = dir / ("in/f0" + std::to_string(Changed));
                made.beforeOpen = [&](std::size_t file) {
                    if (file == Changed)
                        change(path);
                };
                EXPECT_FALSE(made.writer.writeTo(dir / "old.vza"));
                EXPECT_EQ(made.writer.failedEntry(), static_cast<std::int64_t>(Changed));
                EXPECT_EQ(readBytes(dir / "old.vza"), bytesOf("the old archive"));
                EXPECT_EQ(dir.list(), (std::vector<std::string>{"in", "old.vza"}));
            }
        }
    }
}

TEST(ArchiveCreation, AnInputThatGrowsWhileReadOrIsEndlessIsAnError)
{
    for (std::uint32_t flags : AllFlags) {
        SCOPED_TRACE(flags);
        TempDir dir;
        writeBytes(dir / "grows", Bytes(3 << 20, 'g'));
        writeBytes(dir / "plain", Bytes(100, 'p'));
        struct stat grows, plain;
        ASSERT_EQ(stat((dir / "grows").c_str(), &grows), 0);
        ASSERT_EQ(stat((dir / "plain").c_str(), &plain), 0);

        // Grows after its first piece has been read.
        ArchiveWriter writer;
        ASSERT_TRUE(writer.begin(flags, "pw"));
        ASSERT_TRUE(writer.addFile("grows", grows));
        writer.setFileOpener([&](std::size_t) { return open((dir / "grows").c_str(), O_RDONLY); });
        bool grown = false;
        writer.setProgress([&](std::size_t, std::uint64_t) {
            if (!grown) {
                grown = true;
                std::FILE* f = std::fopen((dir / "grows").c_str(), "ab");
                std::fputs("more", f);
                std::fclose(f);
            }
        });
        EXPECT_FALSE(writer.writeTo(dir / "a.vza"));
        EXPECT_EQ(writer.lastError(), ArchiveError::InputChanged);

        // A device with no end given in a regular file's place is never read.
        ASSERT_TRUE(writer.begin(flags, "pw"));
        ASSERT_TRUE(writer.addFile("zero", plain));
        writer.setFileOpener([](std::size_t) { return open("/dev/zero", O_RDONLY); });
        EXPECT_FALSE(writer.writeTo(dir / "a.vza"));
        EXPECT_EQ(writer.lastError(), ArchiveError::InputChanged);
        EXPECT_EQ(dir.list(), (std::vector<std::string>{"grows", "plain"}));
    }
}

// A compressed archive's size is known only as it is written: one that
// reaches the limit part way (here incompressible inputs, stored as they
// are) fails as a whole and the old archive stays; without compression the
// size is known when planned and the entry is refused then. The limit is
// made small so as not to write 2 GiB; it can only be lowered.
TEST(ArchiveCreation, AnArchiveReachingTheSizeLimitIsRefusedAndTheOldOneStays)
{
    TempDir dir;
    for (int i = 0; i < 3; ++i)
        writeBytes(dir / ("in/" + std::to_string(i)), randomBytes(400000, static_cast<std::uint32_t>(i)));
    writeBytes(dir / "old.vza", bytesOf("the old archive"));
    for (std::uint32_t flags : AllFlags) {
        SCOPED_TRACE(flags);
        InputTree tree({});
        tree.add(dir / "in");
        tree.finish();
        ArchiveWriter writer;
        ASSERT_TRUE(writer.begin(flags, "pw"));
        writer.setMaxArchiveSize(1 << 20);
        writer.setFileOpener([&tree](std::size_t file) { return tree.open(file); });
        const bool planned = writer.addFile(tree.storedName(0), tree.status(0)) &&
                             writer.addFile(tree.storedName(1), tree.status(1)) &&
                             writer.addFile(tree.storedName(2), tree.status(2));
        if (!(flags & FlagCompressed)) {
            EXPECT_FALSE(planned);
            EXPECT_EQ(writer.lastError(), ArchiveError::ArchiveTooLarge);
            EXPECT_EQ(writer.entryCount(), 2u);
            continue;
        }
        ASSERT_TRUE(planned);
        EXPECT_FALSE(writer.writeTo(dir / "old.vza"));
        EXPECT_EQ(writer.lastError(), ArchiveError::ArchiveTooLarge);
        EXPECT_EQ(writer.failedEntry(), 2);
        EXPECT_EQ(readBytes(dir / "old.vza"), bytesOf("the old archive"));
        EXPECT_EQ(dir.list(), (std::vector<std::string>{"in", "old.vza"}));
        // To a pipe nothing at all is written: the data went to a spool.
        bool written = true;
        EXPECT_TRUE(throughPipe([&](int fd) { return writer.writeTo(fd); }, written).empty());
        EXPECT_FALSE(written);
    }

    // The limit cannot be raised past the format's 2 GiB.
    struct stat huge {};
    huge.st_mode = S_IFREG;
    huge.st_size = std::int64_t{3} << 29;  // 1.5 GiB
    ArchiveWriter writer;
    ASSERT_TRUE(writer.begin(0));
    writer.setMaxArchiveSize(UINT64_MAX);
    EXPECT_TRUE(writer.addFile("a", huge));
    EXPECT_FALSE(writer.addFile("b", huge));
    EXPECT_EQ(writer.lastError(), ArchiveError::ArchiveTooLarge);
}

// Both writers reach the disk the same way: a complete, flushed archive in
// place of the old file, or nothing.
TEST(ArchiveCreation, ReplacesOnlyWithACompleteArchiveKeepingModeAndLinks)
{
    const std::vector<std::pair<const char*, std::function<bool(const std::string&)>>> writers = {
        {"ArchiveWriter",
         [](const std::string& path) {
             ArchiveWriter writer;
             return writer.begin(0) && writer.addBytes("new", "new data", 8) && writer.writeTo(path);
         }},
        {"ArchiveIndex::save",
         [](const std::string& path) {
             DataBuffer buffer;
             buffer.assign("new data", 8);
             buffer.setName("new");
             ArchiveIndex index;
             index.addEntry(buffer);
             index.setPath(path);
             return index.save(0);
         }},
    };
    for (const auto& [kind, write] : writers) {
        SCOPED_TRACE(kind);
        TempDir dir;
        const std::vector<TestEntry> expected = {{"new", bytesOf("new data")}};

        // An existing archive keeps its permission bits.
        writeBytes(dir / "private.vza", bytesOf("old"));
        ASSERT_EQ(chmod((dir / "private.vza").c_str(), 0600), 0);
        ASSERT_TRUE(write(dir / "private.vza"));
        struct stat status;
        ASSERT_EQ(stat((dir / "private.vza").c_str(), &status), 0);
        EXPECT_EQ(status.st_mode & 07777, 0600u);
        EXPECT_EQ(readBack(dir / "private.vza", ""), expected);

        // A link is written through: its target is replaced, the link stays.
        ASSERT_EQ(mkdir((dir / "real").c_str(), 0755), 0);
        writeBytes(dir / "real/target.vza", bytesOf("old"));
        ASSERT_EQ(chmod((dir / "real/target.vza").c_str(), 0640), 0);
        ASSERT_EQ(symlink("real/target.vza", (dir / "link.vza").c_str()), 0);
        ASSERT_TRUE(write(dir / "link.vza"));
        struct stat link;
        ASSERT_EQ(lstat((dir / "link.vza").c_str(), &link), 0);
        EXPECT_TRUE(S_ISLNK(link.st_mode));
        ASSERT_EQ(stat((dir / "real/target.vza").c_str(), &status), 0);
        EXPECT_EQ(status.st_mode & 07777, 0640u);
        EXPECT_EQ(readBack(dir / "real/target.vza", ""), expected);

        // A link that leads nowhere and a folder are refused.
        ASSERT_EQ(symlink("nowhere/x.vza", (dir / "dangling.vza").c_str()), 0);
        EXPECT_FALSE(write(dir / "dangling.vza"));
        EXPECT_FALSE(write(dir / "real"));
        EXPECT_EQ(dir.list(), (std::vector<std::string>{"dangling.vza", "link.vza", "private.vza", "real"}));
        EXPECT_FALSE(fileExists(dir / "nowhere"));
    }
}

TEST(ArchiveCreation, ATerminalIsRefusedAsOutput)
{
    int controller = -1;
    int terminal = -1;
    ASSERT_EQ(openpty(&controller, &terminal, nullptr, nullptr, nullptr), 0);
    ArchiveWriter writer;
    ASSERT_TRUE(writer.begin(0));
    ASSERT_TRUE(writer.addBytes("a", "x", 1));
    EXPECT_FALSE(writer.writeTo(terminal));
    EXPECT_EQ(writer.lastError(), ArchiveError::CannotWriteOutput);
    close(terminal);
    close(controller);
}

// A 1 GiB input (sparse, so cheap to make) goes through in pieces; its
// entry is checked through streamEntry, never held whole.
TEST(ArchiveCreation, AOneGiBInputStreamsThroughInPieces)
{
    TempDir dir;
    const std::uint64_t size = std::uint64_t{1} << 30;
    const int fd = open((dir / "large").c_str(), O_WRONLY | O_CREAT, 0644);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(ftruncate(fd, static_cast<off_t>(size)), 0);
    ASSERT_EQ(pwrite(fd, "end", 3, static_cast<off_t>(size - 3)), 3);
    close(fd);

    TreeWriter made(dir / "large");
    ASSERT_TRUE(made.writer.writeTo(dir / "large.vza"));
    Archive archive;
    ASSERT_TRUE(archive.open(dir / "large.vza", "pw"));
    EXPECT_EQ(archive.entry(0)->originalSize, size);
    std::uint64_t seen = 0;
    bool zeros = true;
    Bytes tail;
    ASSERT_TRUE(archive.streamEntry(0, [&](const std::uint8_t* data, std::size_t length) {
        EXPECT_LE(length, DataBuffer::ChunkSize);
        for (std::size_t i = 0; i < length; ++i) {
            if (data[i] != 0 && seen + i < size - 3)
                zeros = false;
        }
        if (seen + length > size - 3)
            tail.insert(tail.end(), data + (size - 3 > seen ? size - 3 - seen : 0), data + length);
        seen += length;
        return true;
    }));
    EXPECT_EQ(seen, size);
    EXPECT_TRUE(zeros);
    EXPECT_EQ(tail, bytesOf("end"));
}

// The entries' zlib streams as an independent reader sees them: Python's
// zlib module inflates every compressed entry of a compressed archive, each
// to its end and no further, at the default level and the fastest (whole
// small files, a file of exactly one piece, and a large one whose pieces
// were joined).
TEST(ArchiveCreation, AnIndependentZlibReadsEveryCompressedEntry)
{
    if (std::system("python3 -c 'import zlib' 2>/dev/null") != 0)
        GTEST_SKIP() << "python3 with its zlib module is not installed";
    TempDir dir;
    const std::vector<TestEntry> entries = {
        {"small.txt", compressibleBytes(1500, 2)},
        {"piece.txt", compressibleBytes(1 << 20, 3)},
        {"large.txt", compressibleBytes((3 << 20) + 77, 4)},
        {"noise.bin", randomBytes(5000, 5)},
    };
    // Prints every entry's plain bytes, one after the other.
    writeBytes(dir / "read.py", bytesOf(R"(import struct, sys, zlib
data = open(sys.argv[1], "rb").read()
count, index_length = struct.unpack(">2I", data[24:32])
sizes, at = [], 32
for _ in range(count):
    name_length, stored, original = struct.unpack(">3I", data[at:at + 12])
    sizes.append((stored, original))
    at += 12 + name_length
at = 32 + index_length
for stored, original in sizes:
    bytes_ = data[at:at + stored]
    at += stored
    if stored != original:
        inflater = zlib.decompressobj()
        bytes_ = inflater.decompress(bytes_)
        assert inflater.eof and not inflater.unused_data
    sys.stdout.buffer.write(bytes_)
)"));
    Bytes expected;
    for (const TestEntry& entry : entries)
        expected.insert(expected.end(), entry.data.begin(), entry.data.end());
    for (const int level : {-1, 1}) {
        SCOPED_TRACE(level);
        ArchiveWriter writer;
        ASSERT_TRUE(writer.begin(FlagCompressed));
        writer.setLevel(level);
        for (const TestEntry& entry : entries)
            ASSERT_TRUE(writer.addBytes(entry.name, entry.data.data(), entry.data.size()));
        ASSERT_TRUE(writer.writeTo(dir / "out.vza"));
        FILE* reader = popen(("python3 " + (dir / "read.py") + " " + (dir / "out.vza")).c_str(), "r");
        ASSERT_NE(reader, nullptr);
        Bytes read;
        std::uint8_t block[65536];
        std::size_t got;
        while ((got = fread(block, 1, sizeof block, reader)) > 0)
            read.insert(read.end(), block, block + got);
        EXPECT_EQ(pclose(reader), 0);
        EXPECT_TRUE(read == expected);
    }
}

TEST(InputTree, NamesTheFilesAndReportsWhatItLeavesOut)
{
    TempDir dir;
    ASSERT_EQ(chdir(dir.path().c_str()), 0);
    ASSERT_EQ(mkdir("in", 0755), 0);
    ASSERT_EQ(mkdir("in/sub", 0755), 0);
    writeBytes("in/a", bytesOf("a"));
    writeBytes("in/sub/b", bytesOf("b"));
    writeBytes("in/x\\y", bytesOf("backslash"));
    writeBytes("in/..\\..\\evil.sh", bytesOf("evil"));
    writeBytes("in/self.vza", bytesOf("the archive"));
    ASSERT_EQ(symlink("a", "in/link"), 0);
    ASSERT_EQ(mkfifo("in/fifo", 0600), 0);
    struct stat self;
    ASSERT_EQ(stat("in/self.vza", &self), 0);

    using Kind = InputTree::Notice::Kind;
    std::vector<std::pair<Kind, std::string>> notices;
    InputTree tree([&](const InputTree::Notice& notice) { notices.emplace_back(notice.kind, notice.path); });
    tree.skip(self);
    for (const std::string& operand :
         {std::string("./in//"), dir / "in/a", dir / "in/sub/b", std::string("in/sub/../a"), std::string(""),
          std::string("missing"), std::string("in/a")})
        tree.add(operand);
    tree.finish();

    std::vector<std::string> names;
    for (std::size_t i = 0; i < tree.count(); ++i)
        names.push_back(tree.storedName(i));
    const std::string absolute = dir.path().substr(1);
    // in/a named twice: stored once, as first found.
    EXPECT_EQ(names,
              (std::vector<std::string>{"in/a", "in/sub/b", "in/x/y", absolute + "/in/a", absolute + "/in/sub/b"}));
    EXPECT_EQ(tree.path(2), "./in/x\\y");
    const std::vector<std::pair<Kind, std::string>> expected = {
        {Kind::RefusedName, "./in/..\\..\\evil.sh"},
        {Kind::SpecialFile, "./in/fifo"},
        {Kind::SymbolicLink, "./in/link"},
        {Kind::ArchiveItself, "./in/self.vza"},
        {Kind::Backslash, "./in/x\\y"},
        {Kind::LeadingSlash, dir / "in/a"},  // once, for the first absolute operand
        {Kind::RefusedName, "in/sub/../a"},
        {Kind::RefusedName, ""},
        {Kind::Unreadable, "missing"},
    };
    EXPECT_EQ(notices, expected);

    // Handed over, the tree keeps no names: each file is found again from
    // the stored name it gave (on disk with its backslash), in its operand.
    std::vector<std::string> handed;
    tree.handOver([&](std::size_t i, const InputTree::StoredName& name, const struct stat& status) {
        EXPECT_EQ(i, handed.size());
        EXPECT_TRUE(S_ISREG(status.st_mode));
        handed.push_back(name.text());
        return true;
    });
    EXPECT_EQ(handed, names);
    EXPECT_EQ(tree.count(), 0u);
    EXPECT_EQ(tree.path(2, handed[2]), "./in/x\\y");
    EXPECT_EQ(tree.path(3, handed[3]), dir / "in/a");
    const std::vector<std::string> contents = {"a", "b", "backslash", "a", "b"};
    for (std::size_t i = 0; i < handed.size(); ++i) {
        const int fd = tree.open(i, handed[i]);
        ASSERT_GE(fd, 0) << handed[i];
        char buffer[16];
        const ssize_t got = read(fd, buffer, sizeof buffer);
        close(fd);
        EXPECT_EQ(std::string(buffer, static_cast<std::size_t>(std::max<ssize_t>(got, 0))), contents[i]) << handed[i];
    }
    ASSERT_EQ(chdir("/"), 0);
}

// vza create -x: an excluded folder is not listed, so nothing in it is
// reported; an operand inside one is left out with it.
// Names of more than MaxComponents components are refused by extraction,
// so the walk never stores one: it stops descending at the limit, which
// also bounds the folders it holds open. A tree of 1 100 levels under a
// descriptor limit of 1 024 is walked to the limit and told once.
TEST(InputTree, StopsDescendingAtTheComponentLimit)
{
    TempDir dir;
    ASSERT_EQ(chdir(dir.path().c_str()), 0);
    const std::size_t levels = 1100;
    int folder = open(".", O_RDONLY | O_DIRECTORY);
    ASSERT_GE(folder, 0);
    std::string path = "d";
    for (std::size_t level = 1; level <= levels; ++level) {
        ASSERT_EQ(mkdirat(folder, "d", 0755), 0);
        const int inner = openat(folder, "d", O_RDONLY | O_DIRECTORY);
        ASSERT_GE(inner, 0);
        // A file beside each folder: level k's is a name of k components.
        const int file = openat(folder, "f", O_WRONLY | O_CREAT, 0644);
        ASSERT_GE(file, 0);
        close(file);
        close(folder);
        folder = inner;
    }
    close(folder);

    rlimit saved{};
    ASSERT_EQ(getrlimit(RLIMIT_NOFILE, &saved), 0);
    rlimit lowered = saved;
    lowered.rlim_cur = std::min<rlim_t>(saved.rlim_cur, 1024);
    ASSERT_EQ(setrlimit(RLIMIT_NOFILE, &lowered), 0);
    using Kind = InputTree::Notice::Kind;
    std::vector<std::pair<Kind, std::size_t>> notices;  // kind, components of the path
    InputTree tree([&](const InputTree::Notice& notice) {
        notices.emplace_back(notice.kind, std::count(notice.path.begin(), notice.path.end(), '/') + 1);
    });
    tree.add("f");
    tree.add("d");
    tree.finish();
    setrlimit(RLIMIT_NOFILE, &saved);

    // f, d/f, d/d/f ... up to the file of MaxComponents components.
    ASSERT_EQ(tree.count(), MaxComponents);
    std::size_t deepest = 0;
    for (std::size_t i = 0; i < tree.count(); ++i) {
        const std::string name = tree.storedName(i);
        deepest = std::max(deepest, static_cast<std::size_t>(std::count(name.begin(), name.end(), '/')) + 1);
    }
    EXPECT_EQ(deepest, MaxComponents);
    EXPECT_EQ(notices, (std::vector<std::pair<Kind, std::size_t>>{{Kind::TooDeep, MaxComponents}}));
}

TEST(InputTree, AnExcludedFolderIsNeitherWalkedNorReported)
{
    TempDir dir;
    ASSERT_EQ(chdir(dir.path().c_str()), 0);
    writeBytes("in/a", bytesOf("a"));
    writeBytes("in/keep/b", bytesOf("b"));
    writeBytes("in/skip/deep/f", bytesOf("f"));
    ASSERT_EQ(symlink("a", "in/skip/link"), 0);
    ASSERT_EQ(mkfifo("in/skip/fifo", 0600), 0);

    std::vector<InputTree::Notice::Kind> notices;
    std::vector<std::string> asked;
    InputTree tree([&](const InputTree::Notice& notice) { notices.push_back(notice.kind); });
    tree.setExclude([&](const std::string& name) {
        asked.push_back(name);
        return name == "in/skip";
    });
    tree.add("in");
    tree.add("./in/skip/deep/f");
    tree.finish();
    std::vector<std::string> names;
    for (std::size_t i = 0; i < tree.count(); ++i)
        names.push_back(tree.storedName(i));
    EXPECT_EQ(names, (std::vector<std::string>{"in/a", "in/keep/b"}));
    EXPECT_TRUE(notices.empty());
    EXPECT_EQ(asked, (std::vector<std::string>{"in", "in/a", "in/keep", "in/keep/b", "in/skip", "in", "in/skip"}));
    ASSERT_EQ(chdir("/"), 0);
}

namespace {

// Entry index's stored bytes, read from the file as they lie.
Bytes storedBytesOf(const std::string& path, std::int32_t index, const std::string& password)
{
    Archive archive;
    EXPECT_TRUE(archive.open(path, password));
    const Bytes file = readBytes(path);
    const std::uint64_t offset = archive.storedOffset(index);
    return Bytes(file.begin() + static_cast<std::ptrdiff_t>(offset),
                 file.begin() + static_cast<std::ptrdiff_t>(offset + archive.entry(index)->storedSize));
}

}  // namespace

// Rewriting an archive in place, as vza add and delete do: entries moved to
// other positions keep their stored bytes exactly, and the new archive,
// written over the old one, reads back whole (fresh check words, new index).
TEST(ArchiveCreation, StoredEntriesAreCopiedUndecodedToAnyPosition)
{
    TempDir dir;
    const std::vector<TestEntry> entries = {
        {"a.txt", compressibleBytes(5000)},
        {"empty", Bytes{}},
        {"r.bin", randomBytes(3001, 7)},
        {"\x95\x5c/x", bytesOf("a Shift_JIS name whose second byte is a backslash")},
    };
    for (std::uint32_t flags : AllFlags) {
        SCOPED_TRACE(flags);
        const std::string path = dir / "a.vza";
        writeArchiveAsGiven(path, entries, flags, "pw");
        std::vector<Bytes> before;
        for (std::int32_t i = 0; i < 4; ++i)
            before.push_back(storedBytesOf(path, i, "pw"));

        Archive archive;
        ASSERT_TRUE(archive.open(path, "pw"));
        const int fd = archive.openStoredBytes();
        ASSERT_GE(fd, 0);
        ArchiveWriter writer;
        ASSERT_TRUE(writer.begin(flags, "pw"));
        const Bytes added = bytesOf("new");
        ASSERT_TRUE(writer.addBytes("new", added.data(), added.size()));
        for (std::int32_t i : {3, 2, 1, 0})
            ASSERT_TRUE(writer.addStored(*archive.entry(i), fd, archive.storedOffset(i)));
        ASSERT_TRUE(writer.writeTo(path)) << errorText(writer.lastError());
        close(fd);

        EXPECT_EQ(readBack(path, "pw"),
                  (std::vector<TestEntry>{{"new", added}, entries[3], entries[2], entries[1], entries[0]}));
        for (std::int32_t i = 0; i < 4; ++i)
            EXPECT_EQ(storedBytesOf(path, 4 - i, "pw"), before[static_cast<std::size_t>(i)]) << i;
    }
}

TEST(ArchiveCreation, StoredEntriesThatCannotBeCopiedFailTheWholeArchive)
{
    TempDir dir;
    const std::string source = dir / "source.vza";
    const std::string target = dir / "target.vza";
    writeArchive(source, {{"a", compressibleBytes(3000)}, {"b", bytesOf("bb")}}, FlagEncrypted, "pw");
    writeFile(target, "the old archive");

    Archive archive;
    ASSERT_TRUE(archive.open(source, "pw"));
    const int fd = archive.openStoredBytes();
    ASSERT_GE(fd, 0);

    // Sizes no entry of the archive's flags can have are refused as planned.
    ArchiveWriter writer;
    ASSERT_TRUE(writer.begin(FlagEncrypted, "pw"));
    EXPECT_FALSE(writer.addStored(ArchiveEntry{"odd", 3, 13}, fd, 0));
    EXPECT_EQ(writer.lastError(), ArchiveError::EntryCorrupt);
    ASSERT_TRUE(writer.begin(0));
    EXPECT_FALSE(writer.addStored(ArchiveEntry{"grown", 3, 4}, fd, 0));
    EXPECT_EQ(writer.entryCount(), 0u);

    // Sealed bytes that do not open under the writer's key are not copied
    // under its new index.
    ASSERT_TRUE(writer.begin(FlagEncrypted, "another"));
    ASSERT_TRUE(writer.addStored(*archive.entry(1), fd, archive.storedOffset(1)));
    EXPECT_FALSE(writer.writeTo(target));
    EXPECT_EQ(writer.lastError(), ArchiveError::EntryCorrupt);

    // Sealed bytes that do not open under the writer's key are not copied
    // under its new index.
    ASSERT_TRUE(writer.begin(FlagEncrypted, "another"));
    ASSERT_TRUE(writer.addStored(*archive.entry(1), fd, archive.storedOffset(1)));
    EXPECT_FALSE(writer.writeTo(target));
    EXPECT_EQ(writer.lastError(), ArchiveError::EntryCorrupt);

    // Bytes missing from the source (cut short since) fail the write, and
    // the file it was to replace stays as it was.
    ASSERT_TRUE(writer.begin(FlagEncrypted, "pw"));
    ASSERT_TRUE(writer.addStored(*archive.entry(0), fd, archive.storedOffset(0)));
    ASSERT_TRUE(writer.addStored(*archive.entry(1), fd, archive.storedOffset(1)));
    ASSERT_EQ(truncate(source.c_str(), static_cast<off_t>(archive.storedOffset(1) + 4)), 0);
    EXPECT_FALSE(writer.writeTo(target));
    EXPECT_EQ(writer.lastError(), ArchiveError::EntryTruncated);
    EXPECT_EQ(writer.failedEntry(), 1);
    EXPECT_EQ(readFile(target), "the old archive");
    EXPECT_EQ(dir.list(), (std::vector<std::string>{"source.vza", "target.vza"}));
    close(fd);

    // A file put in the archive's place is never read: the stored bytes
    // come from the file the index was read from, held open since.
    writeArchive(source, {{"a", bytesOf("first")}}, FlagEncrypted, "pw");
    ASSERT_TRUE(archive.open(source, "pw"));
    ASSERT_EQ(rename(source.c_str(), (dir / "moved.vza").c_str()), 0);
    writeArchive(source, {{"a", bytesOf("other")}}, FlagEncrypted, "pw");
    const int held = archive.openStoredBytes();
    ASSERT_GE(held, 0);
    struct stat heldStatus {};
    struct stat movedStatus {};
    ASSERT_EQ(fstat(held, &heldStatus), 0);
    ASSERT_EQ(stat((dir / "moved.vza").c_str(), &movedStatus), 0);
    EXPECT_EQ(heldStatus.st_ino, movedStatus.st_ino);
    close(held);
    // That file written to since its index was read is not read with the
    // index's offsets.
    std::ofstream((dir / "moved.vza").c_str(), std::ios::app) << "more";
    EXPECT_EQ(archive.openStoredBytes(), -1);
    EXPECT_EQ(archive.lastError(), ArchiveError::InputChanged);
}
