// SPDX-License-Identifier: MIT
// Where a desktop program puts an archive's entries when the user has not
// chosen a folder. A program started from a launcher or a file manager has
// the home folder as its working folder; writing there would let any archive
// drop .bash_profile or .config/autostart/ files into it. So:
//
//   started from a terminal (standard input or standard error is one):
//       the working folder, where the user typed the command;
//   otherwise: a new folder beside the archive, named after it ("photos"
//       for photos.vza, "photos (2)" when that is taken), made only when
//       the first entry is written;
//   the archive's folder cannot be written: the caller asks the user.
//
// The desktop program and the file manager's "extract here" action both
// decide with these calls, so they put files in the same place.
#pragma once

#include <string>
#include <string_view>

namespace vza {

// True when standard input or standard error is a terminal.
bool startedFromTerminal();

// The folder name for an archive's entries: the file name (what follows the
// last '/') without a final ".vza" in any case. "archive" when nothing, "."
// or ".." would be left.
std::string destinationFolderName(std::string_view archivePath);

// Makes the folder for the archive at archivePath beside it: opens the
// archive's folder once, then mkdirat() with destinationFolderName(), then
// "name (2)", "name (3)", ... while the name is taken (up to "name (999)").
// Nothing that is there already is ever used. On success made is the new
// folder's path (the archive's folder as given, then '/', then the name).
// False with systemError (errno) when the folder cannot be opened or written:
// EACCES, EROFS, ... (the caller then lets the user choose), or EEXIST when
// every name was taken.
bool makeDestinationBeside(const std::string& archivePath, std::string& made, int& systemError);

}  // namespace vza
