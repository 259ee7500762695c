// SPDX-License-Identifier: MIT
// Writing an archive again with entries added, replaced or removed: the
// common part of vza add and vza delete.
//
// The new archive has the old one's flags and password. Entries kept are
// copied as their stored bytes, never decoded and encoded again; new files
// are read, compressed and sealed as create does. It replaces the old archive
// only when complete (ArchiveOutput): any failure leaves the old one as it was.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "cli/console.h"
#include "cli/entry_names.h"
#include "cli/open_archive.h"
#include "vza/archive/write/input_tree.h"

namespace vza::cli {

// One entry of the new archive, in order: entry `entry` of the old archive
// (file unused), or file `file` of the input tree (entry -1).
struct RewriteItem {
    std::int32_t entry = -1;
    std::size_t file = 0;
};

// Opens the archive at path for writing it again (verb names the command in
// messages): standard input and other streams are refused, since only a file
// can be replaced. Returns false after printing why.
bool openForRewrite(const std::string& path, const char* verb, const Options& options, Console& console,
                    ArchiveInput& input);

// The line that ends every failure of add and delete.
std::string untouchedMessage(const ArchiveInput& input);

// Writes items to the archive at path, which input holds open (random
// access). tree holds the files named by items, or is nullptr when there are
// none. With -v, each added file is named as "a NAME" or "r NAME" (replaced:
// replacing[i] for item i); old entries are named as names shows them.
// Returns the exit status; on failure the reason
// has been printed, ending with the old archive being left as it was.
int rewriteArchive(const std::string& path, ArchiveInput& input, const std::vector<RewriteItem>& items,
                   const InputTree* tree, const std::vector<bool>& replacing, const EntryNames& names,
                   Console& console);

}  // namespace vza::cli
