// SPDX-License-Identifier: MIT
// The handle through which programs read an archive.
//
// open() loads the header and index and keeps the file open: entries are read
// from that same file at their offsets each time they are asked for (never by
// the path again, so a file put in the archive's place after open() is never
// read with this index), streamed in ChunkSize blocks, unsealed and inflated
// as the archive's flags say, and checked against their stated sizes. A
// damaged entry is a failure, never silently written out. Several threads may
// read one open Archive at once, each through an EntryReader of its own.
#pragma once

#include <cstdint>
#include <cstdio>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "vza/archive/format/archive_error.h"
#include "vza/archive/format/archive_index.h"
#include "vza/archive/format/data_buffer.h"
#include "vza/archive/fs/file_identity.h"
#include "vza/archive/fs/output_file.h"
#include "vza/archive/read/entry_reader.h"
#include "vza/archive/read/held_secret.h"
#include "vza/codec/blowfish.h"

namespace vza {

class Archive {
public:
    // Copies share the open file; each copy's password and key are wiped
    // from memory when it is reset, assigned over or destroyed.
    Archive();

    // Forgets the loaded archive, wipes its password and key from memory,
    // and lets go of its file; turns the fallback on.
    void reset();

    // Reads and checks the header and index of the archive at path. An
    // encrypted archive's key schedule is built from password and kept in
    // this Archive, which reads its index and every entry with it: the
    // process-wide key (setKey) is neither used nor changed, so several
    // archives may be open at once. The file stays open until the Archive is
    // reset, opened again or destroyed (copies share it). On failure the
    // Archive is left partly changed: reset() it before use.
    bool open(const std::string& path, const std::string& password);

    // Asked for the password of an encrypted archive, in the manner of
    // libarchive's passphrase callback: fills password and returns true, or
    // returns false when there is none to give (the user cancelled, or no
    // password was supplied). It may tell the user why itself.
    using PassphraseCallback = std::function<bool(std::string& password)>;

    enum class OpenOutcome {
        Opened,        // the archive at path is now this Archive's
        NotAnArchive,  // unreadable, or its first 8 bytes are not an archive's
                       // header (what probeFlags reports as 255), or not a
                       // regular file: a folder (EISDIR) or a FIFO, device or
                       // socket (EINVAL) is refused without waiting on it
        NoPassword,    // encrypted, and passphrase gave no password
        Failed,        // the header check or the index failed
    };

    // Opens the archive at path the way both programs do. Reads the header
    // once, through one descriptor; asks passphrase only when the header says
    // the archive is encrypted; loads the index into a fresh Archive and
    // moves that into this one only on success. On any other outcome this
    // Archive keeps the archive it had, and lastError() and systemError()
    // say why (EmptyPassword for NoPassword).
    OpenOutcome openWithPassword(const std::string& path, const PassphraseCallback& passphrase);
    // The same for the file already open as fd (read from its start), which
    // path named: the file is never looked up by path again, so it is the
    // very file the caller holds (and checked, locked or stat'ed). This
    // Archive reads through a duplicate of fd, sharing its file position;
    // the caller keeps fd.
    OpenOutcome openWithPassword(int fd, const std::string& path, const PassphraseCallback& passphrase);

    std::int32_t entryCount() const { return archiveIndex_.entryCount(); }

    // The stored name of entry index, or "" when index is out of range. Like
    // every name entry() gives, a view into this Archive's index: good until
    // the Archive is opened again, reset, assigned to or destroyed (copy the
    // name to keep it longer); hold none across a move.
    std::string_view entryName(std::int32_t index) const;

    // Index of the first entry named name (backslashes read as slashes), or -1.
    std::int32_t find(std::string_view name) const { return archiveIndex_.find(name); }
    bool contains(std::string_view name) const { return find(name) != -1; }

    // The record of entry index (its name a view, as entryName's), or nothing
    // when index is out of range.
    std::optional<EntryView> entry(std::int32_t index) const { return archiveIndex_.entry(index); }
    const ArchiveIndex& archiveIndex() const { return archiveIndex_; }
    std::uint32_t flags() const { return archiveIndex_.flags(); }

    // The path exactly as open() or openWithPassword() was given it;
    // archiveIndex().path() keeps it with backslashes read as slashes.
    const std::string& pathAsGiven() const { return pathAsGiven_; }

    // The file the index was read from, by the descriptor this Archive
    // holds (fstat): whatever its path names now, this is the archive, and
    // a directory entry whose lstat matches it is this file under any name
    // (hard links included). Unknown before a successful open.
    FileIdentity identity() const { return FileIdentity::ofDescriptor(descriptor()); }

