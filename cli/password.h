// SPDX-License-Identifier: MIT
// Where the password of an archive comes from.
//
// In this order: the environment variable VZA_PASSWORD (when set and not
// empty), the first line of the --password-file, a prompt on the terminal
// with echo off. Never an argument: those are visible to every user of the
// machine through the process list. The environment is visible to the same
// user (and root) in /proc, so the variable is taken out of it at start.
//
// A password is read into a fixed buffer, never a growing string, and each
// copy vza keeps is wiped when it goes; the process is not dumpable (main),
// so no core file holds one.
#pragma once

#include <string>

namespace vza::cli {

struct PasswordRequest {
    std::string passwordFile;  // --password-file, "" when not given
    std::string prompt;        // e.g. "Password for a.vza: "
    bool confirm = false;      // ask twice on the terminal (a new archive)
};

enum class PasswordStatus {
    Found,    // password holds it
    Missing,  // no source had one: no variable, no file, no terminal
    Failed,   // a source was given but failed; error says why
};

struct PasswordResult {
    PasswordStatus status = PasswordStatus::Missing;
    std::string password;  // wiped by the destructor
    std::string error;

    PasswordResult() = default;
    PasswordResult(const PasswordResult&) = default;
    ~PasswordResult();
};

// Call first thing in main: moves VZA_PASSWORD into the program's own
// memory, wipes it in place (explicit_bzero) and unsets it, so that neither
// /proc/PID/environ nor a program started later shows it.
void takePasswordFromEnvironment();

// Overwrites every byte secret has held room for, then empties it.
void wipe(std::string& secret);

// Wipes a local copy of a password on every way out of its scope.
class WipeOnExit {
public:
    explicit WipeOnExit(std::string& secret) : secret_(secret) {}
    ~WipeOnExit() { wipe(secret_); }
    WipeOnExit(const WipeOnExit&) = delete;
    WipeOnExit& operator=(const WipeOnExit&) = delete;

private:
    std::string& secret_;
};

// Looks through the sources in order and returns the first password found.
PasswordResult obtainPassword(const PasswordRequest& request);

// The hint added to "no password" errors.
inline constexpr const char* PasswordHint =
    "set VZA_PASSWORD, use --password-file FILE, or run on a terminal to be asked";

}  // namespace vza::cli
