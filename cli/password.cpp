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

// A password being read: a fixed buffer, never reallocated (a growing string
// would leave copies behind in freed memory), wiped when it goes.
class SecretLine {
public:
    SecretLine() = default;
    ~SecretLine() { explicit_bzero(bytes_, sizeof bytes_); }
    SecretLine(const SecretLine&) = delete;
    SecretLine& operator=(const SecretLine&) = delete;

    // Adds c; false (and nothing added) once the line is longer than a
    // password may be.
    bool add(char c)
    {
        if (size_ > MaxPasswordLength)
            return false;
        bytes_[size_++] = c;
        return true;
    }
    bool tooLong() const { return size_ > MaxPasswordLength; }
    void dropCarriageReturn()
    {
        if (size_ > 0 && bytes_[size_ - 1] == '\r')
            bytes_[--size_] = '\0';
    }
    void clear()
    {
        explicit_bzero(bytes_, size_);
        size_ = 0;
    }
    bool empty() const { return size_ == 0; }
    std::size_t size() const { return size_; }
    bool operator==(const SecretLine& other) const
    {
        return size_ == other.size_ && std::memcmp(bytes_, other.bytes_, size_) == 0;
    }
    // The one string the password lives in from here on, made at its size.
    std::string text() const { return std::string(bytes_, size_); }

private:
    char bytes_[MaxPasswordLength + 2] = {};
    std::size_t size_ = 0;
};

// VZA_PASSWORD, taken out of the environment at start (see
// takePasswordFromEnvironment).
SecretLine& environmentPassword()
{
    static SecretLine secret;
    return secret;
}

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
    // Unbuffered: the stream's own buffer would keep a copy of the line.
    std::setvbuf(file, nullptr, _IONBF, 0);
    SecretLine line;
    int c;
    while ((c = std::fgetc(file)) != EOF && c != '\n' && line.add(static_cast<char>(c))) {
    }
    std::fclose(file);
    result.status = PasswordStatus::Failed;
    line.dropCarriageReturn();
    if (line.tooLong()) {
        result.error = "the first line of the password file is too long";
    } else if (line.empty()) {
        result.error = "the first line of the password file is empty";
    } else {
        result.status = PasswordStatus::Found;
        result.password = line.text();
    }
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
// A longer line than a password may be is cut there, as before.
bool askOnce(int fd, const std::string& prompt, SecretLine& answer)
{
    if (write(fd, prompt.data(), prompt.size()) < 0)
        return false;
    answer.clear();
    char c = 0;
    ssize_t got;
    while ((got = read(fd, &c, 1)) == 1 && c != '\n') {
        if (answer.size() < MaxPasswordLength)
            answer.add(c);
    }
    c = 0;
    (void)!write(fd, "\n", 1);
    answer.dropCarriageReturn();
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

    SecretLine first;
    SecretLine second;
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
    else if (confirm && !(first == second))
        result.error = "the two passwords differ";
    else {
        result.status = PasswordStatus::Found;
        result.password = first.text();
    }
    return result;
}

}  // namespace

void wipe(std::string& secret)
{
    // resize writes zeros up to the capacity; explicit_bzero makes sure the
    // writes are not optimised away.
    secret.resize(secret.capacity());
    explicit_bzero(secret.data(), secret.size());
    secret.clear();
}

PasswordResult::~PasswordResult()
{
    wipe(password);
}

void takePasswordFromEnvironment()
{
    char* variable = std::getenv("VZA_PASSWORD");
    if (variable == nullptr)
        return;
    SecretLine& secret = environmentPassword();
    for (const char* c = variable; *c != '\0' && secret.add(*c); ++c) {
    }
    // In place: /proc/PID/environ shows the environment's original memory.
    explicit_bzero(variable, std::strlen(variable));
    unsetenv("VZA_PASSWORD");
}

PasswordResult obtainPassword(const PasswordRequest& request)
{
    if (const SecretLine& variable = environmentPassword(); !variable.empty()) {
        PasswordResult result;
        result.status = PasswordStatus::Found;
        result.password = variable.text();
        if (variable.tooLong()) {
            result.status = PasswordStatus::Failed;
            result.error = "VZA_PASSWORD is too long";
            wipe(result.password);
        }
        return result;
    }
    if (!request.passwordFile.empty())
        return fromFile(request.passwordFile);
    return fromTerminal(request.prompt, request.confirm);
}

}  // namespace vza::cli
