// SPDX-License-Identifier: MIT
// vza delete: removes entries from an archive.
//
// A NAME removes every entry of that name and, as a folder, every entry under
// it; otherwise a NAME holding * ? or [ removes every entry it matches ('*'
// matching '/' too): names matched as extract matches them (entry_selection.h). A NAME that removes nothing is an
// error and the archive is left as it was. The library writes the rest again
// (ArchiveEditor), each kept entry copied as stored.
#include <string>
#include <vector>

#include "cli/archive_rewrite.h"
#include "cli/commands.h"
#include "cli/display_name.h"
#include "cli/entry_names.h"
#include "cli/entry_selection.h"
#include "vza/archive/format/format.h"
#include "vza/archive/write/archive_editor.h"

namespace vza::cli {

int runDelete(const Options& options, Console& console)
{
    const std::string& path = options.operands.front();
    ArchiveEditor editor;
    std::string shown;
    if (!openForRewrite(path, "delete", options, console, editor, shown))
        return ExitFatal;
    const std::string untouched = untouchedMessage(shown);

    const EntryTable& table = editor.archive().archiveIndex().entryTable();
    const EntryNames names(table, options.names);
    const std::int32_t count = table.count();
    std::vector<bool> removed(static_cast<std::size_t>(count), false);
    int misses = 0;
    for (const std::int32_t i : selectOperands(names, options, SameName::Every, console, misses))
        removed[static_cast<std::size_t>(i)] = true;
    if (misses > 0) {
        console.error(untouched);
        return ExitFatal;
    }

    editor.planDelete(removed);
    const int status = rewriteArchive(editor, shown, names, console);
    if (status == ExitOk && console.verbose()) {
        for (std::int32_t i = 0; i < count; ++i) {
            if (removed[static_cast<std::size_t>(i)])
                console.line("d " + names.shown(i));
        }
    }
    return status;
}

}  // namespace vza::cli
