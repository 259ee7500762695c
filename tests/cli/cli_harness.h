// Running the vza binary in a scratch folder, and building the archives it
// is run on.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace vza::clitest {

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

// As runVza, with stdin a pipe that is fed input (and then closed) while vza
// runs. vza may stop reading early; the rest is then dropped.
RunResult runVzaPiped(const std::vector<std::string>& args, const std::string& cwd, const std::string& input,
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

struct TestEntry {
    std::string name;  // stored exactly, backslashes and all
    std::string data;
};

// Writes an archive with the library's writer: prepareStored for each entry,
// keyed with password first when flags has FlagEncrypted.
void writeArchive(const std::string& path, const std::vector<TestEntry>& entries, std::uint32_t flags,
                  const std::string& password = "");

// File offset of entry index's stored bytes in the archive at path.
std::uint64_t entryOffset(const std::string& path, std::int32_t index, const std::string& password = "");

std::string readFile(const std::string& path);
void writeFile(const std::string& path, const std::string& data);

// Every path under root, relative, sorted; folders end in '/', links in '@'.
std::vector<std::string> listTree(const std::string& root);

// Bytes that compress well but are not all alike.
std::string compressible(std::size_t length, unsigned seed);

// A fresh folder under TMPDIR, removed (without following links) at the end.
class ScratchDir {
public:
    ScratchDir();
    ~ScratchDir();
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;
    const std::string& path() const { return path_; }
    std::string operator/(const std::string& relative) const { return path_ + "/" + relative; }

private:
    std::string path_;
};

}  // namespace vza::clitest
