// SPDX-License-Identifier: MIT
// vza add: puts files into an existing archive, or replaces the entries of
// their names.
//
// The archive is written again through create's path (see archive_rewrite.h):
// with its own flags and password, asked for once; unchanged entries are
// copied as stored. An added name takes the place of the first entry of that
// name, and the other entries of that name go; names the archive does not
// hold are added at its end, in the order create would add them.
#include <algorithm>
#include <string>
#include <sys/stat.h>
#include <unordered_map>
#include <vector>

#include "cli/archive_rewrite.h"
#include "cli/commands.h"
#include "cli/display_name.h"
#include "cli/entry_names.h"
#include "cli/input_notices.h"
#include "cli/open_archive.h"
#include "vza/archive/format/format.h"
#include "vza/archive/write/archive_output.h"
#include "vza/archive/write/input_tree.h"

namespace vza::cli {

int runAdd(const Options& options, Console& console)
{
    const std::string& path = options.operands.front();
    ArchiveInput input;
    if (!openForRewrite(path, "add", options, console, input))
        return ExitFatal;
    const std::string untouched = untouchedMessage(input);

    // Every file named must go in: one that cannot is an error, and the
    // archive is not touched. Links and special files are left out with a
    // warning, as create does.
    int problems = 0;
    bool failed = false;
    InputTree tree([&](const InputTree::Notice& notice) {
        problems += reportInputNotice(console, notice) ? 1 : 0;
        failed = failed || inputFailed(notice);
    });
    struct stat existing {};
    if (existingOutput(path, existing))
        tree.skip(existing);
    for (std::size_t i = 1; i < options.operands.size(); ++i)
        tree.add(options.operands[i]);
    tree.finish();
    if (failed) {
        console.error(untouched);
        return ExitFatal;
    }
    if (tree.count() == 0) {
        console.error("nothing to add; " + untouched);
        return ExitPartial;
    }

    // The archive's names are read with one encoding for all of them. A
    // name from this system (UTF-8) among Shift_JIS ones would make every
    // name read differently, so only plain ASCII names join those.
    const EntryTable& table = input.entryTable();
    const EntryNames names(table, options.names);
    if (names.encoding() == NameEncoding::Cp932) {
        bool refused = false;
        for (std::size_t i = 0; i < tree.count(); ++i) {
            const std::string name = tree.storedName(i);
            if (std::any_of(name.begin(), name.end(), [](char c) { return static_cast<unsigned char>(c) >= 0x80; })) {
                console.error(quoted(tree.path(i)) + ": the archive's names are Shift_JIS; a name that is not plain "
                                                     "ASCII cannot be added to it");
                refused = true;
            }
        }
        if (refused) {
            console.error(untouched);
            return ExitFatal;
        }
    }

    // Names compare as stored, a backslash in an old name read as a slash.
    std::unordered_map<std::string, std::size_t> added;
    for (std::size_t i = 0; i < tree.count(); ++i)
        added.emplace(tree.storedName(i), i);
    std::vector<bool> placed(tree.count(), false);
    std::vector<RewriteItem> items;
    std::vector<bool> replacing;
    for (std::int32_t i = 0; i < table.count(); ++i) {
        const auto found = added.find(toSlashes(table.at(i)->name));
        if (found == added.end()) {
            items.push_back(RewriteItem{i, 0});
            replacing.push_back(false);
        } else if (!placed[found->second]) {
            placed[found->second] = true;
            items.push_back(RewriteItem{-1, found->second});
            replacing.push_back(true);
        }
    }
    for (std::size_t i = 0; i < tree.count(); ++i) {
        if (!placed[i]) {
            items.push_back(RewriteItem{-1, i});
            replacing.push_back(false);
        }
    }

    const int status = rewriteArchive(path, input, items, &tree, replacing, names, console);
    return status == ExitOk && problems > 0 ? ExitPartial : status;
}

}  // namespace vza::cli