    // The symbolic link the archive was opened through, seen when it was
    // opened (unknown when the path's last component was no link).
    const FileIdentity& linkIdentity() const { return link_; }

    // The key schedule this archive was opened with (all zeros when it is
    // not encrypted), for readers that drive an EntryDecoder themselves.
    const CipherState& keySchedule() const { return secret_.key; }

    // The flags word of the file at path, or 255 when it is not an archive.
    // Reads only the first 8 bytes and does not touch this Archive.
    std::int32_t probeFlags(const std::string& path) const;

    // A descriptor on the very file the index was read from (a dup of the
    // one this Archive holds, never opened again by path), to read entries'
    // stored bytes as they are, undecoded (to copy them into another archive
    // with the same flags and password): entry index's lie at
    // storedOffset(index) and run for its storedSize. Read it with pread or
    // explicit offsets: its file position is shared with this Archive's.
    // Returns a descriptor the caller closes, or -1 with lastError
    // CannotOpenArchive (nothing open, or no descriptor left), or
    // InputChanged when the file was written to since the index was read
    // (its size or modification time differ).
    int openStoredBytes();
    std::uint64_t storedOffset(std::int32_t index) const { return archiveIndex_.entryOffset(index); }

    // The reading calls below are for one thread at a time; threads reading
    // one Archive at once each use an EntryReader (entry_reader.h).

    // Reads entry index into buffer as its plain bytes (name and both sizes set).
    bool readEntry(std::int32_t index, DataBuffer& buffer);

    // The plain bytes of the entry named name. When the archive has no such
    // entry and the fallback is on, the disk file named name instead.
    bool readData(const std::string& name, std::vector<std::uint8_t>* bytes);

    // Writes the entry named dataName to fileName (used as given, relative
    // to the working folder), or to safeOutputName(dataName) when fileName is
    // empty. Folders are not made. No symbolic link is followed on any
    // component (a link as the last component is replaced, not written
    // through); a folder, FIFO, device or socket there is refused. The output
    // appears only when the whole entry has been read and checked (see
    // Extractor, which does the work).
    bool extractToFile(const std::string& dataName, const std::string& fileName);

    // Writes entry index to path (used as given); see extractToFile.
    bool extractEntry(std::int32_t index, const std::string& path);

    // Writes the checked plain bytes of entry index into out, which the
    // caller created and commits. Entries stored as they are (no seal, no
    // stream) are copied inside the kernel. progress, when given, hears the
    // number of bytes written by each step and returns false to stop (the
    // call then fails with CannotWriteOutput).
    using Progress = std::function<bool(std::size_t length)>;
    bool writeEntry(std::int32_t index, OutputFile& out, const Progress& progress = {});

    // Reads entry index through sink in pieces of at most ChunkSize bytes,
    // checking it fully; sink returns false to stop (reported as
    // CannotWriteOutput). Memory stays bounded whatever the entry's size.
    using ChunkSink = std::function<bool(const std::uint8_t* data, std::size_t length)>;
    bool streamEntry(std::int32_t index, const ChunkSink& sink);

    void setLooseFileFallback(bool on) { looseFileFallback_ = on; }
    bool looseFileFallback() const { return looseFileFallback_; }

    // Why the last failing operation failed (see archive_error.h).
    ArchiveError lastError() const { return lastError_; }
    int systemError() const { return systemError_; }

private:
    friend class EntryReader;

    bool fail(ArchiveError error, int systemError = 0);
    bool succeed();
    bool openFrom(std::FILE* file, const std::string& path, const std::string& opened, const std::string& password);
    OpenOutcome openOwned(int fd, const std::string& path, const PassphraseCallback& passphrase);
    EntryReader& ownReader();
    bool readerResult(bool ok);
    // The descriptor entries are read from, or -1 before a successful open.
    int descriptor() const { return file_ ? *file_ : -1; }

    // The file the index was read from; copies of this Archive share it, and
    // the last one closes it.
    std::shared_ptr<const int> file_;
    // The reader behind streamEntry and writeEntry, made on first use. It
    // points at this Archive, so a copy or a move starts without one.
    struct OwnReader {
        std::unique_ptr<EntryReader> reader;
        OwnReader() = default;
        OwnReader(const OwnReader&) {}
        OwnReader& operator=(const OwnReader&)
        {
            reader.reset();
            return *this;
        }
    } ownReader_;
    HeldSecret secret_;  // the password and the key schedule made from it
    std::string pathAsGiven_;
    FileIdentity link_;
    ArchiveIndex archiveIndex_;
    bool looseFileFallback_ = true;
    ArchiveError lastError_ = ArchiveError::None;
    int systemError_ = 0;
};

}  // namespace vza
