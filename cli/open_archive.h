// SPDX-License-Identifier: MIT
// Opening the archive a command reads, with its password when needed.
//
// A regular file is opened for random access (Archive). Anything else that
// can be read, "-" for standard input, a pipe, a FIFO or a process
// substitution such as <(...), is read once, front to back
// (SequentialArchive): such an input cannot be read a second time.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "cli/console.h"
#include "cli/options.h"
#include "vza/archive/read/archive.h"
#include "vza/archive/read/sequential_archive.h"

namespace vza::cli {

class ArchiveInput {
public:
    ArchiveInput() = default;
    ~ArchiveInput();
    ArchiveInput(const ArchiveInput&) = delete;
    ArchiveInput& operator=(const ArchiveInput&) = delete;

    // True when the archive is read in one pass: entries must then be read
    // in index order, each at most once.
    bool sequential() const { return sequential_; }

    const EntryTable& entryTable() const;
    std::int32_t entryCount() const { return entryTable().count(); }
    std::optional<EntryView> entry(std::int32_t index) const { return entryTable().at(index); }
    std::uint32_t flags() const { return entryTable().flags(); }

    // Reads entry index through sink, checked (see Archive::streamEntry).
    bool streamEntry(std::int32_t index, const Archive::ChunkSink& sink);
    ArchiveError lastError() const { return sequential_ ? stream_.lastError() : archive_.lastError(); }
    int systemError() const { return sequential_ ? stream_.systemError() : archive_.systemError(); }

    // The random-access archive; only when !sequential().
    Archive& archive() { return archive_; }
    // The archive read in one pass; only when sequential().
    SequentialArchive& stream() { return stream_; }

    // The archive as given on the command line, made safe to print ("-"
    // is shown as "standard input").
    const std::string& shownPath() const { return shownPath_; }

    // The password the archive was opened with ("" when it is not
    // encrypted), for a command that writes it again under the same one.
    const std::string& password() const { return password_; }

private:
    friend bool openArchive(const std::string&, const Options&, Console&, ArchiveInput&);

    bool sequential_ = false;
    int fd_ = -1;  // the sequential input, closed at the end unless it is stdin
    bool ownsFd_ = false;
    Archive archive_;
    SequentialArchive stream_;
    std::string shownPath_;
    std::string password_;
};

// Opens path ("-": standard input) into input: reads its flags, obtains the
// password when it is encrypted (see password.h) and loads the index. On
// failure prints why, naming the file and the reason ("vza: a.vza: cannot
// open: No such file or directory", "vza: a.vza: wrong password or damaged
// header"), and returns false.
bool openArchive(const std::string& path, const Options& options, Console& console, ArchiveInput& input);

// Asks for the password of the encrypted archive shown as shown (see
// password.h); false, after printing why, when none came.
bool askArchivePassword(const std::string& shown, const Options& options, Console& console, std::string& password);

}  // namespace vza::cli
