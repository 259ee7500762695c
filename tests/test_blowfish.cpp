// SPDX-License-Identifier: MIT
#include "vza/codec/blowfish.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<std::uint8_t>;
using vza::CipherPath;

Bytes hex(const std::string& text)
{
    Bytes out;
    for (std::size_t i = 0; i + 1 < text.size(); i += 2)
        out.push_back(static_cast<std::uint8_t>(std::stoul(text.substr(i, 2), nullptr, 16)));
    return out;
}

void keyWith(const Bytes& key)
{
    vza::setKey(key.data(), key.size());
}

bool sameState(const vza::CipherState& a, const vza::CipherState& b)
{
    return std::memcmp(&a, &b, sizeof a) == 0;
}

vza::CipherState stateFor(const Bytes& key)
{
    keyWith(key);
    return vza::cipherState();
}

// Eric Young's known-answer table: key, plaintext, ciphertext.
struct EcbVector {
    const char* key;
    const char* plain;
    const char* cipher;
};

const EcbVector ecbVectors[] = {
    {"0000000000000000", "0000000000000000", "4EF997456198DD78"},
    {"FFFFFFFFFFFFFFFF", "FFFFFFFFFFFFFFFF", "51866FD5B85ECB8A"},
    {"3000000000000000", "1000000000000001", "7D856F9A613063F2"},
    {"1111111111111111", "1111111111111111", "2466DD878B963C9D"},
    {"0123456789ABCDEF", "1111111111111111", "61F9C3802281B096"},
    {"1111111111111111", "0123456789ABCDEF", "7D0CC630AFDA1EC7"},
    {"0000000000000000", "0000000000000000", "4EF997456198DD78"},
    {"FEDCBA9876543210", "0123456789ABCDEF", "0ACEAB0FC6A0A28D"},
    {"7CA110454A1A6E57", "01A1D6D039776742", "59C68245EB05282B"},
    {"0131D9619DC1376E", "5CD54CA83DEF57DA", "B1B8CC0B250F09A0"},
    {"07A1133E4A0B2686", "0248D43806F67172", "1730E5778BEA1DA4"},
    {"3849674C2602319E", "51454B582DDF440A", "A25E7856CF2651EB"},
    {"04B915BA43FEB5B6", "42FD443059577FA2", "353882B109CE8F1A"},
    {"0113B970FD34F2CE", "059B5E0851CF143A", "48F4D0884C379918"},
    {"0170F175468FB5E6", "0756D8E0774761D2", "432193B78951FC98"},
    {"43297FAD38E373FE", "762514B829BF486A", "13F04154D69D1AE5"},
    {"07A7137045DA2A16", "3BDD119049372802", "2EEDDA93FFD39C79"},
    {"04689104C2FD3B2F", "26955F6835AF609A", "D887E0393C2DA6E3"},
    {"37D06BB516CB7546", "164D5E404F275232", "5F99D04F5B163969"},
    {"1F08260D1AC2465E", "6B056E18759F5CCA", "4A057A3B24D3977B"},
    {"584023641ABA6176", "004BD6EF09176062", "452031C1E4FADA8E"},
    {"025816164629B007", "480D39006EE762F2", "7555AE39F59B87BD"},
    {"49793EBC79B3258F", "437540C8698F3CFA", "53C55F9CB49FC019"},
    {"4FB05E1515AB73A7", "072D43A077075292", "7A8E7BFA937E89A3"},
    {"49E95D6D4CA229BF", "02FE55778117F12A", "CF9C5D7A4986ADB5"},
    {"018310DC409B26D6", "1D9D5C5018F728C2", "D1ABB290658BC778"},
    {"1C587F1C13924FEF", "305532286D6F295A", "55CB3774D13EF201"},
    {"0101010101010101", "0123456789ABCDEF", "FA34EC4847B268B2"},
    {"1F1F1F1F0E0E0E0E", "0123456789ABCDEF", "A790795108EA3CAE"},
    {"E0FEE0FEF1FEF1FE", "0123456789ABCDEF", "C39E072D9FAC631D"},
    {"0000000000000000", "FFFFFFFFFFFFFFFF", "014933E0CDAFF6E4"},
    {"FFFFFFFFFFFFFFFF", "0000000000000000", "F21E9A77B71C49BC"},
    {"0123456789ABCDEF", "0000000000000000", "245946885754369A"},
    {"FEDCBA9876543210", "FFFFFFFFFFFFFFFF", "6B5C5A9C5D9E0A5A"},
};

