// SPDX-License-Identifier: MIT
#include <gtest/gtest.h>

#include "testkit/testkit.h"
#include "vza/archive/format/data_buffer.h"
#include "vza/codec/inflate_stream.h"

using namespace vza;
using namespace vza::test;

namespace {

const Bytes Compressible = compressibleBytes(200000);

}  // namespace

TEST(ZlibCodec, CompressKeepsOnlyAShorterStream)
{
    const struct {
        const char* what;
        Bytes plain;
        bool shrinks;
    } cases[] = {
        {"empty", {}, false},
        {"one byte", {42}, false},
        {"random", randomBytes(100000, 3), false},
        {"1 MiB of zeros", Bytes(1 << 20, 0), true},
        {"200 000 bytes of text", Compressible, true},
    };
    for (const auto& c : cases) {
        DataBuffer buffer;
        buffer.assign(c.plain.data(), c.plain.size());
        ASSERT_TRUE(buffer.compress()) << c.what;
        EXPECT_EQ(buffer.info.originalSize, c.plain.size()) << c.what;
        EXPECT_EQ(buffer.info.storedSize, buffer.size()) << c.what;
        if (!c.shrinks) {
            EXPECT_EQ(buffer.bytes, c.plain) << c.what;
            continue;
        }
        EXPECT_LT(buffer.size(), c.plain.size()) << c.what;
        ASSERT_TRUE(buffer.decompress()) << c.what;
        EXPECT_EQ(buffer.bytes, c.plain) << c.what;
        EXPECT_EQ(buffer.info.originalSize, c.plain.size()) << c.what;
        EXPECT_EQ(buffer.info.storedSize, c.plain.size()) << c.what;
    }
}

TEST(ZlibCodec, DecompressRefusesAnythingButOneCompleteStream)
{
    const Bytes stream = zlibStream(Compressible);
    Bytes badAdler = stream;
    badAdler.back() ^= 1;
    const struct {
        const char* what;
        Bytes bytes;
    } cases[] = {
        {"empty", Bytes{}},
        {"cut short", Bytes(stream.begin(), stream.end() - 5)},
        {"bad Adler-32", badAdler},
        {"gzip", gzipStream(Compressible)},
        {"plain bytes", bytesOf("not compressed at all")},
    };
    for (const auto& c : cases) {
        DataBuffer buffer;
        buffer.assign(c.bytes.data(), c.bytes.size());
        buffer.info.originalSize = 7;
        EXPECT_FALSE(buffer.decompress()) << c.what;
        EXPECT_EQ(buffer.bytes, c.bytes) << c.what;
        EXPECT_EQ(buffer.info.originalSize, 7u) << c.what;
    }
}

TEST(ZlibCodec, DecompressDropsBytesAfterTheStream)
{
    Bytes bytes = zlibStream(Compressible);
    bytes.insert(bytes.end(), {1, 2, 3});
    DataBuffer buffer;
    buffer.assign(bytes.data(), bytes.size());
    ASSERT_TRUE(buffer.decompress());
    EXPECT_EQ(buffer.bytes, Compressible);
}

TEST(InflateStream, StopsAsSoonAsTheLimitIsPassed)
{
    const Bytes zeros(10 << 20, 0);
    const Bytes stream = zlibStream(zeros);
    auto run = [&](std::uint64_t limit, std::size_t piece, std::uint64_t& seen) {
        InflateStream inflater(limit);
        seen = 0;
        auto sink = [&seen](const std::uint8_t*, std::size_t length) {
            seen += length;
            return true;
        };
        for (std::size_t at = 0; at < stream.size(); at += piece) {
            const auto result = inflater.feed(stream.data() + at, std::min(piece, stream.size() - at), sink);
            if (result != InflateStream::Result::Ok)
                return result;
        }
        return inflater.finished() ? InflateStream::Result::Ok : InflateStream::Result::Corrupt;
    };
    std::uint64_t seen = 0;
    EXPECT_EQ(run(zeros.size(), 1000, seen), InflateStream::Result::Ok);
    EXPECT_EQ(seen, zeros.size());
    EXPECT_EQ(run(zeros.size() - 1, 1, seen), InflateStream::Result::TooLarge);
    EXPECT_EQ(run(100, stream.size(), seen), InflateStream::Result::TooLarge);
    EXPECT_LE(seen, 100u);  // nothing past the limit ever reaches the sink
}
