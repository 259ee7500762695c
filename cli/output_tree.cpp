#include "cli/output_tree.h"

#include <cerrno>
#include <cstring>

#include "archive/path_components.h"
#include "cli/display_name.h"

namespace vza::cli {
namespace {

std::string reason(const std::string& what, int error)
{
    return what + ": " + std::strerror(error);
}

// mkdir -p for the user's own output folder.
bool makeFolders(const std::string& path, bool& created, int& error)
{
    struct stat status {};
    if (stat(path.c_str(), &status) == 0) {
        error = ENOTDIR;
        return S_ISDIR(status.st_mode);
    }
    const std::size_t slash = path.find_last_of('/');
    if (slash != std::string::npos && slash > 0) {
        bool parentCreated = false;
        if (!makeFolders(path.substr(0, slash), parentCreated, error))
            return false;
    }
    if (mkdir(path.c_str(), 0777) != 0 && errno != EEXIST) {
        error = errno;
        return false;
    }
    created = true;
    return true;
}

}  // namespace

bool OutputTree::open(const std::string& root, std::string& error)
{
    root_ = root;
    while (root_.size() > 1 && root_.back() == '/')
        root_.pop_back();
    int failure = 0;
    if (!makeFolders(root_, rootFresh_, failure)) {
        error = reason("cannot use output folder " + quoted(root), failure);
        return false;
    }
    folders_.clear();
    return true;
}

std::string OutputTree::join(const std::string& relative) const
{
    return root_ == "/" ? "/" + relative : root_ + "/" + relative;
}

bool OutputTree::ensureFolder(const std::string& relative, bool& fresh, std::string& error)
{
    if (relative.empty()) {
        fresh = rootFresh_;
        return true;
    }
    // The longest prefix already checked; usually the whole folder is.
    std::size_t start = 0;
    bool parentFresh = rootFresh_;
    for (std::size_t end = relative.size();;) {
        const auto known = folders_.find(relative.substr(0, end));
        if (known != folders_.end()) {
            if (end == relative.size()) {
                fresh = known->second;
                return true;
            }
            start = end + 1;
            parentFresh = known->second;
            break;
        }
        const std::size_t slash = relative.rfind('/', end - 1);
        if (slash == std::string::npos)
            break;
        end = slash;
    }
    while (start <= relative.size()) {
        std::size_t end = relative.find('/', start);
        if (end == std::string::npos)
            end = relative.size();
        const std::string prefix = relative.substr(0, end);
        const std::string path = join(prefix);
        bool made = false;
        if (mkdir(path.c_str(), 0777) == 0) {
            made = true;
        } else if (errno != EEXIST || parentFresh) {
            // In a folder of our own only our own files can be in the way.
            if (errno == EEXIST)
                error = quoted(prefix) + " is not a folder";
            else
                error = reason("cannot create folder " + quoted(prefix), errno);
            return false;
        } else {
            struct stat status {};
            if (lstat(path.c_str(), &status) != 0) {
                error = reason("cannot check " + quoted(prefix), errno);
                return false;
            }
            if (S_ISLNK(status.st_mode)) {
                error = quoted(prefix) + " is a symbolic link; not writing through it";
                return false;
            }
            if (!S_ISDIR(status.st_mode)) {
                error = quoted(prefix) + " is not a folder";
                return false;
            }
        }
        folders_.emplace(prefix, made);
        parentFresh = made;
        start = end + 1;
    }
    fresh = parentFresh;
    return true;
}

bool OutputTree::prepare(const std::string& relative, Slot& slot, std::string& error)
{
    // Longer names cannot be created anyway; refusing them here also keeps
    // the folder walk short for a crafted name of a million components.
    if (!pathLengthFits(relative)) {
        error = "name too long";
        return false;
    }
    const std::size_t slash = relative.find_last_of('/');
    const std::string folder = slash == std::string::npos ? std::string() : relative.substr(0, slash);
    bool fresh = false;
    if (!ensureFolder(folder, fresh, error))
        return false;
    slot = Slot{};
    slot.path = join(relative);
    if (folders_.count(relative) != 0) {
        slot.exists = true;
        slot.status.st_mode = S_IFDIR;
        return true;
    }
    if (fresh)
        return true;  // a folder this run made holds nothing else by this name
    if (lstat(slot.path.c_str(), &slot.status) == 0) {
        slot.exists = true;
    } else if (errno != ENOENT) {
        error = reason("cannot check " + quoted(relative), errno);
        return false;
    }
    return true;
}

}  // namespace vza::cli
