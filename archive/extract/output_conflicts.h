// SPDX-License-Identifier: MIT
// Which earlier entries of an extraction a later one must wait for.
//
// Entries written side by side must end exactly as if written one after the
// other. Two entries interfere only through their output paths: the same
// path (the later one wins, or finds the earlier one there), or one path a
// folder on the other's way (a file where a folder is wanted, or the
// reverse). OutputConflicts is told every output path in order and answers,
// for each, the last earlier position it interferes with.
//
// Paths are compared by a 64-bit hash with ASCII letters folded to lower
// case, so names that a case-blind file system takes as one are tied
// together too. A collision only makes an entry wait when it need not; it
// never lets two interfering entries run at once. Memory is bounded: past
// MaxKeys remembered paths the history is dropped and the entry waits for
// all before it, which makes dropping it safe.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "vza/archive/fs/folder_walk.h"

namespace vza {

class OutputConflicts {
public:
    static constexpr std::size_t MaxKeys = std::size_t{1} << 20;

    OutputConflicts();

    struct Verdict {
        std::int64_t after = -1;  // the last earlier position it interferes with, -1 none
        bool everything = false;  // wait for every earlier position instead
        bool seen = false;        // an earlier entry had this path, as a file or a folder
    };

    // The output path folder + '/' + leaf (no folder for the top) of the
    // entry at position, which grows from call to call.
    Verdict add(std::int64_t position, const FolderPath& folder, std::string_view leaf);

    // Records a path in folder that the entry at an earlier position took
    // after it was planned (a renamed output): later entries with that path
    // wait for position. The folder is one add() was told already; nothing
    // is dropped here, the next add() keeps the bound.
    void note(std::int64_t position, const FolderPath& folder, std::string_view leaf);

    void clear();

private:
    struct Identity {
        std::size_t operator()(std::uint64_t key) const { return static_cast<std::size_t>(key); }
    };
    std::uint64_t keys(const FolderPath& folder, std::string_view leaf, std::vector<std::uint64_t>& prefixes) const;

    std::uint64_t seed_;
    std::unordered_map<std::uint64_t, std::int64_t, Identity> files_;  // path -> last position with it as leaf
    std::unordered_set<std::uint64_t, Identity> folders_;              // paths used as folders
};

}  // namespace vza
