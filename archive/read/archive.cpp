// SPDX-License-Identifier: MIT
#include "vza/archive/read/archive.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <memory>

#include <fcntl.h>
#include <sys/sendfile.h>
#include <sys/stat.h>
#include <unistd.h>

#include "vza/archive/format/format.h"
#include "vza/archive/read/entry_decoder.h"

namespace vza {

Archive::Archive()
{
    reset();
}

void Archive::reset()
{
    file_.reset();
    ownReader_.reader.reset();
    secret_.wipe();
    wipeString(pathAsGiven_);  // not secret, but cleared as the index's path is
    link_ = {};
    archiveIndex_.clear();
    looseFileFallback_ = true;
    lastError_ = ArchiveError::None;
    systemError_ = 0;
}

bool Archive::fail(ArchiveError error, int systemError)
{
    lastError_ = error;
    systemError_ = systemError;
    return false;
}

bool Archive::succeed()
{
    lastError_ = ArchiveError::None;
    systemError_ = 0;
    return true;
}

bool Archive::open(const std::string& path, const std::string& password)
{
    file_.reset();
    // Opened by the path as the index keeps it, backslashes read as slashes.
    archiveIndex_.setPath(path);
    const std::string opened = archiveIndex_.path();
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> file{std::fopen(opened.c_str(), "rb"), &std::fclose};
    if (!file)
        return fail(ArchiveError::CannotOpenArchive, errno);
    return openFrom(file.get(), path, opened, password);
}

// file is open on the path opened, which path (as given) named.
bool Archive::openFrom(std::FILE* file, const std::string& path, const std::string& opened, const std::string& password)
{
    file_.reset();
    secret_.wipe();
    secret_.password = password;
    pathAsGiven_ = path;
    archiveIndex_.setPath(path);
    // The link the user named the archive by, if it was one: replacing it
    // would leave the name leading elsewhere. Only ever a reason to refuse.
    struct stat named {};
    link_ = ::lstat(opened.c_str(), &named) == 0 && S_ISLNK(named.st_mode) ? FileIdentity::of(named) : FileIdentity{};
    if (!archiveIndex_.load(file, secret_.password, secret_.key))
        return fail(archiveIndex_.lastError(), archiveIndex_.systemError());
    // A descriptor of our own on the same open file: the entries are read
    // from the very file the index came from.
    const int fd = ::fcntl(fileno(file), F_DUPFD_CLOEXEC, 0);
    if (fd < 0)
        return fail(ArchiveError::CannotOpenArchive, errno);
    file_ = std::shared_ptr<const int>(new int(fd), [](const int* held) {
        ::close(*held);
        delete held;
    });
    return succeed();
}

Archive::OpenOutcome Archive::openWithPassword(const std::string& path, const PassphraseCallback& passphrase)
{
    // O_NONBLOCK: a FIFO named like an archive must not hold the caller (a
    // window's event loop) until some writer comes; it is refused below, as
    // is every file that is not a regular one.
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) {
        fail(ArchiveError::CannotOpenArchive, errno);
        return OpenOutcome::NotAnArchive;
    }
    return openOwned(fd, path, passphrase);
}

Archive::OpenOutcome Archive::openWithPassword(int fd, const std::string& path, const PassphraseCallback& passphrase)
{
    const int own = ::fcntl(fd, F_DUPFD_CLOEXEC, 0);
    if (own < 0) {
        fail(ArchiveError::CannotOpenArchive, errno);
        return OpenOutcome::NotAnArchive;
    }
    return openOwned(own, path, passphrase);
}

