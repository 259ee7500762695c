// Helpers shared by the library tests: temporary folders, files, archives.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace vza::test {

using Bytes = std::vector<std::uint8_t>;

// A fresh folder under the system's temporary folder, removed with its
// contents when the object goes.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::string& path() const { return path_; }
    std::string operator/(const std::string& name) const { return path_ + "/" + name; }

    // Names of everything in the folder (not recursive), sorted.
    std::vector<std::string> list() const;

private:
    std::string path_;
};

Bytes bytesOf(const std::string& text);
Bytes randomBytes(std::size_t length, std::uint32_t seed);

void writeBytes(const std::string& path, const Bytes& bytes);
Bytes readBytes(const std::string& path);
bool fileExists(const std::string& path);

// Keys the process-wide cipher with the bytes of password.
void keyCipher(const std::string& password);

// The library's stored forms of plain bytes: a zlib stream (when shorter, as
// the writer keeps it), the sealed form under key, and for contrast a gzip
// stream, which the format does not accept.
Bytes zlibStream(const Bytes& plain);
Bytes sealedForm(const Bytes& bytes, const std::string& key);
Bytes gzipStream(const Bytes& plain);

struct TestEntry {
    std::string name;
    Bytes data;
};

// Builds an archive at path with the library's writer: each entry compressed
// and sealed as flags say; the cipher is keyed with password first when
// flags has FlagEncrypted.
void writeArchive(const std::string& path, const std::vector<TestEntry>& entries,
                  std::uint32_t flags, const std::string& password = "secret");

}  // namespace vza::test
