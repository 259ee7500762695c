// SPDX-License-Identifier: MIT
#include "vza/archive/extract/default_destination.h"

#include <cerrno>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace vza {
namespace {

constexpr int MaxTries = 999;

bool endsWithVza(std::string_view name)
{
    if (name.size() < 4)
        return false;
    const std::string_view tail = name.substr(name.size() - 4);
    const char* want = ".vza";
    for (std::size_t i = 0; i < 4; ++i) {
        const char c = tail[i] >= 'A' && tail[i] <= 'Z' ? char(tail[i] - 'A' + 'a') : tail[i];
        if (c != want[i])
            return false;
    }
    return true;
}

}  // namespace

bool startedFromTerminal()
{
    return ::isatty(STDIN_FILENO) == 1 || ::isatty(STDERR_FILENO) == 1;
}

std::string destinationFolderName(std::string_view archivePath)
{
    const std::size_t slash = archivePath.rfind('/');
    std::string_view name = slash == std::string_view::npos ? archivePath : archivePath.substr(slash + 1);
    if (endsWithVza(name))
        name.remove_suffix(4);
    if (name.empty() || name == "." || name == "..")
        return "archive";
    return std::string(name);
}

bool makeDestinationBeside(const std::string& archivePath, std::string& made, int& systemError)
{
    const std::size_t slash = archivePath.rfind('/');
    const std::string folder = slash == std::string::npos ? std::string(".")
                               : slash == 0               ? std::string("/")
                                                          : archivePath.substr(0, slash);
    // The archive's folder is resolved once; every try is made inside it.
    const int parent = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (parent < 0) {
        systemError = errno;
        return false;
    }
    const std::string base = destinationFolderName(archivePath);
    systemError = EEXIST;
    for (int n = 1; n <= MaxTries; ++n) {
        const std::string name = n == 1 ? base : base + " (" + std::to_string(n) + ")";
        if (::mkdirat(parent, name.c_str(), 0777) == 0) {
            made = (folder == "/" ? std::string() : folder) + "/" + name;
            systemError = 0;
            break;
        }
        if (errno != EEXIST) {
            systemError = errno;
            break;
        }
    }
    ::close(parent);
    return systemError == 0;
}

}  // namespace vza
