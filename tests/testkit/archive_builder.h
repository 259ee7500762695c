// SPDX-License-Identifier: MIT
// Test archives: made by the programs' own writer (ArchiveWriter) wherever it
// can make them, and in the library's stored forms (prepareStored,
// EntryTable) with names stored exactly as given, hostile ones included,
// for archives the writer must refuse to make.
// Every call throws std::runtime_error when the library refuses.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace vza::test {

using Bytes = std::vector<std::uint8_t>;

// The password archives are sealed under unless a test names another.
inline const std::string DefaultPassword = "secret";

struct TestEntry {
    TestEntry(std::string name, Bytes data) : name(std::move(name)), data(std::move(data)) {}
    TestEntry(std::string name, std::string_view data) : name(std::move(name)), data(data.begin(), data.end()) {}

    std::string name;  // stored byte for byte: backslashes, "..", NUL and all
    Bytes data;        // the plain contents
};

// Writes an archive of entries at path with ArchiveWriter, as vza create
// would: names are checked (backslashes become slashes; "..", a leading '/'
// and empty names are refused, which throws), each entry compressed and
// sealed as flags say under password. The process-wide key is not touched.
void writeArchive(const std::string& path, const std::vector<TestEntry>& entries, std::uint32_t flags,
                  const std::string& password = DefaultPassword);
// The same for count entries made one at a time by entryAt(i).
void writeArchive(const std::string& path, int count, const std::function<TestEntry(int)>& entryAt, std::uint32_t flags,
                  const std::string& password = DefaultPassword);

// For archives the writer refuses to make: names stored byte for byte as
// given, each entry compressed and sealed as flags say (see prepareStored),
// the process-wide cipher keyed with password first when flags has
// FlagEncrypted. The entries go through a spool file, so a large or
// many-entry archive never holds all its data in memory.
void writeArchiveAsGiven(const std::string& path, const std::vector<TestEntry>& entries, std::uint32_t flags,
                         const std::string& password = DefaultPassword);
void writeArchiveAsGiven(const std::string& path, int count, const std::function<TestEntry(int)>& entryAt,
                         std::uint32_t flags, const std::string& password = DefaultPassword);

// An entry whose stored bytes are given as they are, for damaged entries
// and stored forms the writer would never produce.
struct RawEntry {
    std::string name;
    Bytes stored;
    std::uint32_t originalSize;
};

// Writes an archive of raw entries (the header check still sealed under
// password when flags has FlagEncrypted).
void writeRawArchive(const std::string& path, std::uint32_t flags, const std::vector<RawEntry>& entries,
                     const std::string& password = DefaultPassword);

// File offset of entry index's stored bytes in the archive at path.
std::uint64_t entryOffset(const std::string& path, std::int32_t index, const std::string& password = DefaultPassword);

}  // namespace vza::test
