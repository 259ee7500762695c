// SPDX-License-Identifier: MIT
// vza: lists, tests, extracts, creates and changes .vza archives from the command line.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <sys/prctl.h>

#include "cli/command_table.h"
#include "cli/commands.h"
#include "cli/console.h"
#include "cli/display_name.h"
#include "cli/help.h"
#include "cli/options.h"
#include "cli/password.h"
#include "cli/process_setup.h"
#include "vza/archive/fs/output_file.h"

namespace {

using namespace vza::cli;

// For the tests: behave as on a file system without O_TMPFILE.
void takeTestSwitches()
{
    if (const char* forced = std::getenv("VZA_TEST_NAMED_TEMPORARIES"); forced && *forced == '1')
        vza::forceNamedTemporaries(true);
}

// A listing (or a help text) cut short by a full disk must not end with
// status 0: standard output is closed and checked on every way out.
int endWith(int status)
{
    int error = 0;
    if (!closeStandardOutput(error)) {
        std::fprintf(stderr, "vza: cannot write to standard output: %s\n", std::strerror(error));
        return ExitFatal;
    }
    return status;
}

int runCommand(const CommandSpec& command, const Options& options)
{
    Console console(options.verbosity);
    const int status = command.run(options, console);
    console.progress().clear();
    return endWith(status);
}

}  // namespace

int main(int argc, char** argv)
{
    // Before any thread starts (see process_setup.h).
    watchSignals();
    raiseDescriptorLimit();
    // No core file, and no other process of the same user reading our
    // memory, while a password may be held: from the start.
    prctl(PR_SET_DUMPABLE, 0);
    takePasswordFromEnvironment();
    initDisplay();
    Options options;
    std::string error;
    if (!parseArguments(argc, argv, options, error)) {
        std::fprintf(stderr, "vza: %s\n%s\n", error.c_str(), UsageHint);
        return ExitFatal;
    }
    if (options.help) {
        std::fputs(options.command.empty() ? generalHelp().c_str() : commandHelp(options.command).c_str(), stdout);
        return endWith(ExitOk);
    }
    if (options.version) {
        std::fputs(versionText().c_str(), stdout);
        return endWith(ExitOk);
    }
    takeTestSwitches();
    return runCommand(*findCommand(options.command), options);
}
