// SPDX-License-Identifier: MIT
// The promises the library makes about any file it is asked to read as an
// archive, checked on one file.
//
// Shared by the archive fuzz target and the regression tests that replay its
// findings, so both hold the library to the same rules. Header-only because
// the tests link nothing but the library and their own source.
#pragma once

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

#include "vza/archive/format/format.h"
#include "vza/archive/names/path_components.h"
#include "vza/archive/names/safe_name.h"
#include "vza/archive/read/archive.h"

namespace vza::fuzz {

// The password every fuzzed archive is opened with; the seeds are sealed with it.
inline const std::string FuzzPassword = "secret";

namespace detail {

inline std::vector<std::uint8_t> fileBytes(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

inline std::vector<std::string> listing(const std::string& folder)
{
    std::vector<std::string> names;
    for (const auto& item : std::filesystem::directory_iterator(folder))
        names.push_back(item.path().filename().string());
    return names;
}

// What the name cleaner promises: nothing absolute, no empty, "." or ".."
// component, no backslash.
inline bool staysInside(const std::string& safe)
{
    if (safe.empty())
        return true;
    if (safe.find('\\') != std::string::npos)
        return false;
    // A leading or trailing slash shows as an empty component.
    for (const std::string_view part : splitComponents(safe, Backslash::IsByte)) {
        if (componentKind(part) != ComponentKind::Name)
            return false;
    }
    return true;
}

// Makes folder the working folder for its lifetime.
class WorkingFolder {
public:
    explicit WorkingFolder(const std::string& folder) : previous_(std::filesystem::current_path())
    {
        std::filesystem::current_path(folder);
    }
    ~WorkingFolder() { std::filesystem::current_path(previous_); }
    WorkingFolder(const WorkingFolder&) = delete;
    WorkingFolder& operator=(const WorkingFolder&) = delete;

private:
    std::filesystem::path previous_;
};

}  // namespace detail

// Runs every reading call of the library over the file at path (absolute):
// probe, open with FuzzPassword, listing, readEntry, extractToFile,
// extractEntry and readData of every entry. outDir must be an empty folder (an absolute path);
// extraction writes into it, also as the working folder for calls without an
// output name, and it is empty again on return. Returns a description of the
// first broken promise, or "" when all held.
inline std::string checkArchiveFile(const std::string& path, const std::string& outDir)
{
    namespace fs = std::filesystem;
    using Bytes = std::vector<std::uint8_t>;
    const Bytes file = detail::fileBytes(path);
    const detail::WorkingFolder inOutDir(outDir);

    Archive archive;
    const std::int32_t probed = archive.probeFlags(path);
    const bool hasMagic = file.size() >= 8 && getU32(file.data()) == ArchiveMagic;
    if (probed != (hasMagic ? static_cast<std::int32_t>(getU32(file.data() + 4)) : 255))
        return "probeFlags disagrees with the first 8 bytes";

    if (!archive.open(path, FuzzPassword)) {
        if (archive.lastError() == ArchiveError::None)
            return "open failed without a reason";
        if (file.size() >= HeaderSize && hasMagic && archive.lastError() == ArchiveError::NotAnArchive)
            return "a file with the magic and a whole header reported as not an archive";
        archive.reset();
        if (archive.entryCount() != 0 || !archive.entryName(0).empty())
            return "reset left entries behind";
        return {};
    }
    if (file.size() < HeaderSize || !hasMagic)
        return "open accepted a file without a whole header";

    const std::int32_t count = archive.entryCount();
    if (std::uint64_t(count) * RecordHeaderSize > file.size())
        return "more entries than the file can hold records for";
    if (archive.entry(count) || archive.entry(-1) || !archive.entryName(-1).empty() ||
        !archive.entryName(count).empty())
        return "an index out of range gave an entry";

    // Each entry read into memory: a success must be exactly originalSize
    // bytes and lie wholly inside the file.
    std::vector<std::optional<Bytes>> plain(static_cast<std::size_t>(count));
    for (std::int32_t i = 0; i < count; ++i) {
        const std::optional<EntryView> entry = archive.entry(i);
        if (!entry || archive.entryName(i) != entry->name)
            return "entry and entryName disagree";
        if (!detail::staysInside(safeOutputName(entry->name)))
            return "safeOutputName leaves the output folder";
        DataBuffer buffer;
        if (!archive.readEntry(i, buffer)) {
            if (archive.lastError() == ArchiveError::None)
                return "readEntry failed without a reason";
            continue;
        }
        if (buffer.bytes.size() != entry->originalSize || buffer.info.name != entry->name ||
            buffer.info.originalSize != entry->originalSize)
            return "readEntry succeeded with the wrong size or name";
        // An entry of no stored bytes has nothing to run past the end: the
        // library extracts it even when its offset lies beyond a cut file.
        if (entry->storedSize > 0 && archive.archiveIndex().entryOffset(i) + entry->storedSize > file.size())
            return "readEntry succeeded on an entry that runs past the end of the file";
        plain[static_cast<std::size_t>(i)] = std::move(buffer.bytes);
    }

    // Extraction by name and by index: a success writes exactly the bytes
    // readEntry gave, a failure writes nothing at all.
    const std::string target = outDir + "/out";
    auto checkOutput = [&](bool ok, const std::optional<Bytes>& expected, const char* call) -> std::string {
        const std::vector<std::string> names = detail::listing(outDir);
        if (ok != expected.has_value())
            return std::string(call) + " and readEntry disagree";
        if (!ok)
            return names.empty() ? std::string() : std::string(call) + " failed but left a file";
        if (names != std::vector<std::string>{"out"} || detail::fileBytes(target) != *expected)
            return std::string(call) + " wrote other bytes than readEntry gave";
        fs::remove(target);
        return {};
    };
    for (std::int32_t i = 0; i < count; ++i) {
        const std::string name(archive.entryName(i));
        // A stored name with a backslash is looked up with slashes and may
        // find nothing or another entry: only names without one go by name.
        if (name.find('\\') == std::string::npos) {
            const std::int32_t first = archive.find(name);
            if (first < 0 || first > i || archive.entryName(first) != name)
                return "find does not find the first entry of a stored name";
            const std::optional<Bytes>& expected = plain[static_cast<std::size_t>(first)];
            std::string problem = checkOutput(archive.extractToFile(name, target), expected, "extractToFile");
            if (!problem.empty())
                return problem;

            // Without an output name the entry goes to its cleaned name in the
            // working folder; folders are never created, so a name with one
            // cannot be written.
            const std::string safe = safeOutputName(name);
            const bool written = archive.extractToFile(name, "");
            const std::vector<std::string> names = detail::listing(outDir);
            if (written) {
                if (!expected || safe.empty() || safe.find('/') != std::string::npos)
                    return "extractToFile to the entry's own name succeeded where it cannot";
                if (names != std::vector<std::string>{safe} || detail::fileBytes(outDir + "/" + safe) != *expected)
                    return "extractToFile to the entry's own name wrote something else";
                fs::remove(outDir + "/" + safe);
            } else if (!names.empty()) {
                return "extractToFile to the entry's own name failed but left a file";
            }
            Bytes bytes;
            const bool ok = archive.readData(name, &bytes);
            if (ok != plain[static_cast<std::size_t>(first)].has_value() ||
                (ok && bytes != *plain[static_cast<std::size_t>(first)]))
                return "readData and readEntry disagree";
        }
        std::string problem =
            checkOutput(archive.extractEntry(i, target), plain[static_cast<std::size_t>(i)], "extractEntry");
        if (!problem.empty())
            return problem;
    }

    // A name that is in no entry is refused once the disk fallback is off.
    std::string missing = "\x01missing";
    while (archive.find(missing) != -1)
        missing += 'x';
    archive.setLooseFileFallback(false);
    Bytes none;
    if (archive.readData(missing, &none) || archive.lastError() != ArchiveError::NoSuchEntry)
        return "readData of a missing name did not fail with NoSuchEntry";
    if (archive.extractToFile(missing, target) || !detail::listing(outDir).empty())
        return "extractToFile of a missing name did not fail cleanly";
    return {};
}

}  // namespace vza::fuzz
