#include "cli/input_walk.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <dirent.h>

#include "archive/format.h"
#include "archive/path_components.h"
#include "cli/display_name.h"

namespace vza::cli {
namespace {

// The entry name of operand, or false with the reason it cannot be one.
bool entryNameOf(const std::string& operand, std::string& name, std::string& reason)
{
    if (operand.empty()) {
        reason = "an empty path cannot be added";
        return false;
    }
    if (startsAtRoot(operand)) {
        reason = "absolute paths are refused; give a path relative to the current folder";
        return false;
    }
    const std::vector<std::string_view> components = splitComponents(operand, Backslash::IsByte);
    for (const std::string_view component : components) {
        if (componentKind(component) == ComponentKind::DotDot) {
            reason = "'..' is refused in names: it would lead out of the folder the archive is extracted into";
            return false;
        }
    }
    name = joinNameComponents(components);
    return true;
}

}  // namespace

void InputWalk::problem(const std::string& message)
{
    console_.error(message);
    ++problems_;
}

void InputWalk::add(const std::string& operand)
{
    std::string name;
    std::string reason;
    if (!entryNameOf(operand, name, reason)) {
        problem(quoted(operand) + ": " + reason);
        return;
    }
    // Without its trailing slashes, so that lstat sees a link as a link.
    std::string path = operand;
    while (path.size() > 1 && path.back() == '/')
        path.pop_back();
    roots_.push_back(Root{path, name});
    addPath(path, name);
}

std::string InputWalk::pathOf(const InputFile& file) const
{
    const Root& root = roots_[file.root];
    if (file.name.size() == root.name.size())
        return root.path;
    const std::string rest = file.name.substr(root.name.empty() ? 0 : root.name.size() + 1);
    return root.path == "." ? rest : root.path + "/" + rest;
}

void InputWalk::finish()
{
    std::vector<std::uint32_t> order(files_.size());
    for (std::uint32_t i = 0; i < order.size(); ++i)
        order[i] = i;
    std::stable_sort(order.begin(), order.end(),
                     [this](std::uint32_t a, std::uint32_t b) { return files_[a].name < files_[b].name; });
    std::vector<bool> repeated(files_.size(), false);
    for (std::size_t k = 1; k < order.size(); ++k) {
        if (files_[order[k]].name == files_[order[k - 1]].name)
            repeated[order[k]] = true;
    }
    std::size_t kept = 0;
    for (std::size_t i = 0; i < files_.size(); ++i) {
        if (repeated[i]) {
            totalSize_ -= files_[i].size;
            continue;
        }
        if (kept != i)
            files_[kept] = std::move(files_[i]);
        ++kept;
    }
    files_.resize(kept);
}

void InputWalk::addPath(const std::string& path, const std::string& name)
{
    struct stat status {};
    if (lstat(path.c_str(), &status) != 0) {
        problem("cannot read " + quoted(path) + ": " + std::strerror(errno));
        return;
    }
    if (S_ISDIR(status.st_mode)) {
        addFolder(path, name);
        return;
    }
    if (S_ISLNK(status.st_mode)) {
        console_.warning("skipped symbolic link " + quoted(path));
        ++problems_;
        return;
    }
    if (!S_ISREG(status.st_mode)) {
        console_.warning("skipped special file " + quoted(path));
        ++problems_;
        return;
    }
    if (skip_ != nullptr && status.st_dev == skip_->st_dev && status.st_ino == skip_->st_ino) {
        if (console_.verbose())
            console_.line("not adding the archive itself: " + quoted(path));
        return;
    }
    const std::string stored = toSlashes(name);
    if (stored != name)
        console_.warning(quoted(name) + " is stored as " + quoted(stored) + " (backslashes become slashes)");
    totalSize_ += static_cast<std::uint64_t>(status.st_size);
    files_.push_back(InputFile{name, static_cast<std::uint32_t>(roots_.size() - 1),
                               static_cast<std::uint64_t>(status.st_size)});
}

void InputWalk::addFolder(const std::string& path, const std::string& name)
{
    DIR* folder = opendir(path.c_str());
    if (folder == nullptr) {
        problem("cannot read folder " + quoted(path) + ": " + std::strerror(errno));
        return;
    }
    std::vector<std::string> children;
    errno = 0;
    while (const dirent* child = readdir(folder)) {
        const std::string childName = child->d_name;
        if (childName != "." && childName != "..")
            children.push_back(childName);
        errno = 0;
    }
    const int readError = errno;
    closedir(folder);
    if (readError != 0)
        problem("cannot read folder " + quoted(path) + ": " + std::strerror(readError));
    std::sort(children.begin(), children.end());
    const std::string prefix = path == "." ? std::string() : path + "/";
    const std::string namePrefix = name.empty() ? std::string() : name + "/";
    for (const std::string& child : children)
        addPath(prefix + child, namePrefix + child);
}

}  // namespace vza::cli
