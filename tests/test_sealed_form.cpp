// SPDX-License-Identifier: MIT
#include <gtest/gtest.h>

#include "testkit/testkit.h"
#include "vza/archive/format/data_buffer.h"
#include "vza/archive/format/format.h"
#include "vza/codec/blowfish.h"

using namespace vza;
using namespace vza::test;

TEST(SealedForm, SealsToPrefixPlusPaddedLength)
{
    keyCipher("key");
    const std::pair<std::size_t, std::size_t> cases[] = {{0, 8}, {1, 16}, {8, 16}, {9, 24}, {70001, 70016}};
    for (const auto& [plain, sealedLength] : cases) {
        const Bytes bytes = randomBytes(plain, static_cast<std::uint32_t>(plain));
        DataBuffer buffer;
        buffer.assign(bytes.data(), bytes.size());
        buffer.info.originalSize = 1234;
        ASSERT_TRUE(buffer.encrypt());
        EXPECT_EQ(buffer.size(), sealedLength) << plain;
        EXPECT_EQ(buffer.info.storedSize, sealedLength) << plain;

        // The prefix is enciphered too; deciphered it holds the magic and length.
        Bytes prefix(buffer.bytes.begin(), buffer.bytes.begin() + 8);
        decryptBlock(prefix.data());
        EXPECT_EQ(getU32(prefix.data()), ArchiveMagic);
        EXPECT_EQ(getU32(prefix.data() + 4), plain);

        ASSERT_TRUE(buffer.decrypt()) << plain;
        EXPECT_EQ(buffer.bytes, bytes) << plain;
        EXPECT_EQ(buffer.info.storedSize, plain);
        EXPECT_EQ(buffer.info.originalSize, 1234u);  // never touched by the seal
    }
}

TEST(SealedForm, DecryptChangesNothingUnlessItIsASealedForm)
{
    keyCipher("key");
    DataBuffer sealed;
    sealed.assign("hello world", 11);
    sealed.encrypt();

    Bytes extraBlock = sealed.bytes;
    extraBlock.insert(extraBlock.end(), 8, 0);
    const struct {
        const char* what;
        Bytes bytes;
        const char* key;
    } cases[] = {
        {"7 bytes", Bytes(7, 0), "key"},
        {"empty", {}, "key"},
        {"another key", sealed.bytes, "other key"},
        {"a block added", extraBlock, "key"},
        {"a block removed", Bytes(sealed.bytes.begin(), sealed.bytes.end() - 8), "key"},
    };
    for (const auto& c : cases) {
        keyCipher(c.key);
        DataBuffer buffer;
        buffer.assign(c.bytes.data(), c.bytes.size());
        buffer.info.originalSize = 99;
        EXPECT_FALSE(buffer.decrypt()) << c.what;
        EXPECT_EQ(buffer.bytes, c.bytes) << c.what;
        EXPECT_EQ(buffer.info.storedSize, c.bytes.size()) << c.what;
        EXPECT_EQ(buffer.info.originalSize, 99u) << c.what;
    }
}
