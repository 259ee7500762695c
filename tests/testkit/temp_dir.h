// SPDX-License-Identifier: MIT
// A scratch folder for one test, benchmark or seed run.
#pragma once

#include <string>
#include <vector>

namespace vza::test {

// A fresh folder under TMPDIR (or /tmp), removed with everything in it when
// the object goes. Removal never follows a symbolic link out of the folder.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::string& path() const { return path_; }

    // The path of name (which may hold '/') inside the folder.
    std::string operator/(const std::string& name) const { return path_ + "/" + name; }

    // Names of everything directly in the folder, sorted.
    std::vector<std::string> list() const;

private:
    std::string path_;
};

}  // namespace vza::test
