// SPDX-License-Identifier: MIT
// Every prefix of a small archive, in each of its four forms: a cut file
// either fails to open or gives exactly the entries that lie wholly before
// the cut, byte for byte, and writes nothing for the others.
#include <gtest/gtest.h>

#include <cstdio>
#include <set>

#include <unistd.h>

#include "testkit/testkit.h"
#include "vza/archive/format/format.h"
#include "vza/archive/read/archive.h"

using namespace vza;
using namespace vza::test;

namespace {

// Small, but with an entry that shrinks, one that does not, an empty one and
// a block-sized one, so every stored form occurs in every archive.
const std::vector<TestEntry> Entries = {
    {"hello.txt", bytesOf("hello")},
    {"dir/prose.txt", compressibleBytes(700)},
    {"empty", Bytes{}},
    {"noise.bin", randomBytes(90, 7)},
    {"eight", bytesOf("12345678")},
    {"last.txt", bytesOf("the end")},
};

struct Form {
    const char* name;
    std::uint32_t flags;
};

void PrintTo(const Form& form, std::ostream* out)
{
    *out << form.name;
}

class TruncationSweep : public ::testing::TestWithParam<Form> {};

TEST_P(TruncationSweep, EveryPrefixGivesOnlyTheWholeEntries)
{
    const std::uint32_t flags = GetParam().flags;
    TempDir dir;
    const std::string whole = dir / "whole.vza";
    writeArchive(whole, Entries, flags);
    const Bytes file = readBytes(whole);

    // Where each entry lies, from the intact archive.
    Archive intact;
    ASSERT_TRUE(intact.open(whole, "secret"));
    ASSERT_EQ(intact.entryCount(), static_cast<std::int32_t>(Entries.size()));
    const std::uint64_t dataStart = intact.archiveIndex().entryTable().dataStart();
    std::vector<std::uint64_t> ends;
    for (std::int32_t i = 0; i < intact.entryCount(); ++i)
        ends.push_back(intact.archiveIndex().entryOffset(i) + intact.entry(i)->storedSize);
    ASSERT_EQ(ends.back(), file.size());

    const std::string cut = dir / "cut.vza";
    TempDir out;
    // Longest prefix first, so each step only shortens the same file.
    writeBytes(cut, file);
    for (std::size_t length = file.size() + 1; length-- > 0;) {
        SCOPED_TRACE("prefix of " + std::to_string(length) + " bytes");
        ASSERT_EQ(truncate(cut.c_str(), static_cast<off_t>(length)), 0);
        Archive archive;
        // Header and index are all that open reads: it succeeds exactly
        // when they are whole.
        const bool opened = archive.open(cut, "secret");
        ASSERT_EQ(opened, length >= dataStart);
        if (!opened) {
            EXPECT_NE(archive.lastError(), ArchiveError::None);
            continue;
        }
        ASSERT_EQ(archive.entryCount(), static_cast<std::int32_t>(Entries.size()));

        std::set<std::string> written;
        for (std::int32_t i = 0; i < archive.entryCount(); ++i) {
            const TestEntry& entry = Entries[static_cast<std::size_t>(i)];
            const std::string target = out / std::to_string(i);
            const bool ok = archive.extractToFile(entry.name, target);
            if (archive.entry(i)->storedSize == 0) {
                // No stored bytes: nothing of the entry can be cut off, so it
                // comes out (empty, as it should) wherever the cut lies.
                ASSERT_TRUE(ok);
            } else {
                ASSERT_EQ(ok, ends[static_cast<std::size_t>(i)] <= length) << entry.name;
            }
            if (ok) {
                EXPECT_EQ(readBytes(target), entry.data) << entry.name;
                written.insert(std::to_string(i));
            } else {
                EXPECT_EQ(archive.lastError(), ArchiveError::EntryTruncated) << entry.name;
            }
        }
        const std::vector<std::string> listed = out.list();
        EXPECT_EQ(std::set<std::string>(listed.begin(), listed.end()), written);
        for (const std::string& name : listed)
            std::remove((out / name).c_str());
    }
}

INSTANTIATE_TEST_SUITE_P(Forms, TruncationSweep,
                         ::testing::Values(Form{"plain", 0}, Form{"compressed", FlagCompressed},
                                           Form{"encrypted", FlagEncrypted},
                                           Form{"encryptedCompressed", FlagEncrypted | FlagCompressed}),
                         [](const ::testing::TestParamInfo<Form>& info) { return info.param.name; });

}  // namespace
