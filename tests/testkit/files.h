// SPDX-License-Identifier: MIT
// Reading and writing whole files, and looking at what a run left behind.
// Every call throws std::runtime_error when the file system refuses, so a
// test fails at the cause rather than later on empty data.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace vza::test {

using Bytes = std::vector<std::uint8_t>;

// The whole file as bytes or as a string.
Bytes readBytes(const std::string& path);
std::string readFile(const std::string& path);

// Replaces the file's contents; writeFile also creates missing parent folders.
void writeBytes(const std::string& path, const Bytes& bytes);
void writeFile(const std::string& path, std::string_view data);

// Whether anything (a dangling link too) is at path.
bool fileExists(const std::string& path);

// Every path under root, relative and sorted; folders end in '/', symbolic
// links in '@' (and are not followed).
std::vector<std::string> listTree(const std::string& root);

}  // namespace vza::test
