#include "cli/cli_harness.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <functional>
#include <poll.h>
#include <pty.h>
#include <spawn.h>
#include <sys/ioctl.h>
#include <stdexcept>
#include <csignal>
#include <sys/wait.h>
#include <unistd.h>

#include "archive/archive.h"
#include "archive/archive_writer.h"
#include "archive/data_buffer.h"
#include "archive/format.h"
#include "codec/blowfish.h"

namespace vza::clitest {

namespace fs = std::filesystem;

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

// Runs vza with stdin from inputFd (or /dev/null when it is -1).
RunResult spawnVza(const std::vector<std::string>& args, const std::string& cwd, const std::vector<std::string>& env,
                   int inputFd, const std::function<void()>& whileRunning)
{
    // Unnamed files, so that nothing appears in the folders the tests look at.
    std::FILE* outFile = std::tmpfile();
    std::FILE* errFile = std::tmpfile();
    if (outFile == nullptr || errFile == nullptr)
        throw std::runtime_error("tmpfile failed");
    std::vector<std::string> argStrings{VZA_BINARY};
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
        whileRunning();
    int status = 0;
    waitpid(pid, &status, 0);
    if (WIFEXITED(status))
        result.status = WEXITSTATUS(status);
    result.out = readAll(outFile);
    result.err = readAll(errFile);
    return result;
}

}  // namespace

RunResult runVza(const std::vector<std::string>& args, const std::string& cwd, const std::vector<std::string>& env)
{
    return spawnVza(args, cwd, env, -1, {});
}

RunResult runVzaPiped(const std::vector<std::string>& args, const std::string& cwd, const std::string& input,
                      const std::vector<std::string>& env)
{
    int ends[2];
    if (pipe2(ends, O_CLOEXEC) != 0)
        throw std::runtime_error("pipe failed");
    // A reader that stops early must not kill the test with SIGPIPE.
    std::signal(SIGPIPE, SIG_IGN);
    RunResult result = spawnVza(args, cwd, env, ends[0], [&] {
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

void writeArchive(const std::string& path, const std::vector<TestEntry>& entries, std::uint32_t flags,
                  const std::string& password)
{
    if (flags & FlagEncrypted)
        setKey(reinterpret_cast<const std::uint8_t*>(password.data()), password.size());
    ArchiveWriter writer;
    if (!writer.begin(path))
        throw std::runtime_error("cannot begin " + path);
    for (const TestEntry& entry : entries) {
        DataBuffer buffer;
        buffer.assign(entry.data.data(), entry.data.size());
        buffer.info.name = entry.name;
        if (!prepareStored(buffer, flags) || !writer.add(buffer))
            throw std::runtime_error("cannot add " + entry.name);
    }
    if (!writer.finish(flags))
        throw std::runtime_error("cannot finish " + path);
}

std::uint64_t entryOffset(const std::string& path, std::int32_t index, const std::string& password)
{
    Archive archive;
    if (!archive.open(path, password))
        throw std::runtime_error("cannot open " + path);
    return archive.archiveIndex().entryOffset(index);
}

std::string readFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void writeFile(const std::string& path, const std::string& data)
{
    fs::create_directories(fs::path(path).parent_path());
    std::ofstream(path, std::ios::binary | std::ios::trunc) << data;
}

std::vector<std::string> listTree(const std::string& root)
{
    std::vector<std::string> paths;
    for (auto it = fs::recursive_directory_iterator(root); it != fs::recursive_directory_iterator(); ++it) {
        std::string relative = it->path().lexically_relative(root).string();
        if (it->is_symlink())
            relative += '@';
        else if (it->is_directory())
            relative += '/';
        paths.push_back(relative);
    }
    std::sort(paths.begin(), paths.end());
    return paths;
}

std::string compressible(std::size_t length, unsigned seed)
{
    std::string text;
    while (text.size() < length)
        text += "line " + std::to_string(seed++ % 97) + " of some fairly repetitive text\n";
    text.resize(length);
    return text;
}

ScratchDir::ScratchDir()
{
    const char* base = std::getenv("TMPDIR");
    std::string pattern = std::string(base != nullptr && *base != '\0' ? base : "/tmp") + "/vza-cli-XXXXXX";
    if (mkdtemp(pattern.data()) == nullptr)
        throw std::runtime_error("mkdtemp failed");
    path_ = pattern;
}

ScratchDir::~ScratchDir()
{
    std::error_code ignored;
    fs::remove_all(path_, ignored);
}

}  // namespace vza::clitest
