// SPDX-License-Identifier: MIT
#include "cli/archive_rewrite.h"

#include <cstring>
#include <unistd.h>

#include "cli/commands.h"
#include "cli/display_name.h"
#include "vza/archive/write/archive_output.h"
#include "vza/archive/write/archive_writer.h"

namespace vza::cli {

bool openForRewrite(const std::string& path, const char* verb, const Options& options, Console& console,
                    ArchiveInput& input)
{
    if (path == "-") {
        console.error(std::string(verb) + " writes the archive again; standard input cannot be");
        return false;
    }
    if (!openArchive(path, options, console, input))
        return false;
    if (input.sequential()) {
        console.error(input.shownPath() + ": not a regular file; only an archive file can be written again");
        return false;
    }
    return true;
}

std::string untouchedMessage(const ArchiveInput& input)
{
    return input.shownPath() + ": not changed; the old archive is left as it was";
}
namespace {

std::string withReason(const std::string& text, int systemError)
{
    return systemError != 0 ? text + " (" + std::strerror(systemError) + ")" : text;
}

// An old entry's name as shown, between single quotes.
std::string quotedEntry(const EntryNames& names, std::int32_t index)
{
    std::string shown = names.shown(index);
    shown.insert(0, 1, '\'');  // not "'" + string: a false -Wrestrict in g++ 12
    shown += '\'';
    return shown;
}

// Closes the descriptor of the old archive's stored bytes on every way out.
struct HeldFile {
    int fd = -1;
    ~HeldFile()
    {
        if (fd >= 0)
            ::close(fd);
    }
};

}  // namespace

int rewriteArchive(const std::string& path, ArchiveInput& input, const std::vector<RewriteItem>& items,
                   const InputTree* tree, const std::vector<bool>& replacing, const EntryNames& names, Console& console)
{
    const std::string& shown = input.shownPath();
    const std::string untouched = shown + ": not changed; the old archive is left as it was";
    Archive& archive = input.archive();

    // The stored bytes come from the very file the index was read from.
    HeldFile old;
    old.fd = archive.openStoredBytes();
    if (old.fd < 0) {
        console.error(archive.lastError() == ArchiveError::InputChanged
                          ? shown + ": changed by another program while it was read"
                          : shown + ": " + errorMessage(archive.lastError(), archive.systemError()));
        console.error(untouched);
        return ExitFatal;
    }

    ArchiveWriter writer;
    if (!writer.begin(archive.flags(), input.password())) {
        console.error(shown + ": " + errorText(writer.lastError()));
        return ExitFatal;
    }
    std::vector<std::size_t> files;        // tree index of the writer's file n
    std::vector<std::size_t> itemOfEntry;  // item of the writer's entry n
    std::uint64_t totalSize = 0;
    for (std::size_t i = 0; i < items.size(); ++i) {
        const RewriteItem& item = items[i];
        bool planned;
        if (item.entry >= 0) {
            planned = writer.addStored(*archive.entry(item.entry), old.fd, archive.storedOffset(item.entry));
            totalSize += archive.entry(item.entry)->originalSize;
        } else {
            planned = writer.addFile(tree->storedName(item.file), tree->status(item.file));
            files.push_back(item.file);
            totalSize += static_cast<std::uint64_t>(tree->status(item.file).st_size);
        }
        if (!planned) {
            const std::string what = item.entry >= 0 ? quotedEntry(names, item.entry) : quoted(tree->path(item.file));
            console.error(what + ": " + errorText(writer.lastError()));
            console.error(untouched);
            return ExitFatal;
        }
        itemOfEntry.push_back(i);
    }
    writer.setFileOpener([&](std::size_t file) { return tree->open(files[file]); });

    // The output is opened once the plan stands, so a refused plan never
    // leaves anything to clean up.
    ArchiveOutput output;
    if (!output.open(path)) {
        console.error(withReason(shown + ": " + errorText(output.lastError()), output.systemError()));
        console.error(untouched);
        return ExitFatal;
    }

    ProgressLine& progress = console.progress();
    progress.start(totalSize);
    std::size_t current = SIZE_MAX;
    writer.setProgress([&](std::size_t entry, std::uint64_t bytes) {
        if (entry != current) {
            current = entry;
            progress.setEntry(writer.entry(entry).name);
            const RewriteItem& item = items[itemOfEntry[entry]];
            if (console.verbose() && item.entry < 0)
                console.line((replacing[itemOfEntry[entry]] ? "r " : "a ") + displayName(writer.entry(entry).name));
        }
        progress.advance(bytes);
    });
    const bool written = writer.writeTo(output);
    progress.clear();
    if (!written) {
        // An input's fault names the input, an old entry's names the entry,
        // the output's names the archive.
        const ArchiveError error = writer.lastError();
        const std::int64_t failed = writer.failedEntry();
        std::string what = shown;
        if (failed >= 0 && error != ArchiveError::CannotWriteOutput && error != ArchiveError::ArchiveTooLarge) {
            const RewriteItem& item = items[itemOfEntry[static_cast<std::size_t>(failed)]];
            what =
                item.entry >= 0 ? shown + ": entry " + quotedEntry(names, item.entry) : quoted(tree->path(item.file));
        }
        console.error(withReason(what + ": " + errorText(error), writer.systemError()));
        console.error(untouched);
        return ExitFatal;
    }
    return ExitOk;
}

}  // namespace vza::cli
