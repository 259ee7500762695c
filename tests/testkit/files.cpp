// SPDX-License-Identifier: MIT
#include "testkit/files.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>

namespace vza::test {

namespace fs = std::filesystem;

Bytes readBytes(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        throw std::runtime_error("cannot read " + path);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::string readFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        throw std::runtime_error("cannot read " + path);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void writeBytes(const std::string& path, const Bytes& bytes)
{
    writeFile(path, std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
}

void writeFile(const std::string& path, std::string_view data)
{
    const fs::path parent = fs::path(path).parent_path();
    if (!parent.empty())
        fs::create_directories(parent);
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(data.data(), static_cast<std::streamsize>(data.size()));
    out.close();
    if (!out)
        throw std::runtime_error("cannot write " + path);
}

bool fileExists(const std::string& path)
{
    return fs::exists(fs::symlink_status(path));
}

std::vector<std::string> listTree(const std::string& root)
{
    std::vector<std::string> paths;
    for (auto it = fs::recursive_directory_iterator(root); it != fs::recursive_directory_iterator(); ++it) {
        std::string relative = it->path().lexically_relative(root).string();
        if (it->is_symlink())
            relative += '@';
        else if (it->is_directory())
            relative += '/';
        paths.push_back(relative);
    }
    std::sort(paths.begin(), paths.end());
    return paths;
}

}  // namespace vza::test
