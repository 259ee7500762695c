// Writes the seed corpus of the fuzz targets with the library's own writer:
// small archives (plain, compressed, encrypted, both) for fuzz_archive and
// stored entries in every form for fuzz_decoder.
//
// Usage: make_seeds <folder>; creates <folder>/archive and <folder>/decoder.
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "archive/archive_index.h"
#include "archive/archive_writer.h"
#include "archive/data_buffer.h"
#include "archive/format.h"
#include "codec/blowfish.h"
#include "fuzz/archive_checks.h"
#include "fuzz/decoder_checks.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

struct Seed {
    std::string name;
    Bytes data;
};

Bytes text(const std::string& s) { return Bytes(s.begin(), s.end()); }

// Repetitive enough for zlib to shrink it.
Bytes prose(std::size_t length)
{
    const std::string line = "the quick brown fox jumps over the lazy dog; ";
    Bytes out;
    for (std::size_t i = 0; out.size() < length; ++i)
        out.push_back(static_cast<std::uint8_t>(line[i % line.size()]));
    return out;
}

// Does not shrink.
Bytes noise(std::size_t length)
{
    Bytes out(length);
    std::uint32_t x = 2463534242u;
    for (auto& byte : out) {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        byte = static_cast<std::uint8_t>(x);
    }
    return out;
}

const std::vector<Seed> Entries = {
    {"readme.txt", text("hello")},
    {"dir/prose.txt", prose(600)},
    {"noise.bin", noise(40)},
    {"empty", {}},
    {"", text("no name")},
};

bool writeArchive(const std::string& path, std::uint32_t flags, const std::vector<Seed>& entries)
{
    vza::setKey(reinterpret_cast<const std::uint8_t*>(vza::fuzz::FuzzPassword.data()),
                vza::fuzz::FuzzPassword.size());
    vza::ArchiveIndex index;
    for (const Seed& entry : entries) {
        vza::DataBuffer buffer;
        buffer.assign(entry.data.data(), entry.data.size());
        buffer.setName(entry.name);
        if (!vza::prepareStored(buffer, flags))
            return false;
        index.addEntry(buffer);
    }
    index.setPath(path);
    return index.save(flags);
}

bool writeFile(const std::string& path, const Bytes& bytes)
{
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (!file)
        return false;
    const bool ok = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    return std::fclose(file) == 0 && ok;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s <folder>\n", argv[0]);
        return 2;
    }
    const std::string folder = argv[1];
    std::filesystem::create_directories(folder + "/archive");
    std::filesystem::create_directories(folder + "/decoder");

    const std::vector<std::pair<std::string, std::uint32_t>> forms = {
        {"plain", 0},
        {"compressed", vza::FlagCompressed},
        {"encrypted", vza::FlagEncrypted},
        {"both", vza::FlagEncrypted | vza::FlagCompressed},
    };
    bool ok = true;
    for (const auto& [form, flags] : forms) {
        ok = ok && writeArchive(folder + "/archive/" + form + ".vza", flags, Entries);
        ok = ok && writeArchive(folder + "/archive/" + form + "-empty.vza", flags, {});

        int number = 0;
        for (const Seed& entry : Entries) {
            vza::DataBuffer buffer;
            buffer.assign(entry.data.data(), entry.data.size());
            vza::setKey(reinterpret_cast<const std::uint8_t*>(vza::fuzz::DecoderKey.data()),
                        vza::fuzz::DecoderKey.size());
            ok = ok && vza::prepareStored(buffer, flags);
            // Whole, and in pieces of one block.
            for (std::uint8_t blocks : {0, 1}) {
                const std::string name = folder + "/decoder/" + form + "-" + std::to_string(number++);
                ok = ok && writeFile(name, vza::fuzz::decoderInput(static_cast<std::uint8_t>(flags), blocks,
                                                                    static_cast<std::uint32_t>(entry.data.size()),
                                                                    buffer.bytes));
            }
        }
    }
    if (!ok) {
        std::fprintf(stderr, "make_seeds: could not write the seeds\n");
        return 1;
    }
    return 0;
}
