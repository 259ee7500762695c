// SPDX-License-Identifier: MIT
#include "cli/cli_harness.h"

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <functional>
#include <poll.h>
#include <pty.h>
#include <spawn.h>
#include <stdexcept>
#include <sys/ioctl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace vza::clitest {

namespace {

// The whole contents of a file the child wrote; closes it.
std::string readAll(std::FILE* file)
{
    std::string text;
    std::rewind(file);
    char block[4096];
    std::size_t got;
    while ((got = std::fread(block, 1, sizeof block, file)) > 0)
        text.append(block, got);
    std::fclose(file);
    return text;
}

// The null-terminated array of C strings that exec and spawn take.
std::vector<char*> pointersTo(std::vector<std::string>& strings)
{
    std::vector<char*> pointers;
    for (std::string& text : strings)
        pointers.push_back(text.data());
    pointers.push_back(nullptr);
    return pointers;
}

}  // namespace

namespace {

// Runs vza with stdin from inputFd (or /dev/null when it is -1), started
// through the programs in prefix (e.g. setpriv and its arguments) when given.
RunResult spawnVza(const std::vector<std::string>& args, const std::string& cwd, const std::vector<std::string>& env,
                   int inputFd, const std::function<void(pid_t)>& whileRunning,
                   const std::vector<std::string>& prefix = {})
{
    // Unnamed files, so that nothing appears in the folders the tests look at.
    std::FILE* outFile = std::tmpfile();
    std::FILE* errFile = std::tmpfile();
    if (outFile == nullptr || errFile == nullptr)
        throw std::runtime_error("tmpfile failed");
    std::vector<std::string> argStrings(prefix);
    argStrings.push_back(VZA_BINARY);
    argStrings.insert(argStrings.end(), args.begin(), args.end());
    std::vector<char*> argv = pointersTo(argStrings);
    std::vector<std::string> envStrings{"PATH=/usr/bin:/bin"};
    envStrings.insert(envStrings.end(), env.begin(), env.end());
    std::vector<char*> envp = pointersTo(envStrings);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (inputFd < 0)
        posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    else
        posix_spawn_file_actions_adddup2(&actions, inputFd, 0);
    posix_spawn_file_actions_adddup2(&actions, fileno(outFile), 1);
    posix_spawn_file_actions_adddup2(&actions, fileno(errFile), 2);
    posix_spawn_file_actions_addchdir_np(&actions, cwd.c_str());
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSID);

    RunResult result;
    pid_t pid = 0;
    const int spawned = posix_spawn(&pid, argv[0], &actions, &attributes, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
    if (spawned != 0) {
        std::fclose(outFile);
        std::fclose(errFile);
        throw std::runtime_error("cannot start " + std::string(VZA_BINARY));
    }
    if (whileRunning)
        whileRunning(pid);
    int status = 0;
    waitpid(pid, &status, 0);
    if (WIFEXITED(status))
        result.status = WEXITSTATUS(status);
    result.out = readAll(outFile);
    result.err = readAll(errFile);
    return result;
}

}  // namespace

RunResult runVzaWithFileSizeLimit(const std::vector<std::string>& args, const std::string& cwd,
                                  std::uint64_t maxFileSize, bool signalDefault, const std::vector<std::string>& env)
{
    // The child inherits both the ignored signal and the limit; the limit is
    // lowered only around the spawn, so the test itself writes freely. The
    // signal stays ignored here (the test's own writes never pass the limit);
    // a spawned child gets the default only when asked.
    std::signal(SIGXFSZ, signalDefault ? SIG_DFL : SIG_IGN);
    rlimit saved{};
    getrlimit(RLIMIT_FSIZE, &saved);
    rlimit lowered = saved;
    lowered.rlim_cur = static_cast<rlim_t>(maxFileSize);
    if (setrlimit(RLIMIT_FSIZE, &lowered) != 0)
        throw std::runtime_error("setrlimit failed");
    RunResult result;
    try {
        result = runVza(args, cwd, env);
    } catch (...) {
        setrlimit(RLIMIT_FSIZE, &saved);
        throw;
    }
    setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, SIG_IGN);
    return result;
}

RunResult runVza(const std::vector<std::string>& args, const std::string& cwd, const std::vector<std::string>& env)
{
    return spawnVza(args, cwd, env, -1, {});
}

