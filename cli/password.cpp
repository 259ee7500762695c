// SPDX-License-Identifier: MIT
#include "cli/password.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

namespace vza::cli {
namespace {

// Longer lines are refused rather than read on without end (a password file
// pointing at /dev/zero must not eat the memory).
constexpr std::size_t MaxPasswordLength = 4096;

// The first line of path, without its line end (LF or CR LF).
PasswordResult fromFile(const std::string& path)
{
    PasswordResult result;
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) {
        result.status = PasswordStatus::Failed;
        result.error = "cannot read password file: " + std::string(std::strerror(errno));
        return result;
    }
    std::string line;
    int c;
    while ((c = std::fgetc(file)) != EOF && c != '\n' && line.size() <= MaxPasswordLength)
        line += static_cast<char>(c);
    std::fclose(file);
    if (line.size() > MaxPasswordLength) {
        result.status = PasswordStatus::Failed;
        result.error = "the first line of the password file is too long";
        return result;
    }
    if (!line.empty() && line.back() == '\r')
        line.pop_back();
    if (line.empty()) {
        result.status = PasswordStatus::Failed;
        result.error = "the first line of the password file is empty";
        return result;
    }
    result.status = PasswordStatus::Found;
    result.password = line;
    return result;
}

// The terminal's settings while echo is off, restored by the signal handler
// when the user interrupts the prompt.
int terminalFd = -1;
termios savedSettings{};

extern "C" void restoreTerminalAndDie(int signal)
{
    tcsetattr(terminalFd, TCSAFLUSH, &savedSettings);
    std::signal(signal, SIG_DFL);
    std::raise(signal);
}

// Shows prompt and reads one line with echo off. False when no line came.
bool askOnce(int fd, const std::string& prompt, std::string& answer)
{
    if (write(fd, prompt.data(), prompt.size()) < 0)
        return false;
    answer.clear();
    char c;
    ssize_t got;
    while ((got = read(fd, &c, 1)) == 1 && c != '\n') {
        if (answer.size() < MaxPasswordLength)
            answer += c;
    }
    (void)!write(fd, "\n", 1);
    if (!answer.empty() && answer.back() == '\r')
        answer.pop_back();
    return got == 1;
}

PasswordResult fromTerminal(const std::string& prompt, bool confirm)
{
    PasswordResult result;
    const int fd = open("/dev/tty", O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (fd < 0)
        return result;  // no controlling terminal: Missing
    termios settings{};
    if (tcgetattr(fd, &settings) != 0) {
        close(fd);
        return result;
    }
    terminalFd = fd;
    savedSettings = settings;
    auto oldInt = std::signal(SIGINT, restoreTerminalAndDie);
    auto oldTerm = std::signal(SIGTERM, restoreTerminalAndDie);
    auto oldHup = std::signal(SIGHUP, restoreTerminalAndDie);
    settings.c_lflag &= ~static_cast<tcflag_t>(ECHO);
    settings.c_lflag |= ICANON;
    tcsetattr(fd, TCSAFLUSH, &settings);

    std::string first;
    std::string second;
    bool ok = askOnce(fd, prompt, first);
    if (ok && confirm)
        ok = askOnce(fd, "Repeat the password: ", second);

    tcsetattr(fd, TCSAFLUSH, &savedSettings);
    std::signal(SIGINT, oldInt);
    std::signal(SIGTERM, oldTerm);
    std::signal(SIGHUP, oldHup);
    close(fd);
    terminalFd = -1;

    result.status = PasswordStatus::Failed;
    if (!ok)
        result.error = "no password was entered";
    else if (first.empty())
        result.error = "the password is empty";
    else if (confirm && first != second)
        result.error = "the two passwords differ";
    else {
        result.status = PasswordStatus::Found;
        result.password = first;
    }
    return result;
}

}  // namespace

PasswordResult obtainPassword(const PasswordRequest& request)
{
    const char* variable = std::getenv("VZA_PASSWORD");
    if (variable != nullptr && *variable != '\0') {
        PasswordResult result;
        result.status = PasswordStatus::Found;
        result.password = variable;
        return result;
    }
    if (!request.passwordFile.empty())
        return fromFile(request.passwordFile);
    return fromTerminal(request.prompt, request.confirm);
}

}  // namespace vza::cli
