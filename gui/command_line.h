// SPDX-License-Identifier: MIT
// The command line of vza-extract:
//   vza-extract [--help | --version | FILE]
//   vza-extract --extract-here FILE...   (the file managers' "extract here")
//
// --help and --version are answered before Qt starts, so that they work
// without a display; FILE is taken from the arguments left once Qt has
// removed its own (-platform, -style, ...).
#pragma once

#include <QString>
#include <QStringList>

struct CommandLine {
    enum class Action { Run, ExtractHere, Help, Version, Error };
    Action action = Action::Run;
    QString file;       // the archive to open at start; empty for none
    QStringList files;  // ExtractHere: the archives, in the order given
    QString error;      // the message for Action::Error
};

// Looks only for --help and --version (before any "--"), in raw argv.
CommandLine earlyCommandLine(int argc, char* argv[]);

// Parses the arguments after the program name, as QCoreApplication::arguments()
// gives them without the first. One FILE at most, or with --extract-here
// at least one; "--" ends the options.
CommandLine parseCommandLine(const QStringList& arguments);

// The texts printed for --help and --version.
QString helpText();
QString versionText();
