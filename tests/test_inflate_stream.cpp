// SPDX-License-Identifier: MIT
// The streaming inflater, run through each inflater this build has: the same
// output and the same verdicts from zlib's and from ISA-L's.
#include <gtest/gtest.h>

#include <zlib.h>

#include "testkit/testkit.h"
#include "vza/codec/inflate_stream.h"

using namespace vza;
using namespace vza::test;

namespace {

struct Outcome {
    InflateStream::Result result;
    Bytes output;
    bool operator==(const Outcome&) const = default;
};

// Feeds stream in pieces of piece bytes; a stream that ends without its end
// marker counts as Corrupt, as the callers count it.
Outcome inflateAll(InflateStream& inflater, const Bytes& stream, std::size_t piece)
{
    Outcome outcome{InflateStream::Result::Ok, {}};
    auto sink = [&](const std::uint8_t* data, std::size_t length) {
        outcome.output.insert(outcome.output.end(), data, data + length);
        return true;
    };
    for (std::size_t at = 0; at < stream.size() || at == 0; at += piece) {
        outcome.result = inflater.feed(stream.data() + at, std::min(piece, stream.size() - at), sink);
        if (outcome.result != InflateStream::Result::Ok)
            return outcome;
        if (stream.empty())
            break;
    }
    if (!inflater.finished())
        outcome.result = InflateStream::Result::Corrupt;
    return outcome;
}

Outcome inflateWith(InflateEngine engine, const Bytes& stream, std::uint64_t limit, std::size_t piece)
{
    InflateStream inflater(limit, engine);
    return inflateAll(inflater, stream, piece);
}

// Always a zlib stream, even where it is longer than plain.
Bytes deflated(const Bytes& plain)
{
    uLongf length = compressBound(plain.size());
    Bytes stream(length);
    if (compress2(stream.data(), &length, plain.data(), plain.size(), Z_DEFAULT_COMPRESSION) != Z_OK)
        throw std::runtime_error("compress2 failed");
    stream.resize(length);
    return stream;
}

Bytes textLike(std::size_t length)
{
    Bytes bytes;
    const std::string words = "stream entry archive the of window distance header ";
    for (std::size_t i = 0; bytes.size() < length; ++i)
        bytes.push_back(static_cast<std::uint8_t>(words[(i * 7 + i / 13) % words.size()]));
    return bytes;
}

Bytes withHeader(Bytes stream, std::uint8_t cmf, std::uint8_t flg)
{
    stream[0] = cmf;
    stream[1] = flg;
    return stream;
}

// The FLG byte that makes the check bits right for cmf, with FDICT and level.
std::uint8_t checkedFlag(std::uint8_t cmf, std::uint8_t flagBits)
{
    const unsigned base = (unsigned{cmf} << 8) | flagBits;
    return static_cast<std::uint8_t>(flagBits + (31 - base % 31) % 31);
}

class EachInflater : public ::testing::TestWithParam<InflateEngine> {};

}  // namespace

INSTANTIATE_TEST_SUITE_P(Inflaters, EachInflater, ::testing::ValuesIn([] {
                             std::vector<InflateEngine> engines{InflateEngine::Zlib};
                             if (InflateStream::engineAvailable(InflateEngine::Isal))
                                 engines.push_back(InflateEngine::Isal);
                             return engines;
                         }()),
                         [](const auto& info) {
                             return std::string(InflateStream::engineName(info.param)) == "zlib" ? "Zlib" : "Isal";
                         });

TEST_P(EachInflater, WholeStreamsInAnyPieces)
{
    const Bytes cases[] = {{}, {42}, textLike(300000), randomBytes(70000, 5)};
    for (const Bytes& plain : cases) {
        const Bytes stream = deflated(plain);
        for (std::size_t piece : {std::size_t{1}, std::size_t{7}, std::size_t{4096}, stream.size()}) {
            const Outcome outcome = inflateWith(GetParam(), stream, plain.size(), piece);
            EXPECT_EQ(outcome.result, InflateStream::Result::Ok) << plain.size() << " bytes in pieces of " << piece;
            EXPECT_TRUE(outcome.output == plain) << plain.size() << " bytes in pieces of " << piece;
        }
    }
}

