// SPDX-License-Identifier: MIT
// Running the vza binary in a scratch folder; the archives and files it is
// run on come from the test kit.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <sys/types.h>
#include <vector>

#include "testkit/testkit.h"

namespace vza::clitest {

using namespace vza::test;

struct RunResult {
    int status = -1;  // exit status, or -1 when the process did not exit normally
    std::string out;  // its stdout
    std::string err;  // its stderr
};

// Runs vza with args in folder cwd, stdin from /dev/null, in a session of its
// own (so it has no terminal and can never stop at a password prompt). The
// environment holds PATH and env ("NAME=value") only.
RunResult runVza(const std::vector<std::string>& args, const std::string& cwd,
                 const std::vector<std::string>& env = {});

// runVza with no file it writes allowed to grow past maxFileSize bytes
// (RLIMIT_FSIZE, with SIGXFSZ ignored): writes past it fail with EFBIG, as
// on a full disk, but deterministically. With signalDefault, vza starts with
// SIGXFSZ at its default action (killing), as from a shell.
RunResult runVzaWithFileSizeLimit(const std::vector<std::string>& args, const std::string& cwd,
                                  std::uint64_t maxFileSize, bool signalDefault = false,
                                  const std::vector<std::string>& env = {});

// As runVza, calling watch with vza's process id while it runs (e.g. to
// send it a signal); vza is waited for once watch returns.
RunResult runVzaWatched(const std::vector<std::string>& args, const std::string& cwd,
                        const std::vector<std::string>& env, const std::function<void(pid_t)>& watch);

// As runVzaWatched, with vza run as the user nobody through setpriv (which
// replaces itself with vza, so pid is vza's). Only root may do this.
RunResult runVzaAsNobodyWatched(const std::vector<std::string>& args, const std::string& cwd,
                                const std::vector<std::string>& env, const std::function<void(pid_t)>& watch);

// As runVza, with stdin a pipe that is fed input (and then closed) while vza
// runs. vza may stop reading early; the rest is then dropped.
RunResult runVzaPiped(const std::vector<std::string>& args, const std::string& cwd, const std::string& input,
                      const std::vector<std::string>& env = {});

// As runVza, with stdin the file at inputPath opened for reading (as the
// shell's "< file" does).
RunResult runVzaFromFile(const std::vector<std::string>& args, const std::string& cwd, const std::string& inputPath,
                         const std::vector<std::string>& env = {});

// One exchange on the terminal: wait until the output shows prompt, then type reply.
struct TerminalTurn {
    std::string prompt;
    std::string reply;
};

// Runs vza with a new pseudo-terminal as its controlling terminal (and as
// stdin, stdout and stderr), answering its prompts in turn. out holds
// everything the terminal showed.
// env as for runVza.
RunResult runVzaOnTerminal(const std::vector<std::string>& args, const std::string& cwd,
                           const std::vector<TerminalTurn>& turns, const std::vector<std::string>& env = {});

}  // namespace vza::clitest
