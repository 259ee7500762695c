// SPDX-License-Identifier: MIT
#include "cli/console.h"

#include <cerrno>
#include <cstdio>
#include <unistd.h>

namespace vza::cli {

Console::Console(Verbosity verbosity)
    : verbosity_(verbosity), stdoutIsTerminal_(isatty(STDOUT_FILENO) == 1),
      progress_(verbosity != Verbosity::Quiet && isatty(STDERR_FILENO) == 1)
{}

void Console::error(const std::string& message)
{
    progress_.clear();
    std::fflush(stdout);
    std::fprintf(stderr, "vza: %s\n", message.c_str());
}

void Console::warning(const std::string& message)
{
    progress_.clear();
    std::fflush(stdout);
    std::fprintf(stderr, "vza: warning: %s\n", message.c_str());
}

void Console::note(const std::string& message)
{
    if (quiet())
        return;
    progress_.clear();
    std::fflush(stdout);
    std::fprintf(stderr, "vza: note: %s\n", message.c_str());
}

void Console::line(const std::string& text)
{
    if (stdoutIsTerminal_)
        progress_.clear();
    std::fwrite(text.data(), 1, text.size(), stdout);
    std::fputc('\n', stdout);
}

void Console::lines(std::string_view text)
{
    if (text.empty())
        return;
    if (stdoutIsTerminal_)
        progress_.clear();
    std::fwrite(text.data(), 1, text.size(), stdout);
}

bool closeStandardOutput(int& error)
{
    errno = 0;
    const bool flushed = std::fflush(stdout) == 0 && !std::ferror(stdout);
    if (!flushed)
        error = errno != 0 ? errno : EIO;
    errno = 0;
    if (std::fclose(stdout) != 0 && flushed) {
        error = errno != 0 ? errno : EIO;
        return false;
    }
    return flushed;
}

}  // namespace vza::cli
