// SPDX-License-Identifier: MIT
#include "vza/archive/write/archive_editor.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <fcntl.h>
#include <unistd.h>
#include <unordered_map>

#include "vza/archive/format/format.h"
#include "vza/archive/fs/name_hash.h"
#include "vza/archive/names/path_components.h"
#include "vza/archive/write/archive_output.h"

namespace vza {

namespace {

bool plainAscii(std::string_view name)
{
    return std::all_of(name.begin(), name.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

// Whether a new name keeps every old name reading as it does: where the old
// names are plain ASCII, any encoding reads them alike; UTF-8 names stay
// UTF-8 while every name is; Shift_JIS and Latin-1 archives take plain ASCII
// only, since a name from this system would read as something else there.
bool keepsEncoding(std::string_view name, NameEncoding encoding, bool oldAscii)
{
    if (oldAscii || plainAscii(name))
        return true;
    return encoding == NameEncoding::Utf8 && isValidUtf8(name);
}

}  // namespace

ArchiveEditor::ArchiveEditor() = default;

ArchiveEditor::~ArchiveEditor()
{
    if (folder_ >= 0)
        ::close(folder_);
}

bool ArchiveEditor::fail(ArchiveError error, int systemError, std::int64_t item)
{
    lastError_ = error;
    systemError_ = systemError;
    failedItem_ = item;
    return false;
}

// The folder of the archive, held, and its name in it; a link at path is
// followed once, here, to the file it leads to (which is then replaced, the
// link staying a link).
bool ArchiveEditor::locate(const std::string& path)
{
    if (folder_ >= 0)
        ::close(folder_);
    folder_ = -1;
    std::string target = path;
    struct stat link {};
    if (::lstat(path.c_str(), &link) == 0 && S_ISLNK(link.st_mode)) {
        char resolved[PATH_MAX];
        if (!::realpath(path.c_str(), resolved))
            return false;
        target = resolved;
    }
    const std::size_t slash = target.find_last_of('/');
    const std::string folder = slash == std::string::npos ? std::string(".")
                               : slash == 0               ? std::string("/")
                                                          : target.substr(0, slash);
    name_ = slash == std::string::npos ? target : target.substr(slash + 1);
    if (name_.empty() || name_ == "." || name_ == "..") {
        errno = EISDIR;
        return false;
    }
    folder_ = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (folder_ < 0)
        folder_ = ::open(folder.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
    return folder_ >= 0;
}

ArchiveEditor::OpenOutcome ArchiveEditor::open(const std::string& path, const Archive::PassphraseCallback& passphrase,
                                               const ArchiveLock::Notice& notice)
{
    lastError_ = ArchiveError::None;
    systemError_ = 0;
    password_.clear();
    bool asked = false;
    // Asked once, whatever the tries below.
    const Archive::PassphraseCallback once = [&](std::string& password) {
        if (!asked && !passphrase(password_))
            return false;
        asked = true;
        password = password_;
        return true;
    };
    if (!locate(path)) {
        fail(errno == EISDIR ? ArchiveError::None : ArchiveError::CannotOpenArchive, errno, -1);
        return errno == EISDIR ? OpenOutcome::IsFolder : OpenOutcome::CannotOpen;
    }
    // Locked before it is read; read again when the file changed between
    // the two (a program that does not lock wrote to it).
    for (int attempt = 0; attempt < 8; ++attempt) {
        if (!lock_.acquire(folder_, name_, notice)) {
            const int error = errno;
            fail(ArchiveError::CannotOpenArchive, error, -1);
            return error == EISDIR   ? OpenOutcome::IsFolder
                   : error == EINVAL ? OpenOutcome::NotRegular
                                     : OpenOutcome::CannotOpen;
        }
        // Read through the locked descriptor itself: what is read, checked
        // and later replaced is one file, whatever the path names meanwhile.
        const Archive::OpenOutcome outcome = archive_.openWithPassword(lock_.descriptor(), path, once);
        if (outcome != Archive::OpenOutcome::Opened) {
            fail(archive_.lastError(), archive_.systemError(), -1);
            lock_.release();
            return outcome == Archive::OpenOutcome::NoPassword ? OpenOutcome::NoPassword
                   : outcome == Archive::OpenOutcome::Failed   ? OpenOutcome::Failed
                                                               : OpenOutcome::NotAnArchive;
        }
        if (unchanged()) {
            if (!(archive_.flags() & FlagEncrypted))
                password_.clear();
            return OpenOutcome::Opened;
        }
    }
    lock_.release();
    fail(ArchiveError::InputChanged, 0, -1);
    return OpenOutcome::Failed;
}

// The index read is the locked file's, as it is now.
bool ArchiveEditor::unchanged() const
{
    return lock_.descriptor() >= 0 && archive_.archiveIndex().loadedFrom(lock_.descriptor());
}

NameEncoding ArchiveEditor::namesEncoding() const
{
    return detectNameEncoding(archive_.archiveIndex().entryTable().entries());
}

bool ArchiveEditor::planAdd(const InputTree& tree)
{
    tree_ = &tree;
    items_.clear();
    refusedNames_.clear();
    const EntryTable& table = archive_.archiveIndex().entryTable();
    const NameEncoding encoding = namesEncoding();
    bool oldAscii = true;
    for (std::int32_t i = 0; i < table.count() && oldAscii; ++i)
        oldAscii = plainAscii(table.at(i)->name);
    std::unordered_map<std::string, std::size_t, NameHasher> added;
    for (std::size_t i = 0; i < tree.count(); ++i) {
        std::string name = tree.storedName(i);
        if (!keepsEncoding(name, encoding, oldAscii))
            refusedNames_.push_back(i);
        added.emplace(std::move(name), i);
    }
    if (!refusedNames_.empty())
        return false;
    std::vector<bool> placed(tree.count(), false);
    for (std::int32_t i = 0; i < table.count(); ++i) {
        const auto found = added.find(toSlashes(table.at(i)->name));
        if (found == added.end())
            items_.push_back(Item{i, 0, false});
        else if (!placed[found->second]) {
            placed[found->second] = true;
            items_.push_back(Item{-1, found->second, true});
        }
    }
    for (std::size_t i = 0; i < tree.count(); ++i) {
        if (!placed[i])
            items_.push_back(Item{-1, i, false});
    }
    return true;
}

void ArchiveEditor::planDelete(const std::vector<bool>& removed)
{
    tree_ = nullptr;
    items_.clear();
    refusedNames_.clear();
    for (std::int32_t i = 0; i < archive_.entryCount(); ++i) {
        if (static_cast<std::size_t>(i) >= removed.size() || !removed[static_cast<std::size_t>(i)])
            items_.push_back(Item{i, 0, false});
    }
}

// The plan handed to the writer, item by item: entry n of the writer is item n.
bool ArchiveEditor::planWriter()
{
    const std::uint32_t flags = archive_.flags() & (FlagEncrypted | FlagCompressed);
    if (!writer_.begin(flags, password_))
        return fail(writer_.lastError(), 0, -1);
    files_.clear();
    const int fd = lock_.descriptor();
    for (std::size_t n = 0; n < items_.size(); ++n) {
        const Item& item = items_[n];
        const bool planned = item.entry >= 0
                                 ? writer_.addStored(*archive_.entry(item.entry), fd, archive_.storedOffset(item.entry))
                                 : writer_.addFile(tree_->checkedName(item.file), tree_->status(item.file));
        if (!planned)
            return fail(writer_.lastError(), 0, static_cast<std::int64_t>(n));
        if (item.entry < 0)
            files_.push_back(item.file);
    }
    writer_.setFileOpener([this](std::size_t file) { return tree_->open(files_[file]); });
    return true;
}

bool ArchiveEditor::write()
{
    failedPlanning_ = false;
    if (lock_.descriptor() < 0)
        return fail(ArchiveError::CannotOpenArchive, EBADF, -1);
    // Only a program that does not lock can have changed it: its index is
    // not the one read.
    if (!unchanged())
        return fail(ArchiveError::InputChanged, 0, -1);
    if (!planWriter()) {
        failedPlanning_ = true;
        return false;
    }
    // The output is opened once the plan stands, so a refused plan never
    // leaves anything to clean up.
    ArchiveOutput output;
    if (!output.openReplacing(folder_, name_, lock_.status()))
        return fail(output.lastError(), output.systemError(), -1);
    writer_.setProgress(progress_);
    if (!writer_.writeTo(output)) {
        const ArchiveError error = writer_.lastError();
        const bool archiveFault = error == ArchiveError::CannotWriteOutput || error == ArchiveError::ArchiveTooLarge ||
                                  (error == ArchiveError::InputChanged && writer_.failedEntry() < 0);
        return fail(error, writer_.systemError(), archiveFault ? -1 : writer_.failedEntry());
    }
    lock_.release();
    return true;
}

}  // namespace vza
