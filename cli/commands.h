// SPDX-License-Identifier: MIT
// The handlers of vza's commands, one per entry of the command table
// (command_table.cpp). Each runs to the end and returns the exit status.
#pragma once

#include "cli/console.h"
#include "cli/options.h"

namespace vza::cli {

enum ExitStatus : int {
    ExitOk = 0,       // everything was done
    ExitPartial = 1,  // some entries failed or were skipped; the others were done
    ExitFatal = 2,    // usage error, or the archive cannot be opened or written
};

// vza list ARCHIVE: one line per entry, then the totals.
int runList(const Options& options, Console& console);

// vza test ARCHIVE: reads and checks every entry, OK or FAILED for each.
int runTest(const Options& options, Console& console);

// vza extract ARCHIVE [-C DIR] [-k] [NAME|PATTERN...]
int runExtract(const Options& options, Console& console);

// vza create ARCHIVE [-z] [-e] PATH...
int runCreate(const Options& options, Console& console);

// vza add ARCHIVE FILE...: adds files to an archive or replaces entries.
int runAdd(const Options& options, Console& console);

// vza delete ARCHIVE NAME|PATTERN...: removes entries from an archive.
int runDelete(const Options& options, Console& console);

// vza help [COMMAND]: the overview, or one command's help, on stdout.
int runHelp(const Options& options, Console& console);

}  // namespace vza::cli
