// SPDX-License-Identifier: MIT
// The texts of --help, help COMMAND and --version.
#pragma once

#include <string>

namespace vza::cli {

// The overview of every command, for "vza --help" and "vza help".
std::string generalHelp();

// The help of one command ("list", "test", "extract", "create").
std::string commandHelp(const std::string& command);

// "vza VERSION".
std::string versionText();

// The short hint added to a usage error.
inline constexpr const char* UsageHint = "Try 'vza --help' for more information.";

}  // namespace vza::cli
