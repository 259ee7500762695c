// SPDX-License-Identifier: MIT
#include "vza/archive/format/archive_index.h"

#include <cerrno>
#include <cstdio>
#include <memory>

#include "vza/archive/format/data_buffer.h"
#include "vza/archive/format/format.h"

namespace vza {

void ArchiveIndex::setPath(const std::string& path)
{
    path_ = toSlashes(path);
}

void ArchiveIndex::clear()
{
    path_.clear();
    entryTable_.clear();
    data_.clear();
    data_.shrink_to_fit();
    oversize_ = false;
    loaded_ = {};
}

bool ArchiveIndex::fail(ArchiveError error, int systemError)
{
    lastError_ = error;
    systemError_ = systemError;
    return false;
}

bool ArchiveIndex::load(const std::string& password, CipherState& key)
{
    std::FILE* file = std::fopen(path_.c_str(), "rb");
    if (!file)
        return fail(ArchiveError::CannotOpenArchive, errno);
    const bool ok = load(file, password, key);
    std::fclose(file);
    return ok;
}

bool ArchiveIndex::load(std::FILE* file, const std::string& password, CipherState& key)
{
    ArchiveError error = ArchiveError::None;
    loaded_ = {};
    if (::fstat(fileno(file), &loaded_) != 0)
        loaded_ = {};
    errno = 0;
    if (!entryTable_.read(file, password, key, &error))
        return fail(error, error == ArchiveError::CannotOpenArchive ? errno : 0);
    lastError_ = ArchiveError::None;
    systemError_ = 0;
    return true;
}

bool ArchiveIndex::loadedFrom(int fd) const
{
    struct stat now {};
    return loaded_.st_ino != 0 && ::fstat(fd, &now) == 0 && S_ISREG(now.st_mode) && now.st_dev == loaded_.st_dev &&
           now.st_ino == loaded_.st_ino && now.st_size == loaded_.st_size &&
           now.st_mtim.tv_sec == loaded_.st_mtim.tv_sec && now.st_mtim.tv_nsec == loaded_.st_mtim.tv_nsec;
}

void ArchiveIndex::addRecord(const DataBuffer* buffer)
{
    if (!buffer)
        return;
    if (buffer->bytes.size() > UINT32_MAX || buffer->info.name.size() > UINT32_MAX)
        oversize_ = true;
    if (!entryTable_.addRecord(buffer))
        oversize_ = true;
}

void ArchiveIndex::appendData(const DataBuffer* buffer)
{
    if (!buffer || oversize_)
        return;
    // Past 2 GiB the archive can no longer be saved; stop copying rather than
    // hold gigabytes that save() will refuse anyway.
    if (data_.size() + buffer->bytes.size() >= MaxArchiveSize) {
        oversize_ = true;
        return;
    }
    data_.insert(data_.end(), buffer->bytes.begin(), buffer->bytes.end());
}

void ArchiveIndex::addEntry(const DataBuffer& buffer)
{
    addRecord(&buffer);
    appendData(&buffer);
}

}  // namespace vza