RunResult runVzaWatched(const std::vector<std::string>& args, const std::string& cwd,
                        const std::vector<std::string>& env, const std::function<void(pid_t)>& watch)
{
    return spawnVza(args, cwd, env, -1, watch);
}

RunResult runVzaAsNobodyWatched(const std::vector<std::string>& args, const std::string& cwd,
                                const std::vector<std::string>& env, const std::function<void(pid_t)>& watch)
{
    return spawnVza(args, cwd, env, -1, watch,
                    {"/usr/bin/setpriv", "--reuid=nobody", "--regid=nogroup", "--clear-groups", "--"});
}

RunResult runVzaPiped(const std::vector<std::string>& args, const std::string& cwd, const std::string& input,
                      const std::vector<std::string>& env)
{
    int ends[2];
    if (pipe2(ends, O_CLOEXEC) != 0)
        throw std::runtime_error("pipe failed");
    // A reader that stops early must not kill the test with SIGPIPE.
    std::signal(SIGPIPE, SIG_IGN);
    RunResult result = spawnVza(args, cwd, env, ends[0], [&](pid_t) {
        close(ends[0]);
        std::size_t done = 0;
        while (done < input.size()) {
            const ssize_t wrote = write(ends[1], input.data() + done, input.size() - done);
            if (wrote <= 0)
                break;
            done += static_cast<std::size_t>(wrote);
        }
        close(ends[1]);
    });
    return result;
}

RunResult runVzaFromFile(const std::vector<std::string>& args, const std::string& cwd, const std::string& inputPath,
                         const std::vector<std::string>& env)
{
    const int fd = open(inputPath.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        throw std::runtime_error("cannot open " + inputPath);
    RunResult result;
    try {
        result = spawnVza(args, cwd, env, fd, {});
    } catch (...) {
        close(fd);
        throw;
    }
    close(fd);
    return result;
}

RunResult runVzaOnTerminal(const std::vector<std::string>& args, const std::string& cwd,
                           const std::vector<TerminalTurn>& turns, const std::vector<std::string>& env)
{
    int master = -1;
    int slave = -1;
    if (openpty(&master, &slave, nullptr, nullptr, nullptr) != 0)
        throw std::runtime_error("openpty failed");
    std::vector<std::string> argStrings{VZA_BINARY};
    argStrings.insert(argStrings.end(), args.begin(), args.end());
    std::vector<char*> argv = pointersTo(argStrings);
    std::vector<std::string> envStrings{"PATH=/usr/bin:/bin"};
    envStrings.insert(envStrings.end(), env.begin(), env.end());
    std::vector<char*> envp = pointersTo(envStrings);

    const pid_t pid = fork();
    if (pid == 0) {
        setsid();
        ioctl(slave, TIOCSCTTY, 0);
        dup2(slave, 0);
        dup2(slave, 1);
        dup2(slave, 2);
        close(master);
        close(slave);
        if (chdir(cwd.c_str()) == 0)
            execve(argv[0], argv.data(), envp.data());
        _exit(127);
    }
    close(slave);
    RunResult result;
    std::size_t turn = 0;
    std::size_t searchFrom = 0;
    for (;;) {
        pollfd ready{master, POLLIN, 0};
        if (poll(&ready, 1, 10000) <= 0)
            break;  // the program hangs: give up, the test fails on the status
        char block[4096];
        const ssize_t got = read(master, block, sizeof block);
        if (got <= 0)
            break;  // EIO once the program has closed the terminal
        result.out.append(block, static_cast<std::size_t>(got));
        if (turn < turns.size()) {
            const std::size_t found = result.out.find(turns[turn].prompt, searchFrom);
            if (found != std::string::npos) {
                const std::string line = turns[turn].reply + "\n";
                if (write(master, line.data(), line.size()) < 0)
                    break;
                searchFrom = found + turns[turn].prompt.size();
                ++turn;
            }
        }
    }
    close(master);
    int status = 0;
    if (waitpid(pid, &status, WNOHANG) == 0) {
        kill(pid, SIGKILL);
        waitpid(pid, &status, 0);
    }
    if (WIFEXITED(status))
        result.status = WEXITSTATUS(status);
    return result;
}

}  // namespace vza::clitest
