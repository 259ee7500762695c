// SPDX-License-Identifier: MIT
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <thread>
#include <vector>

#include "vza/archive/format/entry_records.h"
#include "vza/archive/fs/name_hash.h"
#include "vza/archive/format/name_lookup.h"

using namespace vza;

namespace {

// The first entry named name, found the slow way.
std::int32_t firstByScan(const EntryRecords& entries, const std::string& name)
{
    for (std::size_t i = 0; i < entries.size(); ++i)
        if (entries.name(i) == name)
            return static_cast<std::int32_t>(i);
    return -1;
}

}  // namespace

// The published SipHash-2-4 vectors (key 00 01 .. 0f, message 00 01 .. n-1)
// check the rounds, the word order and the tail that both variants share.
TEST(NameHash, SipHashMatchesThePublishedVectors)
{
    const std::uint64_t k0 = 0x0706050403020100ULL;
    const std::uint64_t k1 = 0x0F0E0D0C0B0A0908ULL;
    std::string message;
    for (int i = 0; i < 16; ++i)
        message.push_back(static_cast<char>(i));
    const std::pair<std::size_t, std::uint64_t> vectors[] = {{0, 0x726fdb47dd0e0e31ULL},  {1, 0x74f839c593dc67fdULL},
                                                             {7, 0xab0200f58b01d137ULL},  {8, 0x93f5f5799a932462ULL},
                                                             {15, 0xa129ca6149be45e5ULL}, {16, 0x3f2acc7f57c29bdbULL}};
    for (const auto& [length, expected] : vectors)
        EXPECT_EQ(sipHash24(k0, k1, std::string_view(message).substr(0, length)), expected) << length;

    // nameHash is keyed: not the hash under an all-zero (guessable) key.
    EXPECT_NE(nameHash("docs/readme.txt"), sipHash13(0, 0, "docs/readme.txt"));
    EXPECT_EQ(nameHash("docs/readme.txt"), nameHash(std::string("docs/readme.txt")));
}

// Whatever the hash, a name finds its first entry: duplicates, names that
// differ only in their last byte, the empty name, embedded zero bytes and
// backslashes, both when the table is built at once and when it grows
// entry by entry.
TEST(NameLookup, FindsTheFirstEntryOfEachName)
{
    std::vector<std::string> pool = {"", "a", "a ", "a\\b", "a/b", std::string("x\0y", 3), std::string("x\0z", 3)};
    std::mt19937 random(11);
    for (int i = 0; i < 400; ++i)
        pool.push_back("dir" + std::to_string(random() % 7) + "/file" + std::to_string(i));
    EntryRecords entries;
    for (int i = 0; i < 3000; ++i)
        entries.add(pool[random() % pool.size()], 0, 0);

    NameLookup whole;
    whole.rebuild(entries);
    // Built by its first find, then grown entry by entry (and rebuilt larger
    // on the way).
    NameLookup grown;
    EntryRecords prefix;
    for (std::size_t i = 0; i < entries.size(); ++i) {
        prefix.add(entries.name(i), 0, 0);
        grown.append(prefix);
        if (prefix.size() == 1) {
            EXPECT_EQ(grown.find(prefix, entries.name(i)), 0);
        }
    }
    // Never built: the first finds, from two threads at once, build it.
    NameLookup lazy;
    std::vector<std::int32_t> fromOther(pool.size());
    std::thread other([&] {
        for (std::size_t i = 0; i < pool.size(); ++i)
            fromOther[i] = lazy.find(entries, pool[i]);
    });
    for (std::size_t i = 0; i < pool.size(); ++i)
        EXPECT_EQ(lazy.find(entries, pool[i]), firstByScan(entries, pool[i])) << pool[i];
    other.join();
    for (std::size_t i = 0; i < pool.size(); ++i)
        EXPECT_EQ(fromOther[i], firstByScan(entries, pool[i])) << pool[i];

    std::vector<std::string> queries = pool;
    for (const char* absent : {"b", "a/", "dir0/file", "x", "A"})
        queries.push_back(absent);
    for (const std::string& name : queries) {
        const std::int32_t expected = firstByScan(entries, name);
        EXPECT_EQ(whole.find(entries, name), expected) << name;
        EXPECT_EQ(grown.find(entries, name), expected) << name;
    }

    // Cleared, the table is built again from the entries the next find gets.
    whole.clear();
    EXPECT_EQ(whole.find(entries, "a"), firstByScan(entries, "a"));
    whole.clear();
    EXPECT_EQ(whole.find({}, "a"), -1);
}
