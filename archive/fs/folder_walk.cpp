// SPDX-License-Identifier: MIT
#include "vza/archive/fs/folder_walk.h"

#include <cerrno>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace vza {
namespace {

int openFolder(int at, const std::string& name)
{
    // O_PATH: nothing is read from the folder itself, and one that may be
    // entered but not listed works too.
    return ::openat(at, name.c_str(), O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
}

}  // namespace

void MadeFolders::add(std::string_view folder)
{
    std::lock_guard<std::mutex> lock(mutex_);
    folders_.emplace(folder);
}

bool MadeFolders::contains(std::string_view folder) const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return folders_.find(folder) != folders_.end();
}

FolderWalk::~FolderWalk()
{
    clear();
}

void FolderWalk::start(int base, bool createFolders, bool baseMade, MadeFolders* shared)
{
    clear();
    base_ = base;
    createFolders_ = createFolders;
    baseMade_ = baseMade;
    shared_ = shared;
}

void FolderWalk::setCacheLimit(std::size_t limit)
{
    cacheLimit_ = limit < 1 ? 1 : limit > MaxOpenFolders ? MaxOpenFolders : limit;
    if (open_.size() >= cacheLimit_)
        clear();
}

void FolderWalk::clear()
{
    for (const auto& [path, folder] : open_)
        ::close(folder.fd);
    open_.clear();
}

void FolderPath::append(std::string_view component)
{
    if (!text.empty())
        text += '/';
    text += component;
    ends.push_back(static_cast<std::uint16_t>(text.size()));
}

void FolderPath::clear()
{
    text.clear();
    ends.clear();
}

int FolderWalk::open(const FolderPath& folder, Failure& failure, bool* made)
{
    failure = Failure{};
    if (made)
        *made = false;
    if (folder.empty()) {
        if (made)
            *made = baseMade_;
        return base_;
    }
    if (const auto hit = open_.find(std::string_view(folder.text)); hit != open_.end()) {
        if (made)
            *made = hit->second.made;
        return hit->second.fd;
    }
    bool madeLast = false;
    int at = walk(folder, failure, madeLast);
    if (at < 0 && failure.systemError == EMFILE && !open_.empty()) {
        // Out of descriptors: the cache gives its own back, once.
        clear();
        at = walk(folder, failure, madeLast);
    }
    if (at < 0)
        return -1;
    // A full cache is emptied at once: simple, and the memory stays bounded.
    if (open_.size() >= cacheLimit_)
        clear();
    if (shared_) {
        if (madeLast)
            shared_->add(folder.text);
        else
            madeLast = shared_->contains(folder.text);
    }
    open_.emplace(folder.text, Open{at, madeLast});
    if (made)
        *made = madeLast;
    return at;
}

// Opens folder from the nearest folder that is open already (usually its
// parent), a component at a time, making those missing when asked to.
int FolderWalk::walk(const FolderPath& folder, Failure& failure, bool& madeLast)
{
    int at = base_;
    std::size_t first = 0;
    for (std::size_t count = folder.size() - 1; count > 0; --count) {
        if (const auto hit = open_.find(folder.prefix(count)); hit != open_.end()) {
            at = hit->second.fd;
            first = count;
            break;
        }
    }
    int walked = -1;  // the folder opened last by this walk, not cached
    for (std::size_t index = first; index < folder.size(); ++index) {
        const std::string name(folder.component(index));
        int next = openFolder(at, name);
        madeLast = false;
        if (next < 0 && errno == ENOENT && createFolders_ && name != "..") {
            // EEXIST: made meanwhile by someone else; it is opened as any
            // other, so a link made there is still refused.
            madeLast = ::mkdirat(at, name.c_str(), 0777) == 0;
            if (madeLast || errno == EEXIST)
                next = openFolder(at, name);
        }
        if (next < 0) {
            failure = failureAt(at, name, folder.ends[index]);
            if (walked >= 0)
                ::close(walked);
            return -1;
        }
        if (walked >= 0)
            ::close(walked);
        walked = at = next;
    }
    return at;
}

// Why name in the folder open as at could not be opened (errno says).
FolderWalk::Failure FolderWalk::failureAt(int at, const std::string& name, std::size_t end) const
{
    Failure failure;
    failure.end = end;
    failure.systemError = errno;
    struct stat status {};
    if (failure.systemError == ENOENT && !createFolders_)
        failure.problem = Problem::Missing;
    else if ((failure.systemError == ENOTDIR || failure.systemError == ELOOP || failure.systemError == EEXIST) &&
             ::fstatat(at, name.c_str(), &status, AT_SYMLINK_NOFOLLOW) == 0)
        failure.problem = S_ISLNK(status.st_mode) ? Problem::Link : Problem::NotAFolder;
    else
        failure.problem = Problem::System;
    return failure;
}

}  // namespace vza
