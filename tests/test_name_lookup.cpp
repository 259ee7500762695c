#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "archive/archive_entry.h"
#include "archive/name_hash.h"
#include "archive/name_lookup.h"

using namespace vza;

namespace {

// The first entry named name, found the slow way.
std::int32_t firstByScan(const std::vector<ArchiveEntry>& entries, const std::string& name)
{
    for (std::size_t i = 0; i < entries.size(); ++i)
        if (entries[i].name == name)
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
    const std::pair<std::size_t, std::uint64_t> vectors[] = {
        {0, 0x726fdb47dd0e0e31ULL}, {1, 0x74f839c593dc67fdULL}, {7, 0xab0200f58b01d137ULL},
        {8, 0x93f5f5799a932462ULL}, {15, 0xa129ca6149be45e5ULL}, {16, 0x3f2acc7f57c29bdbULL}};
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
    std::vector<ArchiveEntry> entries;
    for (int i = 0; i < 3000; ++i)
        entries.push_back({pool[random() % pool.size()], 0, 0});

    NameLookup whole;
    whole.rebuild(entries);
    NameLookup grown;
    std::vector<ArchiveEntry> prefix;
    for (const ArchiveEntry& entry : entries) {
        prefix.push_back(entry);
        grown.append(prefix);
    }

    std::vector<std::string> queries = pool;
    for (const char* absent : {"b", "a/", "dir0/file", "x", "A"})
        queries.push_back(absent);
    for (const std::string& name : queries) {
        const std::int32_t expected = firstByScan(entries, name);
        EXPECT_EQ(whole.find(entries, name), expected) << name;
        EXPECT_EQ(grown.find(entries, name), expected) << name;
    }

    NameLookup empty;
    EXPECT_EQ(empty.find(entries, "a"), -1);
    whole.clear();
    EXPECT_EQ(whole.find(entries, "a"), -1);
}
