// SPDX-License-Identifier: MIT
// vza add: puts files into an existing archive, or replaces the entries of
// their names.
//
// The library plans and writes the new archive (ArchiveEditor): with the
// archive's own flags and password, asked for once; unchanged entries are
// copied as stored. An added name takes the place of the first entry of that
// name, and the other entries of that name go; names the archive does not
// hold are added at its end, in the order create would add them.
#include <string>
#include <sys/stat.h>

#include "cli/archive_rewrite.h"
#include "cli/commands.h"
#include "cli/display_name.h"
#include "cli/entry_names.h"
#include "cli/input_notices.h"
#include "vza/archive/names/name_decoding.h"
#include "vza/archive/write/archive_editor.h"
#include "vza/archive/write/input_tree.h"

namespace vza::cli {

namespace {

// Why a name cannot join the archive's names.
std::string refusedNameReason(NameEncoding encoding)
{
    switch (encoding) {
    case NameEncoding::Utf8:
        return "the archive's names are UTF-8; a name that is not valid UTF-8 cannot be added to it";
    case NameEncoding::Cp932:
        return "the archive's names are Shift_JIS; a name that is not plain ASCII cannot be added to it";
    default: return "the archive's names are Latin-1; a name that is not plain ASCII cannot be added to it";
    }
}

}  // namespace

int runAdd(const Options& options, Console& console)
{
    const std::string& path = options.operands.front();
    ArchiveEditor editor;
    std::string shown;
    if (!openForRewrite(path, "add", options, console, editor, shown))
        return ExitFatal;
    const std::string untouched = untouchedMessage(shown);

    // Every file named must go in: one that cannot is an error, and the
    // archive is not touched. Links and special files are left out with a
    // warning, as create does.
    int problems = 0;
    bool failed = false;
    InputTree tree([&](const InputTree::Notice& notice) {
        problems += reportInputNotice(console, notice) ? 1 : 0;
        failed = failed || inputFailed(notice);
    });
    tree.skip(editor.lockedStatus());
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

    if (!editor.planAdd(tree)) {
        for (const std::size_t file : editor.refusedNames())
            console.error(quoted(tree.path(file)) + ": " + refusedNameReason(editor.namesEncoding()));
        console.error(untouched);
        return ExitFatal;
    }
    editor.setLevel(options.level);
    const EntryNames names(editor.archive().archiveIndex().entryTable(), options.names);
    const int status = rewriteArchive(editor, shown, names, console);
    return status == ExitOk && problems > 0 ? ExitPartial : status;
}

}  // namespace vza::cli