// openWithPassword on fd, which this call closes (the Archive keeps a
// descriptor of its own on success). A folder is refused with EISDIR, any
// other file that is not a regular one with EINVAL.
Archive::OpenOutcome Archive::openOwned(int fd, const std::string& path, const PassphraseCallback& passphrase)
{
    struct stat status {};
    const int error = ::fstat(fd, &status) != 0             ? errno
                      : S_ISDIR(status.st_mode)             ? EISDIR
                      : !S_ISREG(status.st_mode)            ? EINVAL
                      : ::fcntl(fd, F_SETFL, O_RDONLY) != 0 ? errno
                      : ::lseek(fd, 0, SEEK_SET) != 0       ? errno
                                                            : 0;
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> file{error == 0 ? ::fdopen(fd, "rb") : nullptr, &std::fclose};
    if (!file) {
        fail(ArchiveError::CannotOpenArchive, error != 0 ? error : errno);
        ::close(fd);
        return OpenOutcome::NotAnArchive;
    }
    // The probe, on the descriptor the index is then read from: the file
    // cannot be swapped between the two.
    std::uint8_t head[8];
    const bool probed = std::fread(head, 1, sizeof head, file.get()) == sizeof head && getU32(head) == ArchiveMagic &&
                        getU32(head + 4) != 255;
    std::string password;
    struct Wipe {
        std::string& text;
        ~Wipe() { wipeString(text); }
    } wipePassword{password};
    if (probed && (getU32(head + 4) & FlagEncrypted) != 0 && !passphrase(password)) {
        fail(ArchiveError::EmptyPassword);
        return OpenOutcome::NoPassword;
    }
    // A file the probe refused is still read as far as it goes, so that the
    // reason is the one open() would give.
    Archive fresh;
    if (std::fseek(file.get(), 0, SEEK_SET) != 0) {
        fail(ArchiveError::CannotOpenArchive, errno);
        return probed ? OpenOutcome::Failed : OpenOutcome::NotAnArchive;
    }
    if (!fresh.openFrom(file.get(), path, path, password)) {
        fail(fresh.lastError_, fresh.systemError_);
        return probed ? OpenOutcome::Failed : OpenOutcome::NotAnArchive;
    }
    *this = std::move(fresh);
    return OpenOutcome::Opened;
}

std::string_view Archive::entryName(std::int32_t index) const
{
    const std::optional<EntryView> found = archiveIndex_.entry(index);
    return found ? found->name : std::string_view();
}

std::int32_t Archive::probeFlags(const std::string& path) const
{
    DataBuffer head;
    if (!head.readRange(path, 0, 8) || head.getU32At(0) != ArchiveMagic)
        return 255;
    return static_cast<std::int32_t>(head.getU32At(4));
}

EntryReader& Archive::ownReader()
{
    if (!ownReader_.reader)
        ownReader_.reader = std::make_unique<EntryReader>(*this);
    return *ownReader_.reader;
}

bool Archive::readerResult(bool ok)
{
    const EntryReader& reader = *ownReader_.reader;
    return ok ? succeed() : fail(reader.lastError(), reader.systemError());
}

bool Archive::streamEntry(std::int32_t index, const ChunkSink& sink)
{
    return readerResult(ownReader().streamEntry(index, sink));
}

bool Archive::writeEntry(std::int32_t index, OutputFile& out, const Progress& progress)
{
    return readerResult(ownReader().writeEntry(index, out, progress));
}

int Archive::openStoredBytes()
{
    if (descriptor() < 0) {
        fail(ArchiveError::CannotOpenArchive, EBADF);
        return -1;
    }
    // The held file, never the path again: whatever was put at the path
    // since, the offsets of this index are read in the file they describe.
    const int fd = ::fcntl(descriptor(), F_DUPFD_CLOEXEC, 0);
    if (fd < 0) {
        fail(ArchiveError::CannotOpenArchive, errno);
        return -1;
    }
    if (!archiveIndex_.loadedFrom(fd)) {
        ::close(fd);
        fail(ArchiveError::InputChanged);
        return -1;
    }
    succeed();
    return fd;
}

bool Archive::readEntry(std::int32_t index, DataBuffer& buffer)
{
    buffer.reset();
    std::vector<std::uint8_t> plain;
    const bool ok = streamEntry(index, [&plain](const std::uint8_t* data, std::size_t length) {
        plain.insert(plain.end(), data, data + length);
        return true;
    });
    if (!ok)
        return false;
    buffer.bytes = std::move(plain);
    buffer.info.name = archiveIndex_.entry(index)->name;
    buffer.info.originalSize = buffer.info.storedSize = static_cast<std::uint32_t>(buffer.bytes.size());
    return true;
}

bool Archive::readData(const std::string& name, std::vector<std::uint8_t>* bytes)
{
    if (!bytes)
        return fail(ArchiveError::NoSuchEntry);
    DataBuffer buffer;
    const std::int32_t index = find(name);
    if (index == -1) {
        if (!looseFileFallback_)
            return fail(ArchiveError::NoSuchEntry);
        // The name, exactly as given, as a file on disk.
        if (!buffer.loadFile(name))
            return fail(ArchiveError::CannotReadInput, buffer.systemError());
    } else if (!readEntry(index, buffer)) {
        return false;
    }
    *bytes = std::move(buffer.bytes);
    return succeed();
}

}  // namespace vza
