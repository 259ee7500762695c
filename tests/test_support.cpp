#include "test_support.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <stdexcept>
#include <zlib.h>

#include "archive/archive_index.h"
#include "archive/archive_writer.h"
#include "archive/data_buffer.h"
#include "archive/format.h"
#include "codec/blowfish.h"

namespace vza::test {

TempDir::TempDir()
{
    std::string pattern = (std::filesystem::temp_directory_path() / "vza-test-XXXXXX").string();
    if (!mkdtemp(pattern.data()))
        throw std::runtime_error("mkdtemp failed");
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

Bytes bytesOf(const std::string& text)
{
    return Bytes(text.begin(), text.end());
}

Bytes randomBytes(std::size_t length, std::uint32_t seed)
{
    std::mt19937 random(seed);
    Bytes bytes(length);
    for (auto& byte : bytes)
        byte = static_cast<std::uint8_t>(random());
    return bytes;
}

void writeBytes(const std::string& path, const Bytes& bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    if (!out)
        throw std::runtime_error("cannot write " + path);
}

Bytes readBytes(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        throw std::runtime_error("cannot read " + path);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

bool fileExists(const std::string& path)
{
    return std::filesystem::exists(std::filesystem::symlink_status(path));
}

void keyCipher(const std::string& password)
{
    setKey(reinterpret_cast<const std::uint8_t*>(password.data()), password.size());
}

Bytes zlibStream(const Bytes& plain)
{
    DataBuffer buffer;
    buffer.assign(plain.data(), plain.size());
    if (!buffer.compress())
        throw std::runtime_error("compress failed");
    return buffer.bytes;
}

Bytes sealedForm(const Bytes& bytes, const std::string& key)
{
    keyCipher(key);
    DataBuffer buffer;
    buffer.assign(bytes.data(), bytes.size());
    buffer.encrypt();
    return buffer.bytes;
}

Bytes gzipStream(const Bytes& plain)
{
    z_stream stream{};
    deflateInit2(&stream, Z_DEFAULT_COMPRESSION, Z_DEFLATED, 15 + 16, 8, Z_DEFAULT_STRATEGY);
    Bytes out(plain.size() + 64);
    stream.next_in = const_cast<Bytef*>(plain.data());
    stream.avail_in = static_cast<uInt>(plain.size());
    stream.next_out = out.data();
    stream.avail_out = static_cast<uInt>(out.size());
    deflate(&stream, Z_FINISH);
    out.resize(stream.total_out);
    deflateEnd(&stream);
    return out;
}

void writeArchive(const std::string& path, const std::vector<TestEntry>& entries,
                  std::uint32_t flags, const std::string& password)
{
    if (flags & FlagEncrypted)
        keyCipher(password);
    ArchiveIndex index;
    for (const TestEntry& entry : entries) {
        DataBuffer buffer;
        buffer.assign(entry.data.data(), entry.data.size());
        buffer.setName(entry.name);
        if (!prepareStored(buffer, flags))
            throw std::runtime_error("prepareStored failed");
        index.addEntry(buffer);
    }
    index.setPath(path);
    if (!index.save(flags))
        throw std::runtime_error("save failed: " + path);
}

}  // namespace vza::test
