// SPDX-License-Identifier: MIT
// What vza add and vza delete share: opening the archive for a change
// (ArchiveEditor, which plans and writes it) and turning what the editor
// reports into messages.
#pragma once

#include <string>

#include "cli/console.h"
#include "cli/entry_names.h"
#include "cli/options.h"
#include "vza/archive/write/archive_editor.h"

namespace vza::cli {

// Opens the archive at path into editor for a change (verb names the command
// in messages), asking its password when it is encrypted: standard input
// and other streams are refused, since only a file can be replaced. shown
// is set to the archive as messages name it. Returns false after printing why.
bool openForRewrite(const std::string& path, const char* verb, const Options& options, Console& console,
                    ArchiveEditor& editor, std::string& shown);

// The line that ends every failure of add and delete.
std::string untouchedMessage(const std::string& shown);

// Writes the archive editor has planned. With -v, each added file is named
// as "a NAME" or "r NAME" (replaced); old entries are named as names shows
// them. Returns the exit status; on failure the reason has been printed,
// ending with the old archive being left as it was.
int rewriteArchive(ArchiveEditor& editor, const std::string& shown, const EntryNames& names, Console& console);

// What a writer waiting for the archive's lock tells the user: once, and
// only on a terminal; a file system that cannot lock is told wherever.
// shown and console must outlive the notice.
ArchiveLock::Notice lockNotice(const std::string& shown, Console& console);

// text, followed by the system's reason when systemError is not 0.
std::string withReason(const std::string& text, int systemError);

}  // namespace vza::cli