TEST_P(EachInflater, HeaderRules)
{
    const Bytes stream = deflated(textLike(5000));
    const struct {
        const char* what;
        std::uint8_t cmf, flg;
        bool good;
    } cases[] = {
        {"as written", stream[0], stream[1], true},
        {"window 256 bytes", 0x08, checkedFlag(0x08, 0), true},  // zlib keeps 32 KiB whatever is declared
        {"method 7", 0x77, checkedFlag(0x77, 0), false},
        {"method 15", 0x7f, checkedFlag(0x7f, 0), false},
        {"window 64 KiB", 0x88, checkedFlag(0x88, 0), false},
        {"check bits wrong", 0x78, static_cast<std::uint8_t>(checkedFlag(0x78, 0x80) + 1), false},
        {"preset dictionary", 0x78, checkedFlag(0x78, 0x20), false},
    };
    for (const auto& c : cases) {
        const Outcome outcome = inflateWith(GetParam(), withHeader(stream, c.cmf, c.flg), 5000, 3);
        EXPECT_EQ(outcome.result == InflateStream::Result::Ok, c.good) << c.what;
    }
}

TEST_P(EachInflater, DamageIsRefused)
{
    const Bytes plain = textLike(100000);
    const Bytes stream = deflated(plain);
    ASSERT_GT(stream.size(), 6u);
    Bytes badSum = stream;
    badSum[stream.size() - 1] = static_cast<std::uint8_t>(stream[stream.size() - 1] ^ 1);
    Bytes badBlockType = stream;
    badBlockType[2] |= 0x06;  // block type 3 is reserved
    Bytes garbageAfter = stream;
    garbageAfter.insert(garbageAfter.end(), {0xde, 0xad, 0xbe, 0xef});
    const struct {
        const char* what;
        Bytes bytes;
        std::uint64_t limit;
        InflateStream::Result result;
    } cases[] = {
        {"Adler-32 wrong", badSum, plain.size(), InflateStream::Result::Corrupt},
        {"reserved block type", badBlockType, plain.size(), InflateStream::Result::Corrupt},
        {"trailer cut short", Bytes(stream.begin(), stream.end() - 1), plain.size(), InflateStream::Result::Corrupt},
        {"no trailer", Bytes(stream.begin(), stream.end() - 4), plain.size(), InflateStream::Result::Corrupt},
        {"header only", Bytes(stream.begin(), stream.begin() + 2), plain.size(), InflateStream::Result::Corrupt},
        {"one byte short of the size", stream, plain.size() - 1, InflateStream::Result::TooLarge},
        {"bytes after the end ignored", garbageAfter, plain.size(), InflateStream::Result::Ok},
    };
    for (const auto& c : cases)
        for (std::size_t piece : {std::size_t{1}, std::size_t{65536}})
            EXPECT_EQ(inflateWith(GetParam(), c.bytes, c.limit, piece).result, c.result)
                << c.what << ", pieces of " << piece;
}

TEST_P(EachInflater, ResetStartsAFreshStreamWithANewLimit)
{
    InflateStream inflater(10, GetParam());
    const Bytes first = textLike(1000), second = randomBytes(300, 9);
    EXPECT_EQ(inflateAll(inflater, deflated(first), 64).result, InflateStream::Result::TooLarge);
    inflater.reset(second.size());
    EXPECT_EQ(inflateAll(inflater, deflated(second), 64), (Outcome{InflateStream::Result::Ok, second}));
    Bytes broken = deflated(first);
    broken[broken.size() / 2] ^= 0x10;
    inflater.reset(first.size());
    EXPECT_NE(inflateAll(inflater, broken, 64).result, InflateStream::Result::Ok);
    inflater.reset(first.size());
    EXPECT_EQ(inflateAll(inflater, deflated(first), 64), (Outcome{InflateStream::Result::Ok, first}));
}

// Every single-bit flip and every cut of a small stream: both inflaters give
// the same verdict, and where they accept, the same bytes.
TEST(InflateStream, InflatersAgreeOnEveryFlipAndCut)
{
    if (!InflateStream::engineAvailable(InflateEngine::Isal))
        GTEST_SKIP() << "built without ISA-L";
    const Bytes plain = textLike(2000);
    const Bytes stream = deflated(plain);
    auto agree = [&](const Bytes& bytes, const std::string& what) {
        const Outcome z = inflateWith(InflateEngine::Zlib, bytes, plain.size(), 5);
        const Outcome i = inflateWith(InflateEngine::Isal, bytes, plain.size(), 5);
        EXPECT_EQ(z.result, i.result) << what;
        if (z.result == InflateStream::Result::Ok) {
            EXPECT_TRUE(z.output == i.output) << what;
        }
    };
    for (std::size_t bit = 0; bit < stream.size() * 8; ++bit) {
        Bytes flipped = stream;
        flipped[bit / 8] ^= static_cast<std::uint8_t>(1u << (bit % 8));
        agree(flipped, "bit " + std::to_string(bit));
    }
    for (std::size_t cut = 0; cut < stream.size(); ++cut)
        agree(Bytes(stream.begin(), stream.begin() + static_cast<std::ptrdiff_t>(cut)),
              "cut at " + std::to_string(cut));
}
