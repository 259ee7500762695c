// SPDX-License-Identifier: MIT
// ParallelCipher: a run cut into parts for several threads gives exactly the
// bytes of encryptBuffer and decryptBuffer on the whole run, for runs too
// short to split, runs that do not divide evenly, a ragged last block, and
// one object used for many runs in a row.
#include <gtest/gtest.h>

#include "testkit/testkit.h"
#include "vza/codec/blowfish.h"
#include "vza/codec/parallel_cipher.h"

using namespace vza;
using namespace vza::test;

TEST(ParallelCipher, GivesTheBytesOfTheWholeRunWhateverTheThreads)
{
    CipherState key;
    const std::string password = "parts";
    setKey(key, reinterpret_cast<const std::uint8_t*>(password.data()), password.size());
    const std::size_t lengths[] = {
        0, 5, 8, ParallelCipher::SplitFrom - 8, ParallelCipher::SplitFrom, ParallelCipher::SplitFrom + 8 * 3, 1000003};
    for (const unsigned threads : {1u, 2u, 3u, 4u}) {
        ParallelCipher parallel(threads);
        for (int round = 0; round < 3; ++round) {
            for (const std::size_t length : lengths) {
                SCOPED_TRACE(std::to_string(threads) + " threads, " + std::to_string(length) + " bytes");
                const Bytes plain = randomBytes(length, static_cast<std::uint32_t>(length + round));
                Bytes whole = plain, parts = plain;
                whole.resize(length + 8);
                parts.resize(length + 8);
                const std::size_t sealed = encryptBuffer(key, whole.data(), length);
                ASSERT_EQ(parallel.encrypt(key, parts.data(), length), sealed);
                ASSERT_TRUE(parts == whole);
                parallel.decrypt(key, parts.data(), sealed);
                decryptBuffer(key, whole.data(), sealed);
                ASSERT_TRUE(parts == whole);
                EXPECT_TRUE(Bytes(parts.begin(), parts.begin() + static_cast<std::ptrdiff_t>(length)) == plain);
            }
        }
    }
}
