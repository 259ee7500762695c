// SPDX-License-Identifier: MIT
#include "testkit/temp_dir.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <stdexcept>

namespace vza::test {

TempDir::TempDir()
{
    // temp_directory_path() honours TMPDIR.
    std::string pattern = (std::filesystem::temp_directory_path() / "vza-test-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr)
        throw std::runtime_error("mkdtemp failed in " + pattern);
    path_ = pattern;
}

TempDir::~TempDir()
{
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
}

std::vector<std::string> TempDir::list() const
{
    std::vector<std::string> names;
    for (const auto& item : std::filesystem::directory_iterator(path_))
        names.push_back(item.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

}  // namespace vza::test
