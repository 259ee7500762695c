// SPDX-License-Identifier: MIT
// Where the password of an archive comes from.
//
// In this order: the environment variable VZA_PASSWORD (when set and not
// empty), the first line of the --password-file, a prompt on the terminal
// with echo off. Never an argument: those are visible to every user of the
// machine through the process list.
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
    std::string password;
    std::string error;
};

// Looks through the sources in order and returns the first password found.
PasswordResult obtainPassword(const PasswordRequest& request);

// The hint added to "no password" errors.
inline constexpr const char* PasswordHint =
    "set VZA_PASSWORD, use --password-file FILE, or run on a terminal to be asked";

}  // namespace vza::cli
