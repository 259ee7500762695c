// SPDX-License-Identifier: MIT
// The command line of vza, parsed into one Options value.
//
// Options may stand before or after the command and its operands; "--" ends
// them, so that a name beginning with '-' can be given.
#pragma once

#include <string>
#include <vector>

#include "vza/archive/names/name_decoding.h"

namespace vza::cli {

enum class Verbosity { Quiet, Normal, Verbose };

struct Options {
    std::string command;                // a name from the command table; "" with --help/--version alone
    std::vector<std::string> operands;  // everything after the command: ARCHIVE, then names or paths
    Verbosity verbosity = Verbosity::Normal;
    std::string passwordFile;                             // --password-file, "" when not given
    std::string outputDir = ".";                          // extract -C
    bool keepExisting = false;                            // extract -n, -k: never replace a file
    bool replaceExisting = false;                         // extract -o: replace files without asking
    unsigned threads = 0;                                 // extract -j: threads writing files, 0 for one per core
    bool toStdout = false;                                // extract -O: the entries' bytes to stdout
    std::vector<std::string> excludes;                    // -x PATTERN, in the order given
    NameEncodingChoice names = NameEncodingChoice::Auto;  // --names: how stored names are read as text
    bool compress = false;                                // create -z
    int level = -1;                                       // create, add -0 ... -9; -1: zlib's default
    bool encrypt = false;                                 // create -e
    bool json = false;                                    // list --json
    bool help = false;                                    // --help / -h
    bool version = false;                                 // --version
};

// Parses argv[1..argc). False with a one-line reason in error when the
// command line is not valid for the command it names.
bool parseArguments(int argc, char** argv, Options& options, std::string& error);

}  // namespace vza::cli