// The variable-key table: the first n bytes of one key, n = 1..24, each
// enciphering FEDCBA9876543210.
const char* const varKeyMaster = "F0E1D2C3B4A5968778695A4B3C2D1E0F0011223344556677";
const char* const varKeyCipher[24] = {
    "F9AD597C49DB005E", "E91D21C1D961A6D6", "E9C2B70A1BC65CF3", "BE1E639408640F05", "B39E44481BDB1E6E",
    "9457AA83B1928C0D", "8BB77032F960629D", "E87A244E2CC85E82", "15750E7A4F4EC577", "122BA70B3AB64AE0",
    "3A833C9AFFC537F6", "9409DA87A90F6BF2", "884F80625060B8B4", "1F85031C19E11968", "79D9373A714CA34F",
    "93142887EE3BE15C", "03429E838CE2D14B", "A4299E27469FF67B", "AFD5AED1C1BC96A8", "10851C0E3858DA9F",
    "E6F51ED79B9DB21F", "64A6E14AFD36B46F", "80C7D7D45A5479AD", "05044B62FA52D080",
};

// Every known answer as one case: a key and a plaintext/ciphertext block.
struct KnownAnswer {
    std::string name;
    Bytes key;
    Bytes plain;
    Bytes cipher;
};

std::vector<KnownAnswer> knownAnswers()
{
    std::vector<KnownAnswer> all;
    int n = 0;
    for (const EcbVector& v : ecbVectors)
        all.push_back({"ecb" + std::to_string(++n), hex(v.key), hex(v.plain), hex(v.cipher)});
    const Bytes master = hex(varKeyMaster);
    for (std::size_t len = 1; len <= 24; ++len)
        all.push_back({"key" + std::to_string(len), Bytes(master.begin(), master.begin() + len),
                       hex("FEDCBA9876543210"), hex(varKeyCipher[len - 1])});
    return all;
}

// Whole blocks in a buffer, in the smallest counts that make every path run
// its wide loop twice and then finish a tail of odd blocks.
constexpr std::size_t manyBlocks = 2 * 64 + 5;

class CipherPathTest : public ::testing::TestWithParam<CipherPath> {
protected:
    void SetUp() override
    {
        if (!vza::cipherPathAvailable(GetParam()))
            GTEST_SKIP() << "this CPU lacks the instructions for this path";
    }
};

TEST(BlowfishKnownAnswer, EncryptBlockAndDecryptBlockMatchPublishedVectors)
{
    const auto all = knownAnswers();
    ASSERT_EQ(all.size(), 34u + 24u);
    for (const KnownAnswer& v : all) {
        SCOPED_TRACE(v.name);
        keyWith(v.key);
        Bytes block = v.plain;
        vza::encryptBlock(block.data());
        EXPECT_EQ(block, v.cipher);
        vza::decryptBlock(block.data());
        EXPECT_EQ(block, v.plain);
    }
}

TEST_P(CipherPathTest, BufferPathsMatchPublishedVectors)
{
    for (const KnownAnswer& v : knownAnswers()) {
        SCOPED_TRACE(v.name);
        keyWith(v.key);
        for (std::size_t count : {std::size_t{1}, manyBlocks}) {
            Bytes plain;
            Bytes cipher;
            for (std::size_t i = 0; i < count; ++i) {
                plain.insert(plain.end(), v.plain.begin(), v.plain.end());
                cipher.insert(cipher.end(), v.cipher.begin(), v.cipher.end());
            }
            Bytes buffer = plain;
            vza::encryptBlocks(GetParam(), buffer.data(), buffer.size());
            EXPECT_EQ(buffer, cipher) << count << " blocks";
            vza::decryptBlocks(GetParam(), buffer.data(), buffer.size());
            EXPECT_EQ(buffer, plain) << count << " blocks";
        }
    }
}

// Random blocks of different values per position, so a path that mixes up
// the order of blocks within its group shows up.
TEST_P(CipherPathTest, AgreesWithBlockCallsAndRoundTripsUnderRandomKeys)
{
    std::mt19937 rng(1234);
    auto randomBytes = [&rng](std::size_t n) {
        Bytes out(n);
        for (auto& b : out)
            b = static_cast<std::uint8_t>(rng());
        return out;
    };
    for (std::size_t keyLength : {1u, 5u, 16u, 56u, 72u}) {
        SCOPED_TRACE(keyLength);
        keyWith(randomBytes(keyLength));
        for (std::size_t blocks :
             std::initializer_list<std::size_t>{0, 1, 3, 4, 5, 15, 16, 17, 63, 64, 65, manyBlocks, 1000}) {
            const Bytes plain = randomBytes(8 * blocks);
            Bytes expected = plain;
            for (std::size_t at = 0; at < expected.size(); at += 8)
                vza::encryptBlock(expected.data() + at);

            Bytes buffer = plain;
            vza::encryptBlocks(GetParam(), buffer.data(), buffer.size());
            ASSERT_EQ(buffer, expected) << blocks << " blocks";
            vza::decryptBlocks(GetParam(), buffer.data(), buffer.size());
            ASSERT_EQ(buffer, plain) << blocks << " blocks";
        }
    }
}

