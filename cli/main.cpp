// vza: lists, tests, extracts and creates .vza archives from the command line.
#include <cstdio>
#include <string>

#include "cli/command_table.h"
#include "cli/commands.h"
#include "cli/console.h"
#include "cli/display_name.h"
#include "cli/help.h"
#include "cli/options.h"

namespace {

using namespace vza::cli;

int runCommand(const CommandSpec& command, const Options& options)
{
    Console console(options.verbosity);
    int status = command.run(options, console);
    console.progress().clear();
    // A listing cut short by a full disk must not end with status 0.
    if (std::fflush(stdout) != 0 || std::ferror(stdout)) {
        console.error("cannot write to standard output");
        status = ExitFatal;
    }
    return status;
}

}  // namespace

int main(int argc, char** argv)
{
    initDisplay();
    Options options;
    std::string error;
    if (!parseArguments(argc, argv, options, error)) {
        std::fprintf(stderr, "vza: %s\n%s\n", error.c_str(), UsageHint);
        return ExitFatal;
    }
    if (options.help) {
        std::fputs(options.command.empty() ? generalHelp().c_str() : commandHelp(options.command).c_str(), stdout);
        return ExitOk;
    }
    if (options.version) {
        std::fputs(versionText().c_str(), stdout);
        return ExitOk;
    }
    return runCommand(*findCommand(options.command), options);
}
