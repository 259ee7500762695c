// SPDX-License-Identifier: MIT
// BlockDeflater: whichever deflater runs (zlib's, ISA-L's, libdeflate's,
// as this build has them), whole or in pieces, the pieces join into one
// zlib stream that gives back exactly the input. And the step libdeflate's
// pieces rest on: a finished raw stream reopened at its end.
#include <gtest/gtest.h>

#include <zlib.h>

#include "fuzz/deflate_checks.h"
#include "testkit/testkit.h"
#include "vza/codec/deflate_backend.h"

using namespace vza;
using namespace vza::test;

namespace {

// plain as a finished raw deflate stream made by zlib.
Bytes rawDeflate(const Bytes& plain, int level, int strategy)
{
    z_stream stream{};
    EXPECT_EQ(deflateInit2(&stream, level, Z_DEFLATED, -15, 8, strategy), Z_OK);
    Bytes out(deflateBound(&stream, plain.size()) + 16);
    stream.next_in = const_cast<Bytef*>(plain.data());
    stream.avail_in = static_cast<uInt>(plain.size());
    stream.next_out = out.data();
    stream.avail_out = static_cast<uInt>(out.size());
    EXPECT_EQ(deflate(&stream, Z_FINISH), Z_STREAM_END);
    // erase, not resize: GCC cannot see that this never grows the vector.
    out.erase(out.end() - static_cast<std::ptrdiff_t>(stream.avail_out), out.end());
    deflateEnd(&stream);
    return out;
}

// first and second's raw streams as one zlib stream.
Bytes joined(const Bytes& first, const Bytes& second, const Bytes& plain)
{
    Bytes stream = {0x78, 0x9C};
    stream.insert(stream.end(), first.begin(), first.end());
    stream.insert(stream.end(), second.begin(), second.end());
    const auto checksum = static_cast<std::uint32_t>(adler32(1, plain.data(), static_cast<uInt>(plain.size())));
    for (int shift = 24; shift >= 0; shift -= 8)
        stream.push_back(static_cast<std::uint8_t>(checksum >> shift));
    return stream;
}

}  // namespace

TEST(BlockDeflater, EveryEngineGivesBackTheInputWholeAndInPieces)
{
    // Runs of one byte make matches that would reach across a seam; random
    // bytes end in stored blocks; pieces of one byte leave nothing to find.
    Bytes runs = compressibleBytes(150000, 3);
    std::fill(runs.begin() + 60000, runs.begin() + 140000, 'x');
    const struct {
        const char* what;
        Bytes plain;
        std::vector<std::size_t> pieces;  // 0: whole
    } cases[] = {
        {"empty", {}, {0, 1}},
        {"one byte", {7}, {0, 1}},
        {"short text", compressibleBytes(300, 2), {0, 1, 7, 64}},
        {"random", randomBytes(70001, 5), {0, 1000, 65536}},
        {"text", compressibleBytes((1 << 20) + 4097, 6), {0, 65536, 1 << 20}},
        {"runs", runs, {0, 4096, 65537}},
    };
    for (const auto& c : cases) {
        for (const std::size_t piece : c.pieces) {
            for (const int level : {-1, 1, 9})
                EXPECT_EQ(fuzz::checkDeflaters(c.plain.data(), c.plain.size(), level, piece), "") << c.what;
        }
    }
}

// Final blocks of every kind (stored, fixed and dynamic codes) ending at
// every bit of their last byte: the empty block goes into the padding or
// after it, and the second stream follows on.
TEST(OpenStreamEnd, AFinishedStreamTakesAnotherAfterIt)
{
    const Bytes second = compressibleBytes(5000, 9);
    std::size_t added[2] = {};  // how often the empty block fitted the padding, how often it did not
    for (const auto& [level, strategy] : {std::pair{0, Z_DEFAULT_STRATEGY}, {6, Z_FIXED}, {6, Z_DEFAULT_STRATEGY}}) {
        for (std::size_t length = 0; length < 200; length += 3) {
            SCOPED_TRACE("level " + std::to_string(level) + ", strategy " + std::to_string(strategy) + ", " +
                         std::to_string(length) + " bytes");
            const Bytes first = compressibleBytes(length, static_cast<std::uint32_t>(length));
            Bytes stream = rawDeflate(first, level, strategy);
            const std::size_t before = stream.size();
            ASSERT_TRUE(openStreamEnd(stream, first.data(), first.size()));
            ++added[stream.size() - before == 4 ? 0 : 1];
            Bytes plain = first;
            plain.insert(plain.end(), second.begin(), second.end());
            EXPECT_TRUE(fuzz::inflatesTo(joined(stream, rawDeflate(second, 6, Z_DEFAULT_STRATEGY), plain), plain.data(),
                                         plain.size()));
        }
    }
    EXPECT_GT(added[0], 0u);
    EXPECT_GT(added[1], 0u);
}

TEST(OpenStreamEnd, RefusesAStreamThatIsNotOfItsInput)
{
    const Bytes plain = compressibleBytes(40000, 4);
    const Bytes stream = rawDeflate(plain, 6, Z_DEFAULT_STRATEGY);
    Bytes other = plain;
    other[30000] ^= 1;
    Bytes followed = stream;
    followed.push_back(0);
    const struct {
        const char* what;
        Bytes stream;
        Bytes plain;
    } cases[] = {
        {"another input", stream, other},
        {"a longer input", stream, compressibleBytes(40001, 4)},
        {"a shorter input", stream, Bytes(plain.begin(), plain.end() - 1)},
        {"cut short", Bytes(stream.begin(), stream.end() - 1), plain},
        {"a byte after its end", followed, plain},
        {"no stream", Bytes{}, Bytes{}},
    };
    for (const auto& c : cases) {
        Bytes bytes = c.stream;
        EXPECT_FALSE(openStreamEnd(bytes, c.plain.data(), c.plain.size())) << c.what;
    }
}
