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

void FolderWalk::clear()
{
    for (const auto& [path, folder] : open_)
        ::close(folder.fd);
    open_.clear();
}

int FolderWalk::open(std::string_view folder, Failure& failure, bool* made)
{
    failure = Failure{};
    if (made)
        *made = false;
    if (folder.empty()) {
        if (made)
            *made = baseMade_;
        return base_;
    }
    if (const auto hit = open_.find(folder); hit != open_.end()) {
        if (made)
            *made = hit->second.made;
        return hit->second.fd;
    }

    // From the nearest folder that is open already, usually the parent.
    int at = base_;
    std::size_t start = 0;
    for (std::size_t end = folder.rfind('/'); end != std::string_view::npos && end > 0;
         end = folder.rfind('/', end - 1)) {
        if (const auto hit = open_.find(folder.substr(0, end)); hit != open_.end()) {
            at = hit->second.fd;
            start = end + 1;
            break;
        }
    }

    int walked = -1;  // the folder opened last by this walk, not cached
    bool madeLast = false;
    for (;;) {
        std::size_t end = folder.find('/', start);
        if (end == std::string_view::npos)
            end = folder.size();
        const std::string name(folder.substr(start, end - start));
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
            failure.end = end;
            failure.systemError = errno;
            struct stat status {};
            if (errno == ENOENT && !createFolders_)
                failure.problem = Problem::Missing;
            else if ((errno == ENOTDIR || errno == ELOOP || errno == EEXIST) &&
                     ::fstatat(at, name.c_str(), &status, AT_SYMLINK_NOFOLLOW) == 0)
                failure.problem = S_ISLNK(status.st_mode) ? Problem::Link : Problem::NotAFolder;
            else
                failure.problem = Problem::System;
            if (walked >= 0)
                ::close(walked);
            return -1;
        }
        if (walked >= 0)
            ::close(walked);
        walked = at = next;
        if (end == folder.size())
            break;
        start = end + 1;
    }
    // A full cache is emptied at once: simple, and the memory stays bounded.
    if (open_.size() >= MaxOpenFolders)
        clear();
    if (shared_) {
        if (madeLast)
            shared_->add(folder);
        else
            madeLast = shared_->contains(folder);
    }
    open_.emplace(std::string(folder), Open{at, madeLast});
    if (made)
        *made = madeLast;
    return at;
}

}  // namespace vza
