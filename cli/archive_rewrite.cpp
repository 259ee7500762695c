// SPDX-License-Identifier: MIT
#include "cli/archive_rewrite.h"

#include <cstring>
#include <unistd.h>

#include "cli/commands.h"
#include "cli/display_name.h"
#include "cli/open_archive.h"

namespace vza::cli {

std::string withReason(const std::string& text, int systemError)
{
    return systemError != 0 ? text + " (" + std::strerror(systemError) + ")" : text;
}

ArchiveLock::Notice lockNotice(const std::string& shown, Console& console)
{
    return [&shown, &console](ArchiveLock::Event event) {
        if (event == ArchiveLock::Event::Unsupported)
            console.warning(shown + ": cannot be locked on this file system; another program may change it meanwhile");
        else if (::isatty(STDERR_FILENO))
            console.error(shown + ": in use by another program; waiting for it");
    };
}

namespace {

// An old entry's name as shown, between single quotes.
std::string quotedEntry(const EntryNames& names, std::int32_t index)
{
    std::string shown = names.shown(index);
    shown.insert(0, 1, '\'');  // not "'" + string: a false -Wrestrict in g++ 12
    shown += '\'';
    return shown;
}

// What failed, named as the user knows it: an input by its path, an old
// entry by its name in the archive, anything else as the archive.
std::string failedWhat(const ArchiveEditor& editor, const std::string& shown, const EntryNames& names)
{
    const std::int64_t failed = editor.failedItem();
    if (failed < 0)
        return shown;
    const ArchiveEditor::Item& item = editor.items()[static_cast<std::size_t>(failed)];
    if (item.entry < 0)
        return quoted(editor.inputTree()->path(item.file));
    return editor.failedPlanning() ? quotedEntry(names, item.entry)
                                   : shown + ": entry " + quotedEntry(names, item.entry);
}

}  // namespace

bool openForRewrite(const std::string& path, const char* verb, const Options& options, Console& console,
                    ArchiveEditor& editor, std::string& shown)
{
    if (path == "-") {
        console.error(std::string(verb) + " writes the archive again; standard input cannot be");
        return false;
    }
    shown = displayName(path);
    const auto passphrase = [&](std::string& password) {
        return askArchivePassword(shown, options, console, password);
    };
    switch (editor.open(path, passphrase, lockNotice(shown, console))) {
    case ArchiveEditor::OpenOutcome::Opened: return true;
    case ArchiveEditor::OpenOutcome::NoPassword: return false;  // askArchivePassword has said why
    case ArchiveEditor::OpenOutcome::CannotOpen:
        console.error(shown + ": cannot open: " + std::strerror(editor.systemError()));
        return false;
    case ArchiveEditor::OpenOutcome::IsFolder: console.error(shown + ": is a folder, not an archive"); return false;
    case ArchiveEditor::OpenOutcome::NotRegular:
        console.error(shown + ": not a regular file; only an archive file can be written again");
        return false;
    case ArchiveEditor::OpenOutcome::NotAnArchive:
    case ArchiveEditor::OpenOutcome::Failed: break;
    }
    if (editor.lastError() == ArchiveError::InputChanged)
        console.error(shown + ": changed by another program while it was read");
    else
        console.error(shown + ": " + errorMessage(editor.lastError(), editor.systemError()));
    return false;
}

std::string untouchedMessage(const std::string& shown)
{
    return shown + ": not changed; the old archive is left as it was";
}

int rewriteArchive(ArchiveEditor& editor, const std::string& shown, const EntryNames& names, Console& console)
{
    const std::vector<ArchiveEditor::Item>& items = editor.items();
    const InputTree* tree = editor.inputTree();
    std::uint64_t totalSize = 0;
    for (const ArchiveEditor::Item& item : items) {
        totalSize += item.entry >= 0 ? editor.archive().entry(item.entry)->originalSize
                                     : static_cast<std::uint64_t>(tree->status(item.file).st_size);
    }
    ProgressLine& progress = console.progress();
    progress.start(totalSize);
    std::size_t current = SIZE_MAX;
    editor.setProgress([&](std::size_t entry, std::uint64_t bytes) {
        if (entry != current) {
            current = entry;
            const ArchiveEditor::Item& item = items[entry];
            const std::string name =
                item.entry >= 0 ? std::string(editor.archive().entryName(item.entry)) : tree->storedName(item.file);
            progress.setEntry(name);
            if (console.verbose() && item.entry < 0)
                console.line((item.replaces ? "r " : "a ") + displayName(name));
        }
        progress.advance(bytes);
    });
    const bool written = editor.write();
    progress.clear();
    if (written)
        return ExitOk;
    const ArchiveError error = editor.lastError();
    if (editor.failedPlanning() && editor.failedItem() < 0) {
        console.error(shown + ": " + errorText(error));
        return ExitFatal;
    }
    if (error == ArchiveError::InputChanged && editor.failedItem() < 0)
        console.error(shown + ": changed by another program while it was read");
    else if (editor.failedPlanning())
        console.error(failedWhat(editor, shown, names) + ": " + errorText(error));
    else
        console.error(withReason(failedWhat(editor, shown, names) + ": " + errorText(error), editor.systemError()));
    console.error(untouchedMessage(shown));
    return ExitFatal;
}

}  // namespace vza::cli
