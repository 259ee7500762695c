// SPDX-License-Identifier: MIT
#include <gtest/gtest.h>

#include "vza/archive/format/entry_check.h"
#include "vza/archive/format/format.h"

using namespace vza;

// Only bytes that went through zlib are checked; where the index cannot
// tell, no check is claimed.
TEST(EntryCheck, OnlyCompressedEntriesCountAsChecked)
{
    struct Case {
        const char* what;
        std::uint32_t flags;
        std::uint32_t size;
        std::uint32_t stored;
        bool checked;
    };
    constexpr std::uint32_t Both = FlagCompressed | FlagEncrypted;
    const Case cases[] = {
        {"plain", 0, 100, 100, false},
        {"plain, sizes differ (damaged index)", 0, 100, 90, false},
        {"encrypted only", FlagEncrypted, 100, 112, false},
        {"compressed", FlagCompressed, 100, 40, true},
        {"compressed archive, entry stored", FlagCompressed, 100, 100, false},
        {"empty entry", FlagCompressed, 0, 0, false},
        {"sealed and compressed", Both, 100, 48, true},
        {"sealed, stored", Both, 100, 112, false},
        // 97 to 99 compressed bytes seal to 112 as 100 plain bytes do.
        {"sealed, not to be told apart", Both, 100, 112, false},
        {"sealed, one block shorter", Both, 100, 104, true},
    };
    CheckTally tally;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const EntryView entry{"x", c.size, c.stored};
        EXPECT_EQ(entryBytesChecked(c.flags, entry), c.checked);
        tally.add(c.flags, entry, true);
    }
    tally.add(FlagCompressed, EntryView{"x", 100, 40}, false);
    EXPECT_EQ(tally.checked, 3u);
    EXPECT_EQ(tally.unchecked, 7u);
    EXPECT_EQ(tally.failed, 1u);
    EXPECT_EQ(tally.total(), 11u);
}
