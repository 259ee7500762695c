// SPDX-License-Identifier: MIT
// Test archives in the library's own stored forms (prepareStored, EntryTable),
// with names stored exactly as given, hostile ones included; vza create's
// writer (ArchiveWriter) refuses those, so it is tested on its own.
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

// Writes an archive of entries at path: each entry compressed and sealed as
// flags say (see prepareStored), the cipher keyed with password first when
// flags has FlagEncrypted.
void writeArchive(const std::string& path, const std::vector<TestEntry>& entries, std::uint32_t flags,
                  const std::string& password = DefaultPassword);

// The same for count entries made one at a time by entryAt(i), so that a
// large or many-entry archive never holds all its data in memory.
void writeArchive(const std::string& path, int count, const std::function<TestEntry(int)>& entryAt, std::uint32_t flags,
                  const std::string& password = DefaultPassword);

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
