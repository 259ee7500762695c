// SPDX-License-Identifier: MIT
#include "vza/archive/write/input_tree.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

#include "vza/archive/format/format.h"
#include "vza/archive/names/path_components.h"

namespace vza {

namespace {

constexpr int FolderFlags = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;
// O_NONBLOCK: a pipe put in a file's place must not stop the walk.
constexpr int FileFlags = O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC;

}  // namespace

InputTree::~InputTree()
{
    for (const auto& [path, fd] : folders_)
        ::close(fd);
    if (cachedFd_ >= 0)
        ::close(cachedFd_);
}

void InputTree::notice(Notice::Kind kind, const std::string& path, int systemError, const std::string& stored)
{
    if (notices_)
        notices_(Notice{kind, path, stored, systemError});
}

int InputTree::openFolder(const std::string& parent)
{
    const auto found = folders_.find(parent);
    if (found != folders_.end())
        return found->second;
    // The operand's own folder is reached as the user named it, links and
    // all; from here on nothing is followed.
    const int fd = ::open(parent.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0)
        folders_.emplace(parent, fd);
    return fd;
}

// The name an operand path is stored under: its components without "." and
// empty ones. False for a path with a ".." component.
bool InputTree::operandName(const std::string& path, std::string& name)
{
    const std::vector<std::string_view> components = splitComponents(path, Backslash::IsByte);
    for (std::string_view component : components) {
        if (componentKind(component) == ComponentKind::DotDot)
            return false;
    }
    name = joinNameComponents(components);
    return true;
}

void InputTree::add(const std::string& operand)
{
    if (operand.empty()) {
        notice(Notice::Kind::RefusedName, operand);
        return;
    }
    std::string path = operand;
    while (path.size() > 1 && path.back() == '/')
        path.pop_back();
    if (path.front() == '/' && !toldLeadingSlash_) {
        toldLeadingSlash_ = true;
        notice(Notice::Kind::LeadingSlash, path);
    }

    std::string name;
    if (!operandName(path, name)) {
        notice(Notice::Kind::RefusedName, path);
        return;
    }

    // An operand inside an excluded folder is left out as that folder is.
    const std::string stored = toSlashes(name);
    if (exclude_) {
        for (std::size_t end = stored.find('/'); end != std::string::npos; end = stored.find('/', end + 1)) {
            if (exclude_(stored.substr(0, end)))
                return;
        }
    }

    // The operand's folder and its own component in it ("/" is "." in "/").
    const std::size_t slash = path.find_last_of('/');
    const bool inRoot = slash == 0 || path == "/";
    const std::string parent = slash == std::string::npos ? std::string(1, '.')
                               : inRoot                   ? std::string(1, '/')
                                                          : path.substr(0, slash);
    const std::string base = path == "/"                  ? std::string(1, '.')
                             : slash == std::string::npos ? path
                                                          : path.substr(slash + 1);
    const int folder = openFolder(parent);
    if (folder < 0) {
        notice(Notice::Kind::Unreadable, path, errno);
        return;
    }
    roots_.push_back(Root{folder, path, base, name.size()});
    const std::size_t depth =
        name.empty() ? 0 : 1 + static_cast<std::size_t>(std::count(name.begin(), name.end(), '/'));
    visit(folder, base, DT_UNKNOWN, path, Name{name, stored}, depth);
}

void InputTree::visit(int folder, const std::string& component, unsigned char type, const std::string& path,
                      const Name& name, std::size_t depth)
{
    if (exclude_ && !name.stored.empty() && exclude_(name.stored))
        return;
    if (depth > MaxComponents) {
        notice(Notice::Kind::TooDeep, path);
        return;
    }
    struct stat status {};
    const int fd = openNode(folder, component, type, path, status);
    if (fd < 0)
        return;
    if (S_ISDIR(status.st_mode)) {
        visitFolder(fd, path, name, depth);
        return;
    }
    ::close(fd);
    if (!S_ISREG(status.st_mode)) {
        notice(Notice::Kind::SpecialFile, path);
        return;
    }
    if (std::find(skip_.begin(), skip_.end(), std::make_pair(status.st_dev, status.st_ino)) != skip_.end()) {
        notice(Notice::Kind::ArchiveItself, path);
        return;
    }
    addFile(status, path, name);
}

// Opens the file or folder component of folder as the walk takes it: links
// and special files are reported and left out (-1), as is anything that
// cannot be opened; status is then the open node's.
int InputTree::openNode(int folder, const std::string& component, unsigned char type, const std::string& path,
                        struct stat& status)
{
    if (type != DT_REG && type != DT_DIR) {
        if (::fstatat(folder, component.c_str(), &status, AT_SYMLINK_NOFOLLOW) != 0) {
            notice(Notice::Kind::Unreadable, path, errno);
            return -1;
        }
        type = S_ISDIR(status.st_mode)   ? DT_DIR
               : S_ISREG(status.st_mode) ? DT_REG
               : S_ISLNK(status.st_mode) ? DT_LNK
                                         : DT_UNKNOWN;
    }
    if (type == DT_LNK || (type != DT_DIR && type != DT_REG)) {
        notice(type == DT_LNK ? Notice::Kind::SymbolicLink : Notice::Kind::SpecialFile, path);
        return -1;
    }
    const int fd = ::openat(folder, component.c_str(), type == DT_DIR ? FolderFlags : FileFlags);
    if (fd < 0) {
        // ELOOP: a link put in its place since it was listed.
        notice(errno == ELOOP ? Notice::Kind::SymbolicLink : Notice::Kind::Unreadable, path,
               errno == ELOOP ? 0 : errno);
        return -1;
    }
    if (::fstat(fd, &status) != 0) {
        notice(Notice::Kind::Unreadable, path, errno);
        ::close(fd);
        return -1;
    }
    return fd;
}

// Walks the folder open as fd (taken over and closed) in sorted order. One
// folder is held open per level, and the levels stop at the component
// limit, so the walk's descriptors stay bounded however deep the tree.
void InputTree::visitFolder(int fd, const std::string& path, const Name& name, std::size_t depth)
{
    DIR* listing = ::fdopendir(fd);
    if (!listing) {
        notice(Notice::Kind::Unreadable, path, errno);
        ::close(fd);
        return;
    }
    std::vector<std::pair<std::string, unsigned char>> children;
    errno = 0;
    while (const dirent* child = ::readdir(listing)) {
        const char* childName = child->d_name;
        if (std::strcmp(childName, ".") != 0 && std::strcmp(childName, "..") != 0)
            children.emplace_back(childName, child->d_type);
        errno = 0;
    }
    if (errno != 0)
        notice(Notice::Kind::Unreadable, path, errno);
    std::sort(children.begin(), children.end());
    if (!children.empty() && depth + 1 > MaxComponents) {
        // Told once for the folder, not for each thing in it.
        notice(Notice::Kind::TooDeep, path);
        children.clear();
    }
    const std::string prefix = path == "/" ? path : path + "/";
    const std::string rawPrefix = name.raw.empty() ? name.raw : name.raw + "/";
    const std::string storedPrefix = name.stored.empty() ? name.stored : name.stored + "/";
    for (const auto& [childName, childType] : children) {
        visit(::dirfd(listing), childName, childType, prefix + childName,
              Name{rawPrefix + childName, storedPrefix + toSlashes(childName)}, depth + 1);
    }
    ::closedir(listing);
}

// Records a regular file the walk found, when its name may be stored.
void InputTree::addFile(const struct stat& status, const std::string& path, const Name& name)
{
    const std::string& stored = name.stored;
    if (!safeStoredName(stored)) {
        notice(Notice::Kind::RefusedName, path);
        return;
    }
    if (static_cast<std::uint64_t>(status.st_size) > UINT32_MAX) {
        notice(Notice::Kind::TooLarge, path);
        return;
    }
    // Names go into pieces of 1 MiB (or one of their own when longer), so
    // that no block holding all of them is ever copied to grow.
    constexpr std::size_t Piece = std::size_t{1} << 20;
    if (names_.empty() || names_.back().size() + stored.size() > names_.back().capacity()) {
        names_.emplace_back();
        names_.back().reserve(std::max(Piece, stored.size()));
    }
    const std::uint64_t nameAt = (static_cast<std::uint64_t>(names_.size() - 1) << 32) | names_.back().size();
    names_.back() += stored;
    if (stored != name.raw) {
        notice(Notice::Kind::Backslash, path, 0, stored);
        diskNames_.emplace(nameAt, name.raw);
    }
    const auto device = static_cast<std::uint64_t>(status.st_dev);
    if (devices_.empty() || devices_[lastDevice_] != device) {
        lastDevice_ = static_cast<std::size_t>(std::find(devices_.begin(), devices_.end(), device) - devices_.begin());
        if (lastDevice_ == devices_.size())
            devices_.push_back(device);
    }
    files_.push_back(File{nameAt, static_cast<std::uint64_t>(status.st_ino), static_cast<std::uint32_t>(status.st_size),
                          static_cast<std::uint32_t>(roots_.size() - 1), static_cast<std::uint32_t>(stored.size()),
                          static_cast<std::uint32_t>(lastDevice_)});
    namesSize_ += stored.size();
}

std::string_view InputTree::diskName(const File& file) const
{
    const auto raw = diskNames_.find(file.nameAt);
    return raw != diskNames_.end() ? std::string_view(raw->second) : storedView(file);
}

std::string_view InputTree::storedView(const File& file) const
{
    return std::string_view(names_[static_cast<std::size_t>(file.nameAt >> 32)])
        .substr(static_cast<std::size_t>(file.nameAt & 0xFFFFFFFFu), file.nameLength);
}

struct stat InputTree::status(std::size_t i) const
{
    return statusOf(files_[i]);
}

struct stat InputTree::statusOf(const File& file) const
{
    struct stat status {};
    status.st_mode = S_IFREG;
    status.st_dev = static_cast<dev_t>(devices_[file.device]);
    status.st_ino = static_cast<ino_t>(file.inode);
    status.st_size = static_cast<off_t>(file.size);
    return status;
}

std::string InputTree::storedName(std::size_t i) const
{
    return std::string(storedView(files_[i]));
}

std::string InputTree::path(std::size_t i) const
{
    return pathRaw(files_[i].root, diskName(files_[i]));
}

std::string InputTree::path(std::size_t i, std::string_view storedName) const
{
    const auto raw = rawNames_.find(i);
    return pathRaw(rootOf(i), raw != rawNames_.end() ? std::string_view(raw->second) : storedName);
}

int InputTree::open(std::size_t i, std::string_view storedName) const
{
    const auto raw = rawNames_.find(i);
    return openRaw(rootOf(i), raw != rawNames_.end() ? std::string_view(raw->second) : storedName);
}

std::uint32_t InputTree::rootOf(std::size_t i) const
{
    const auto after = std::upper_bound(rootStarts_.begin(), rootStarts_.end(), i,
                                        [](std::size_t file, const auto& start) { return file < start.first; });
    return after == rootStarts_.begin() ? 0 : std::prev(after)->second;
}

void InputTree::handOver(const Taker& take)
{
    rootStarts_.clear();
    rawNames_.clear();
    bool going = true;
    std::size_t piece = 0;
    const std::size_t count = files_.size();
    for (std::size_t i = 0; i < count; ++i) {
        const File file = files_[i];
        files_.releaseBefore(i);
        // A piece of names left behind for good is given back.
        for (const std::size_t at = static_cast<std::size_t>(file.nameAt >> 32); piece < at; ++piece)
            std::string().swap(names_[piece]);
        if (!going)
            continue;
        if (rootStarts_.empty() || rootStarts_.back().second != file.root)
            rootStarts_.emplace_back(i, file.root);
        std::string stored(storedView(file));
        if (const auto raw = diskNames_.find(file.nameAt); raw != diskNames_.end())
            rawNames_.emplace(i, raw->second);
        going = take(i, StoredName(std::move(stored)), statusOf(file));
    }
    files_.clear();
    names_.clear();
    diskNames_.clear();
    names_.shrink_to_fit();
    namesSize_ = 0;
}

std::string InputTree::pathRaw(std::uint32_t rootNumber, std::string_view raw) const
{
    const Root& root = roots_[rootNumber];
    std::string_view rest = raw.substr(std::min(raw.size(), root.nameLength));
    if (!rest.empty() && rest.front() == '/')
        rest.remove_prefix(1);
    std::string joined = root.path;
    if (!rest.empty()) {
        if (joined.back() != '/')
            joined += '/';
        joined += rest;
    }
    return joined;
}

void InputTree::finish()
{
    std::vector<std::uint32_t> order(files_.size());
    for (std::uint32_t i = 0; i < order.size(); ++i)
        order[i] = i;
    std::stable_sort(order.begin(), order.end(), [this](std::uint32_t a, std::uint32_t b) {
        return storedView(files_[a]) < storedView(files_[b]);
    });
    std::vector<bool> repeated(files_.size(), false);
    for (std::size_t k = 1; k < order.size(); ++k) {
        if (storedView(files_[order[k]]) == storedView(files_[order[k - 1]]))
            repeated[order[k]] = true;
    }
    std::size_t kept = 0;
    for (std::size_t i = 0; i < files_.size(); ++i) {
        if (repeated[i]) {
            namesSize_ -= files_[i].nameLength;
            continue;
        }
        files_[kept++] = files_[i];
    }
    files_.shrink(kept);
}

int InputTree::open(std::size_t i) const
{
    return openRaw(files_[i].root, diskName(files_[i]));
}

int InputTree::openRaw(std::uint32_t rootNumber, std::string_view raw) const
{
    const Root& root = roots_[rootNumber];
    // The path from the operand's folder: the operand's own component, then
    // the rest of the name as found on disk.
    std::string relative = root.prefix;
    const std::string_view rest = raw.substr(std::min(raw.size(), root.nameLength));
    if (!rest.empty()) {
        if (rest.front() != '/')
            relative += '/';
        relative += rest;
    }
    const std::size_t slash = relative.find_last_of('/');
    const std::string folderPart = slash == std::string::npos ? std::string() : relative.substr(0, slash);
    const std::string last = slash == std::string::npos ? relative : relative.substr(slash + 1);
    if (folderPart.empty())
        return ::openat(root.folder, last.c_str(), FileFlags);

    // Files come folder by folder: the last folder reached is kept open,
    // and a folder below it is reached from there.
    int from = root.folder;
    std::size_t start = 0;
    if (cachedRoot_ == rootNumber && cachedFd_ >= 0) {
        if (folderPart == cachedFolder_)
            return ::openat(cachedFd_, last.c_str(), FileFlags);
        if (folderPart.size() > cachedFolder_.size() &&
            folderPart.compare(0, cachedFolder_.size(), cachedFolder_) == 0 &&
            folderPart[cachedFolder_.size()] == '/') {
            from = cachedFd_;
            start = cachedFolder_.size() + 1;
        }
    }
    int current = from;
    while (start <= folderPart.size()) {
        std::size_t end = folderPart.find('/', start);
        if (end == std::string::npos)
            end = folderPart.size();
        const std::string component = folderPart.substr(start, end - start);
        const int next = ::openat(current, component.c_str(), FolderFlags);
        const int saved = errno;
        if (current != from)
            ::close(current);
        if (next < 0) {
            errno = saved;
            return -1;
        }
        current = next;
        start = end + 1;
    }
    if (cachedFd_ >= 0)
        ::close(cachedFd_);
    cachedFd_ = current;
    cachedRoot_ = rootNumber;
    cachedFolder_ = folderPart;
    return ::openat(current, last.c_str(), FileFlags);
}

}  // namespace vza
