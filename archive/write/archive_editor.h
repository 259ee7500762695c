// SPDX-License-Identifier: MIT
// Changing an archive that exists: entries added, replaced or removed.
//
// An editor is used in three steps: open() the archive, plan the new archive
// (planAdd(), planDelete()), then write(). The new archive has the old one's
// flags (bits 2 and 4 only: other bits have no meaning, and a rewritten
// header drops them, as a new archive has none) and the old one's password,
// asked for once. Entries kept are copied as their stored bytes, never decoded
// and encoded again; new files are read, compressed and sealed as
// ArchiveWriter does for a new archive.
//
// The archive is the file the path named when open() ran, and only that file
// is replaced: the path is resolved once (a symbolic link at it followed, as
// the user meant it), its folder held open, and the archive opened and
// locked through it once (see ArchiveLock: a second editor of the same
// archive waits, then reads what the first one wrote), then read through
// that very descriptor, never looked up by path again. write() builds the new archive beside
// the old one and swaps it in only when it is complete and the name still
// leads to the very file that was read (see ArchiveOutput::openReplacing):
// on any failure the old archive stays byte for byte as it was.
//
// A path is used as given: "a\b.vza" is a file whose name holds a backslash.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "vza/archive/format/archive_error.h"
#include "vza/archive/names/name_decoding.h"
#include "vza/archive/read/archive.h"
#include "vza/archive/write/archive_lock.h"
#include "vza/archive/write/archive_writer.h"
#include "vza/archive/write/input_tree.h"

namespace vza {

class ArchiveEditor {
public:
    ArchiveEditor();
    ~ArchiveEditor();
    ArchiveEditor(const ArchiveEditor&) = delete;
    ArchiveEditor& operator=(const ArchiveEditor&) = delete;

    enum class OpenOutcome {
        Opened,        // read and locked
        CannotOpen,    // no such file, or it cannot be opened (systemError)
        IsFolder,      // a folder is at the path
        NotRegular,    // a pipe, device or socket: it could not be replaced
        NotAnArchive,  // as Archive::openWithPassword says (lastError)
        NoPassword,    // encrypted, and passphrase gave no password
        Failed,        // the header or index is damaged, or the password wrong (lastError)
    };

    // Opens the archive at path for changing it. passphrase is asked at most
    // once, and only for an encrypted archive. notice hears about waiting
    // for another program's lock and about file systems that cannot lock.
    OpenOutcome open(const std::string& path, const Archive::PassphraseCallback& passphrase,
                     const ArchiveLock::Notice& notice = {});

    // The archive as read (valid after open() succeeded), and its password
    // ("" when it is not encrypted).
    const Archive& archive() const { return archive_; }
    const std::string& password() const { return password_; }
    // The archive file's status as locked (to leave it out of what is added).
    const struct stat& lockedStatus() const { return lock_.status(); }

    // One entry of the new archive, in order: entry `entry` of the old
    // archive (file unused), or file `file` of the input tree (entry -1),
    // replacing entries of its name when `replaces`.
    struct Item {
        std::int32_t entry = -1;
        std::size_t file = 0;
        bool replaces = false;
    };

    // Plans the old archive with the files of tree (finished) added: a file
    // whose stored name an entry has (a backslash in an old name read as a
    // slash) takes the place of the first such entry and the others of that
    // name go; the rest are added at the end, in the tree's order. The
    // archive's names are read with one encoding for all of them (see
    // name_decoding.h), so a name that would change how the old names read
    // is refused: false, with refusedNames() listing those files. tree must
    // outlive write().
    bool planAdd(const InputTree& tree);
    const std::vector<std::size_t>& refusedNames() const { return refusedNames_; }
    // The encoding the old archive's names are read with.
    NameEncoding namesEncoding() const;

    // Plans the old archive without the entries i for which removed[i].
    void planDelete(const std::vector<bool>& removed);

    const std::vector<Item>& items() const { return items_; }
    // The tree planAdd() was given; nullptr after planDelete().
    const InputTree* inputTree() const { return tree_; }

    // Passed on to the writer (see ArchiveWriter): entries of the progress
    // are numbers into items().
    void setThreads(unsigned threads) { writer_.setThreads(threads); }
    void setLevel(int level) { writer_.setLevel(level); }
    void setProgress(ArchiveWriter::Progress progress) { progress_ = std::move(progress); }

    // Writes the planned archive and puts it in the old one's place. False
    // on failure, the old archive left as it was: lastError() says why and
    // failedItem() which item caused it (-1 for the archive itself: the
    // output, or InputChanged when the archive was changed or moved by
    // another program since it was read); failedPlanning() is true when the
    // plan was refused before anything was written.
    bool write();

    ArchiveError lastError() const { return lastError_; }
    int systemError() const { return systemError_; }
    std::int64_t failedItem() const { return failedItem_; }
    bool failedPlanning() const { return failedPlanning_; }

private:
    bool fail(ArchiveError error, int systemError, std::int64_t item);
    bool locate(const std::string& path);
    bool unchanged() const;
    bool planWriter();

    Archive archive_;
    std::string password_;
    int folder_ = -1;
    std::string name_;
    ArchiveLock lock_;
    const InputTree* tree_ = nullptr;
    std::vector<Item> items_;
    std::vector<std::size_t> refusedNames_;
    std::vector<std::size_t> files_;  // tree file of the writer's file n
    ArchiveWriter writer_;
    ArchiveWriter::Progress progress_;
    ArchiveError lastError_ = ArchiveError::None;
    int systemError_ = 0;
    std::int64_t failedItem_ = -1;
    bool failedPlanning_ = false;
};

}  // namespace vza