// A ragged length must not make a path touch bytes past the whole blocks.
TEST_P(CipherPathTest, LeavesBytesAfterTheLastWholeBlockAlone)
{
    keyWith(hex("0123456789ABCDEF"));
    Bytes buffer(8 * manyBlocks + 8, 0xAB);
    vza::encryptBlocks(GetParam(), buffer.data(), 8 * manyBlocks + 5);
    vza::decryptBlocks(GetParam(), buffer.data(), 8 * manyBlocks + 5);
    EXPECT_EQ(buffer, Bytes(8 * manyBlocks + 8, 0xAB));
    vza::encryptBlocks(GetParam(), buffer.data(), 8 * manyBlocks + 5);
    EXPECT_EQ(Bytes(buffer.end() - 8, buffer.end()), Bytes(8, 0xAB));
}

INSTANTIATE_TEST_SUITE_P(AllPaths, CipherPathTest,
                         ::testing::Values(CipherPath::Portable, CipherPath::Avx2, CipherPath::Avx512),
                         [](const auto& info) {
                             switch (info.param) {
                             case CipherPath::Avx2: return std::string("Avx2");
                             case CipherPath::Avx512: return std::string("Avx512");
                             default: return std::string("Portable");
                             }
                         });

TEST(BlowfishBuffer, EncryptBufferPadsTheTailWithZerosAndReturnsRoundedLength)
{
    keyWith(hex("FEDCBA9876543210"));
    struct Case {
        std::size_t length;
        std::size_t rounded;
    };
    for (const Case c : {Case{0, 0}, Case{1, 8}, Case{7, 8}, Case{8, 8}, Case{9, 16}, Case{300, 304}}) {
        SCOPED_TRACE(c.length);
        Bytes plain(c.rounded + 8, 0x5A);  // a guard byte run after the padded end
        for (std::size_t i = 0; i < c.length; ++i)
            plain[i] = static_cast<std::uint8_t>(i * 31 + 7);
        Bytes expected(plain.begin(), plain.begin() + c.rounded);
        std::fill(expected.begin() + c.length, expected.end(), 0);
        for (std::size_t at = 0; at < expected.size(); at += 8)
            vza::encryptBlock(expected.data() + at);

        Bytes buffer = plain;
        EXPECT_EQ(vza::encryptBuffer(buffer.data(), c.length), c.rounded);
        EXPECT_EQ(Bytes(buffer.begin(), buffer.begin() + c.rounded), expected);
        EXPECT_EQ(Bytes(buffer.begin() + c.rounded, buffer.end()), Bytes(8, 0x5A));

        vza::decryptBuffer(buffer.data(), c.rounded);
        Bytes padded(plain.begin(), plain.begin() + c.length);
        padded.resize(c.rounded, 0);
        EXPECT_EQ(Bytes(buffer.begin(), buffer.begin() + c.rounded), padded);
    }
}

TEST(BlowfishBuffer, DecryptBufferLeavesARaggedTailAlone)
{
    keyWith(hex("0123456789ABCDEF"));
    Bytes buffer(24, 0x11);
    Bytes expected = buffer;
    vza::encryptBlock(expected.data());
    vza::encryptBlock(expected.data() + 8);
    vza::encryptBuffer(buffer.data(), 16);
    ASSERT_EQ(buffer, expected);
    vza::decryptBuffer(buffer.data(), 20);
    EXPECT_EQ(buffer, Bytes(24, 0x11));
}

// A key state of the caller's own keys and enciphers exactly like the
// process-wide one, over enough blocks for the vector loops and a ragged
// tail, and neither keying nor using it touches the process-wide key.
TEST(BlowfishOwnState, MatchesTheProcessWideKeyAndLeavesItAlone)
{
    const Bytes key = hex("0123456789ABCDEF");
    const vza::CipherState viaProcess = stateFor(key);
    Bytes plain(8 * 200 + 3);
    for (std::size_t i = 0; i < plain.size(); ++i)
        plain[i] = static_cast<std::uint8_t>(i * 13 + 1);
    plain.resize(8 * 201);  // room for the padding
    Bytes expected = plain;
    ASSERT_EQ(vza::encryptBuffer(expected.data(), 8 * 200 + 3), 8 * 201u);

    keyWith(hex("FFFF"));
    const vza::CipherState other = vza::cipherState();
    vza::CipherState own{};
    vza::setKey(own, key.data(), key.size());
    EXPECT_TRUE(sameState(own, viaProcess));

    Bytes buffer = plain;
    EXPECT_EQ(vza::encryptBuffer(own, buffer.data(), 8 * 200 + 3), 8 * 201u);
    EXPECT_EQ(buffer, expected);
    Bytes block(expected.begin(), expected.begin() + 8);
    vza::decryptBlock(own, block.data());
    EXPECT_EQ(block, Bytes(plain.begin(), plain.begin() + 8));
    vza::encryptBlock(own, block.data());
    EXPECT_EQ(block, Bytes(expected.begin(), expected.begin() + 8));
    vza::decryptBuffer(own, buffer.data(), buffer.size());
    std::fill(plain.begin() + 8 * 200 + 3, plain.end(), 0);
    EXPECT_EQ(buffer, plain);

    EXPECT_TRUE(sameState(vza::cipherState(), other));
}

