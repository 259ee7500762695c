// The folder that "vza extract" writes into, and the checks that keep every
// output file inside it.
//
// A folder on an entry's way that already exists must be a real folder: a
// symbolic link (DIR/a -> /etc) would carry "a/passwd" out of DIR, so each
// component is checked with lstat and missing ones are created here with
// mkdir, which never follows a link. Checked folders are remembered, so the
// many entries of one folder cost one check, and in a folder created by this
// run nothing can be in the way, so no stat is needed there at all.
#pragma once

#include <string>
#include <sys/stat.h>
#include <unordered_map>

namespace vza::cli {

class OutputTree {
public:
    // Writes under root, which is created (with its parents) when missing.
    // root itself is the user's choice and may be a link. False with error.
    bool open(const std::string& root, std::string& error);

    struct Slot {
        std::string path;       // the output file's path
        bool exists = false;    // something sits at path already
        struct stat status {};  // lstat of it, when exists
    };

    // Prepares relative, a path made by safeOutputName (components joined
    // by '/', none empty, "." or ".."): every folder before its last
    // component exists as a real folder inside root, and slot says what is
    // at the target now. False with error when a component is a link or not
    // a folder, or a folder cannot be created.
    bool prepare(const std::string& relative, Slot& slot, std::string& error);

private:
    bool ensureFolder(const std::string& relative, bool& fresh, std::string& error);
    std::string join(const std::string& relative) const;

    std::string root_;
    bool rootFresh_ = false;
    // Folders known to be real, by relative path, and whether this run made them.
    std::unordered_map<std::string, bool> folders_;
};

}  // namespace vza::cli
