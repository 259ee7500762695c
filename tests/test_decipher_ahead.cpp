// SPDX-License-Identifier: MIT
// DecipherAhead: the pieces of one enciphered run, read and deciphered by
// one or several threads, come back whole and in order; a file that ends
// early gives every piece before the cut, then the failure; a reader that
// stops early is never kept waiting.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include "testkit/testkit.h"
#include "vza/archive/read/decipher_ahead.h"
#include "vza/codec/blowfish.h"

using namespace vza;
using namespace vza::test;

namespace {

constexpr std::size_t Piece = DecipherAhead::PieceSize;
constexpr std::size_t Kept = 8;  // left as stored, like a seal's prefix

struct Enciphered {
    CipherState key;
    Bytes plain;  // what DecipherAhead should hand over
    int fd = -1;
    std::uint64_t offset = 100;  // after some other bytes, as an entry would be

    Enciphered(const TempDir& dir, std::size_t length)
    {
        const std::string password = "ahead";
        setKey(key, reinterpret_cast<const std::uint8_t*>(password.data()), password.size());
        plain = randomBytes(length, static_cast<std::uint32_t>(length));
        Bytes stored = plain;
        // Whole blocks only: a ragged tail stays as it is.
        if (stored.size() > Kept)
            encryptBuffer(key, stored.data() + Kept, (stored.size() - Kept) & ~std::size_t{7});
        stored.insert(stored.begin(), offset, 0xAA);
        writeBytes(dir / "stored", stored);
        fd = open((dir / "stored").c_str(), O_RDONLY);
    }
    ~Enciphered() { close(fd); }

    // Everything next() hands over, and how many pieces.
    Bytes readAll(unsigned threads, std::size_t& pieces, bool& failed, std::uint64_t length = UINT64_MAX) const
    {
        DecipherAhead ahead(fd, offset, length == UINT64_MAX ? plain.size() : length, key, Kept, threads);
        EXPECT_TRUE(ahead.start());
        Bytes got;
        const std::uint8_t* data = nullptr;
        std::size_t size = 0;
        pieces = 0;
        while (ahead.next(data, size)) {
            got.insert(got.end(), data, data + size);
            ++pieces;
        }
        failed = ahead.failed();
        return got;
    }
};

}  // namespace

TEST(DecipherAhead, HandsOverEveryPieceInOrderWhateverTheThreads)
{
    TempDir dir;
    // Empty; one block; one piece exactly; many pieces round the ring
    // several times, ending in a partial piece with a ragged last block.
    for (const std::size_t length : {std::size_t{0}, std::size_t{8}, Piece, 3 * DecipherAhead::Pieces * Piece + 1003}) {
        const Enciphered run(dir, length);
        for (const unsigned threads : {1u, 2u, 3u}) {
            SCOPED_TRACE(std::to_string(length) + " bytes, " + std::to_string(threads) + " threads");
            std::size_t pieces = 0;
            bool failed = true;
            EXPECT_TRUE(run.readAll(threads, pieces, failed) == run.plain);
            EXPECT_EQ(pieces, (length + Piece - 1) / Piece);
            EXPECT_FALSE(failed);
        }
    }
}

TEST(DecipherAhead, AFileThatEndsEarlyGivesThePiecesBeforeTheCut)
{
    TempDir dir;
    const Enciphered run(dir, 20 * Piece);
    const std::uint64_t cut = run.offset + 13 * Piece + 4096;
    ASSERT_EQ(truncate((dir / "stored").c_str(), static_cast<off_t>(cut)), 0);
    for (const unsigned threads : {1u, 2u, 3u}) {
        SCOPED_TRACE(std::to_string(threads) + " threads");
        std::size_t pieces = 0;
        bool failed = false;
        const Bytes got = run.readAll(threads, pieces, failed);
        EXPECT_EQ(pieces, 13u);
        EXPECT_TRUE(got == Bytes(run.plain.begin(), run.plain.begin() + 13 * Piece));
        EXPECT_TRUE(failed);
    }
}

TEST(DecipherAhead, AReaderThatStopsEarlyIsNotKeptWaiting)
{
    TempDir dir;
    const Enciphered run(dir, 40 * Piece);
    for (const unsigned threads : {1u, 2u, 3u}) {
        for (const int taken : {0, 1, 5}) {
            DecipherAhead ahead(run.fd, run.offset, run.plain.size(), run.key, Kept, threads);
            ASSERT_TRUE(ahead.start());
            const std::uint8_t* data = nullptr;
            std::size_t size = 0;
            for (int i = 0; i < taken; ++i)
                ASSERT_TRUE(ahead.next(data, size));
        }  // the destructor stops the threads, with pieces waiting and slots full
    }
}
