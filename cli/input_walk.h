// The files that "vza create" packs, and the entry name of each.
//
// Paths are taken as given: relative, with "." components and repeated
// slashes dropped ("./src//a.c" is stored as "src/a.c"). Folders are walked
// recursively with their contents in sorted byte order. Absolute paths and
// ".." are refused: such a name would point outside the folder it is later
// extracted into. Symbolic links and special files are skipped.
#pragma once

#include <cstdint>
#include <string>
#include <sys/stat.h>
#include <vector>

#include "cli/console.h"

namespace vza::cli {

struct InputFile {
    std::string name;     // its entry name, before backslashes become slashes
    std::uint32_t root;   // the operand it was found under
    std::uint64_t size;   // its size when it was found
};

class InputWalk {
public:
    // skip: the archive being written, when it exists already, so that a
    // second run over the same folder does not pack the old archive.
    InputWalk(Console& console, const struct stat* skip) : console_(console), skip_(skip) {}

    // Adds the file or folder operand; problems are reported and counted.
    void add(const std::string& operand);

    // Drops the files named a second time (operands that overlap), keeping
    // the first. Call once, after the last add().
    void finish();

    const std::vector<InputFile>& files() const { return files_; }

    // Where file is read from: its operand as given, then the rest of its name.
    std::string pathOf(const InputFile& file) const;
    std::uint64_t totalSize() const { return totalSize_; }
    int problems() const { return problems_; }

private:
    void addPath(const std::string& path, const std::string& name);
    void addFolder(const std::string& path, const std::string& name);

    // An operand: its path as given (without trailing slashes) and its name.
    struct Root {
        std::string path;
        std::string name;
    };
    void problem(const std::string& message);

    Console& console_;
    const struct stat* skip_;
    // Many thousands of files are held here at once: the path of each is
    // not stored but made again from its root.
    std::vector<Root> roots_;
    std::vector<InputFile> files_;
    std::uint64_t totalSize_ = 0;
    int problems_ = 0;
};

}  // namespace vza::cli
