// SPDX-License-Identifier: MIT
// OutputConflicts: which earlier job a later one must wait for, and what it
// does when it has remembered as many paths as it may.
#include <gtest/gtest.h>

#include <string>

#include "vza/archive/extract/output_conflicts.h"

namespace vza {
namespace {

FolderPath folderOf(std::initializer_list<const char*> components)
{
    FolderPath folder;
    for (const char* component : components)
        folder.append(component);
    return folder;
}

TEST(OutputConflicts, EarlierPathsThatInterfere)
{
    OutputConflicts conflicts;
    struct Case {
        FolderPath folder;
        const char* leaf;
        std::int64_t after;
        bool everything;
        bool seen;
    };
    const Case cases[] = {
        {folderOf({}), "a", -1, false, false},         {folderOf({"d"}), "x", -1, false, false},
        {folderOf({}), "A", 0, false, true},      // the same path to a case-blind file system
        {folderOf({"a"}), "y", 2, false, false},  // a folder where a file was made
        {folderOf({"d"}), "x", 1, false, true},   // the same path again
        {folderOf({}), "d", -1, true, true},      // a file where a folder was made: waits for all
        {folderOf({"e", "f"}), "g", -1, false, false}, {folderOf({"e", "f", "g"}), "h", 6, false, false},
    };
    std::int64_t position = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(position);
        const OutputConflicts::Verdict verdict = conflicts.add(position++, c.folder, c.leaf);
        EXPECT_EQ(verdict.after, c.after);
        EXPECT_EQ(verdict.everything, c.everything);
        EXPECT_EQ(verdict.seen, c.seen);
    }
    // A path taken later (a renamed output) ties later jobs to it too.
    conflicts.note(3, folderOf({}), "renamed");
    EXPECT_EQ(conflicts.add(position++, folderOf({}), "renamed").after, 3);
}

// Memory is bounded: past MaxKeys paths the history is dropped, and the job
// that finds it full waits for every job before it, which makes forgetting
// them safe. Then it fills up again from nothing.
TEST(OutputConflicts, PastTheKeyLimitTheHistoryIsDroppedSafely)
{
    OutputConflicts conflicts;
    const FolderPath top;
    std::int64_t position = 0;
    for (; position < static_cast<std::int64_t>(OutputConflicts::MaxKeys); ++position) {
        const OutputConflicts::Verdict verdict = conflicts.add(position, top, std::to_string(position));
        ASSERT_FALSE(verdict.everything) << position;
    }
    const OutputConflicts::Verdict full = conflicts.add(position++, top, "one more");
    EXPECT_TRUE(full.everything);
    // What came before is forgotten: position 0's path is new again, and
    // only what came since is remembered.
    const OutputConflicts::Verdict again = conflicts.add(position++, top, "0");
    EXPECT_FALSE(again.everything);
    EXPECT_FALSE(again.seen);
    EXPECT_EQ(conflicts.add(position, top, "one more").after, position - 2);
}

}  // namespace
}  // namespace vza
