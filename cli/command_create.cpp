// SPDX-License-Identifier: MIT
// vza create: packs files and folders into a new archive.
//
// The library finds the inputs (InputTree) and writes the archive
// (ArchiveWriter), streaming each file in pieces; this file turns what they
// report into messages and an exit status. An archive is written only when
// at least one file goes into it, and an existing one is replaced only by a
// complete new one.
#include <cerrno>
#include <cstring>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include "cli/archive_rewrite.h"
#include "cli/commands.h"
#include "cli/display_name.h"
#include "cli/entry_selection.h"
#include "cli/input_notices.h"
#include "cli/password.h"
#include "vza/archive/format/format.h"
#include "vza/archive/write/archive_output.h"
#include "vza/archive/write/archive_writer.h"
#include "vza/archive/write/input_tree.h"

namespace vza::cli {
namespace {

// "-" and /dev/stdout mean standard output, written as a stream whatever it
// is (a pipe, or a file the shell opened), never replaced.
bool meansStdout(const std::string& path)
{
    return path == "-" || path == "/dev/stdout" || path == "/dev/fd/1" || path == "/proc/self/fd/1";
}

// The line that ends a failure: what became of the archive.
std::string untouchedText(bool toStdout, bool archiveExists, const std::string& shownArchive)
{
    return toStdout        ? std::string("the archive on standard output is incomplete")
           : archiveExists ? shownArchive + ": not replaced; the old archive is left as it was"
                           : shownArchive + ": not created";
}

// The new archive's password, with -e; false (reported) when none came.
bool newPassword(const Options& options, Console& console, const std::string& archivePath, std::string& password)
{
    PasswordRequest request;
    request.passwordFile = options.passwordFile;
    request.prompt = "Password for the new archive " + displayName(archivePath) + ": ";
    request.confirm = true;
    const PasswordResult result = obtainPassword(request);
    if (result.status != PasswordStatus::Found) {
        console.error(result.status == PasswordStatus::Missing ? std::string("-e needs a password; ") + PasswordHint
                                                               : result.error);
        return false;
    }
    password = result.password;
    return true;
}

// Walks the operands into tree; -x PATTERN as tar's --exclude: an excluded
// folder is not even walked.
void walkInputs(const Options& options, InputTree& tree)
{
    if (!options.excludes.empty()) {
        tree.setExclude([&options](const std::string& name) {
            for (const std::string& pattern : options.excludes) {
                if (excludesPath(pattern, name))
                    return true;
            }
            return false;
        });
    }
    for (std::size_t i = 1; i < options.operands.size(); ++i)
        tree.add(options.operands[i]);
    tree.finish();
}

// The files go from the walk to the writer's plan one by one, their names
// kept only there from then on; entry i is file i. False (reported) when
// the writer refuses one.
bool planFiles(InputTree& tree, ArchiveWriter& writer, Console& console, std::uint64_t& totalSize)
{
    writer.reserve(tree.count(), static_cast<std::size_t>(tree.namesSize()));
    bool refused = false;
    tree.handOver([&](std::size_t i, const InputTree::StoredName& name, const struct stat& status) {
        if (!writer.addFile(name, status)) {
            console.error(quoted(tree.path(i, name.text())) + ": " + errorText(writer.lastError()));
            refused = true;
            return false;
        }
        totalSize += static_cast<std::uint64_t>(status.st_size);
        return true;
    });
    return !refused;
}

// Writes the planned archive to output with a progress line, naming each
// file with -v (on stderr when the archive itself is on stdout). False
// (reported, ending with untouched) when it fails.
bool writePlanned(ArchiveWriter& writer, ArchiveOutput& output, const InputTree& tree, std::uint64_t totalSize,
                  bool toStdout, const std::string& shownArchive, const std::string& untouched, Console& console)
{
    ProgressLine& progress = console.progress();
    progress.start(totalSize);
    std::size_t current = SIZE_MAX;
    writer.setProgress([&](std::size_t entry, std::uint64_t bytes) {
        if (entry != current) {
            current = entry;
            progress.setEntry(writer.entry(entry).name);
            if (console.verbose() && toStdout)
                console.error("a " + displayName(writer.entry(entry).name));
            else if (console.verbose())
                console.line("a " + displayName(writer.entry(entry).name));
        }
        progress.advance(bytes);
    });
    const bool written = writer.writeTo(output);
    progress.clear();
    if (written)
        return true;
    // An input's fault names the input; the output's names the archive.
    const ArchiveError error = writer.lastError();
    const bool inputFault = error == ArchiveError::CannotReadInput || error == ArchiveError::InputChanged;
    const std::int64_t failed = writer.failedEntry();
    const std::size_t entry = static_cast<std::size_t>(failed);
    const std::string what =
        inputFault && failed >= 0 ? quoted(tree.path(entry, writer.entry(entry).name)) : shownArchive;
    console.error(withReason(what + ": " + errorText(error), writer.systemError()));
    console.error(untouched);
    return false;
}

}  // namespace

int runCreate(const Options& options, Console& console)
{
    const std::string& archivePath = options.operands.front();
    const std::string shownArchive = displayName(archivePath);
    const bool toStdout = meansStdout(archivePath);
    if (toStdout && ::isatty(STDOUT_FILENO)) {
        console.error("an archive is not written to a terminal; redirect standard output to a file or a pipe");
        return ExitFatal;
    }
    struct stat existing {};
    const bool archiveExists = toStdout ? ::fstat(STDOUT_FILENO, &existing) == 0 && S_ISREG(existing.st_mode)
                                        : existingOutput(archivePath, existing);

    // The output is opened first: an archive that cannot be written is
    // refused before a single input is read. An archive replaced is locked
    // against vza add and delete meanwhile.
    ArchiveOutput output;
    if (!(toStdout ? output.openStream(STDOUT_FILENO) : output.open(archivePath, lockNotice(shownArchive, console)))) {
        console.error(withReason(shownArchive + ": " + errorText(output.lastError()), output.systemError()));
        return ExitFatal;
    }
    // Asked first, as zip does, so that the user is not kept waiting for
    // the prompt while a large tree is walked.
    std::string password;
    if (options.encrypt && !newPassword(options, console, archivePath, password))
        return ExitFatal;

    int problems = 0;
    InputTree tree([&](const InputTree::Notice& notice) { problems += reportInputNotice(console, notice) ? 1 : 0; });
    if (archiveExists)
        tree.skip(existing);
    struct stat beingWritten {};
    if (::fstat(output.descriptor(), &beingWritten) == 0 && S_ISREG(beingWritten.st_mode))
        tree.skip(beingWritten);
    walkInputs(options, tree);
    const std::string untouched = untouchedText(toStdout, archiveExists, shownArchive);
    const std::uint32_t flags = (options.compress ? FlagCompressed : 0) | (options.encrypt ? FlagEncrypted : 0);
    ArchiveWriter writer;
    if (!writer.begin(flags, password)) {
        console.error(shownArchive + ": " + errorText(writer.lastError()));
        return ExitFatal;
    }
    writer.setLevel(options.level);
    std::uint64_t totalSize = 0;
    if (!planFiles(tree, writer, console, totalSize)) {
        console.error(toStdout ? shownArchive + ": not written" : untouched);
        return ExitFatal;
    }
    // An archive with nothing in it would only hide that every input failed
    // (and replace a good one): none is written.
    if (writer.entryCount() == 0) {
        console.error("nothing to add; " + quoted(archivePath) +
                      (archiveExists && !toStdout ? " left as it was" : " not created"));
        return ExitPartial;
    }
    writer.setFileOpener([&](std::size_t file) { return tree.open(file, writer.entry(file).name); });
    if (!writePlanned(writer, output, tree, totalSize, toStdout, shownArchive, untouched, console))
        return ExitFatal;
    return problems == 0 ? ExitOk : ExitPartial;
}

}  // namespace vza::cli