// Key schedule: the key is used cyclically over 72 byte positions, with no
// 56-byte limit. Expected ciphertexts for the long and high-bit keys come
// from an independent Blowfish implementation (OpenSSL's BF_set_key).
TEST(BlowfishKey, LongAndHighBitKeysMatchAnIndependentImplementation)
{
    Bytes longKey(100);
    for (std::size_t i = 0; i < longKey.size(); ++i)
        longKey[i] = static_cast<std::uint8_t>(i * 7 + 3);
    struct Case {
        Bytes key;
        const char* plain;
        const char* cipher;
    };
    const Case cases[] = {
        {Bytes(longKey.begin(), longKey.begin() + 57), "FEDCBA9876543210", "455A06CBF30955E0"},
        {Bytes(longKey.begin(), longKey.begin() + 72), "FEDCBA9876543210", "7EE1285F7F8279AD"},
        {Bytes(longKey.begin(), longKey.begin() + 73), "FEDCBA9876543210", "7EE1285F7F8279AD"},
        {longKey, "FEDCBA9876543210", "7EE1285F7F8279AD"},
        // A byte above 0x7F in the lowest position of its key word, and
        // high bytes beside low ones: each must stay within its own byte.
        {hex("00000080"), "0000000000000000", "B1364272E46756DC"},
        {hex("7F80FF01"), "0000000000000000", "6B72025BE78A2002"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.key.size());
        keyWith(c.key);
        Bytes block = hex(c.plain);
        vza::encryptBlock(block.data());
        EXPECT_EQ(block, hex(c.cipher));
    }
}

TEST(BlowfishKey, KeyIsUsedCyclicallyOverSeventyTwoPositions)
{
    EXPECT_TRUE(sameState(stateFor({0xC3}), stateFor(Bytes(72, 0xC3))));
    const Bytes shortKey = hex("0102030405");
    Bytes expanded;
    for (std::size_t i = 0; i < 80; ++i)
        expanded.push_back(shortKey[i % shortKey.size()]);
    EXPECT_TRUE(sameState(stateFor(shortKey), stateFor(Bytes(expanded.begin(), expanded.begin() + 72))));
    EXPECT_TRUE(sameState(stateFor(shortKey), stateFor(expanded)));
    EXPECT_FALSE(sameState(stateFor(shortKey), stateFor(Bytes(expanded.begin(), expanded.begin() + 6))));

    // Position 56..71 still counts; position 72 and beyond never does.
    struct Case {
        std::size_t length;
        std::size_t changed;
        bool matters;
    };
    for (const Case c : {Case{57, 56, true}, Case{72, 71, true}, Case{73, 72, false}, Case{100, 99, false}}) {
        SCOPED_TRACE(c.length);
        Bytes key(c.length, 0x42);
        const vza::CipherState before = stateFor(key);
        key[c.changed] ^= 0x01;
        EXPECT_EQ(!sameState(before, stateFor(key)), c.matters);
    }
}

TEST(BlowfishKey, KeyingAgainStartsFromTheInitialTables)
{
    const Bytes key = hex("0123456789ABCDEF");
    const vza::CipherState once = stateFor(key);
    keyWith(hex("FFFF"));
    keyWith(key);
    keyWith(key);
    EXPECT_TRUE(sameState(vza::cipherState(), once));
}

// Callers are meant to refuse an empty password; should one slip through,
// it keys like a single zero byte (nothing to XOR in) instead of faulting.
TEST(BlowfishKey, EmptyKeyActsAsAZeroKey)
{
    vza::setKey(nullptr, 0);
    const vza::CipherState empty = vza::cipherState();
    EXPECT_TRUE(sameState(empty, stateFor({0x00})));
}

// Checked in a fresh process, since every other test keys the cipher.
TEST(BlowfishState, IsAllZerosBeforeTheFirstKey)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            const vza::CipherState zero{};
            std::exit(sameState(vza::cipherState(), zero) ? 0 : 1);
        },
        ::testing::ExitedWithCode(0), "");
}

}  // namespace
