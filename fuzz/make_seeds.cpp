// SPDX-License-Identifier: MIT
// Writes the seed corpus of the fuzz targets with the library's own writer:
// small archives (plain, compressed, encrypted, both) for fuzz_archive,
// stored entries in every form for fuzz_decoder, zlib streams for
// fuzz_inflate and plain bytes for fuzz_deflate.
//
// Usage: make_seeds <folder>; creates <folder>/archive, decoder, inflate and deflate.
#include <zlib.h>

#include <algorithm>
#include <cstdio>
#include <exception>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <vector>

#include "fuzz/archive_checks.h"
#include "fuzz/decoder_checks.h"
#include "testkit/archive_builder.h"
#include "testkit/data.h"
#include "testkit/files.h"
#include "testkit/stored_forms.h"
#include "vza/archive/format/data_buffer.h"
#include "vza/archive/format/format.h"
#include "vza/archive/write/archive_writer.h"

namespace {

using vza::test::Bytes;
using vza::test::TestEntry;

const std::vector<TestEntry> Entries = {
    {"readme.txt", "hello"},
    {"dir/prose.txt", vza::test::compressibleBytes(600)},  // shrinks
    {"noise.bin", vza::test::randomBytes(40, 1)},          // does not
    {"empty", Bytes{}},
    {"", "no name"},
};

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
    std::filesystem::create_directories(folder + "/inflate");
    std::filesystem::create_directories(folder + "/deflate");

    const std::vector<std::pair<std::string, std::uint32_t>> forms = {
        {"plain", 0},
        {"compressed", vza::FlagCompressed},
        {"encrypted", vza::FlagEncrypted},
        {"both", vza::FlagEncrypted | vza::FlagCompressed},
    };
    try {
        const std::string password(vza::fuzz::FuzzPassword);
        for (const auto& [form, flags] : forms) {
            vza::test::writeArchiveAsGiven(folder + "/archive/" + form + ".vza", Entries, flags, password);
            vza::test::writeArchive(folder + "/archive/" + form + "-empty.vza", {}, flags, password);

            int number = 0;
            for (const TestEntry& entry : Entries) {
                vza::DataBuffer buffer;
                buffer.assign(entry.data.data(), entry.data.size());
                vza::test::keyCipher(std::string(vza::fuzz::DecoderKey));
                if (!vza::prepareStored(buffer, flags))
                    throw std::runtime_error("prepareStored failed");
                // Whole, and in pieces of one block.
                for (std::uint8_t blocks : {0, 1}) {
                    const std::string name = folder + "/decoder/" + form + "-" + std::to_string(number++);
                    vza::test::writeBytes(name, vza::fuzz::decoderInput(static_cast<std::uint8_t>(flags), blocks,
                                                                        static_cast<std::uint32_t>(entry.data.size()),
                                                                        buffer.bytes));
                }
            }
        }
        // fuzz_inflate: each entry as a zlib stream, fed whole and in pieces of
        // 7, its limit the exact size.
        int number = 0;
        for (const TestEntry& entry : Entries) {
            uLongf length = compressBound(entry.data.size());
            std::vector<std::uint8_t> stream(length);
            if (compress2(stream.data(), &length, entry.data.data(), entry.data.size(), 6) != Z_OK)
                throw std::runtime_error("compress2 failed");
            stream.resize(length);
            for (std::uint8_t piece : {0, 7}) {
                const auto limit = static_cast<std::uint32_t>(std::min<std::size_t>(entry.data.size(), 0xFFFFFF));
                std::vector<std::uint8_t> input = {piece, static_cast<std::uint8_t>(limit >> 16),
                                                   static_cast<std::uint8_t>(limit >> 8),
                                                   static_cast<std::uint8_t>(limit)};
                input.insert(input.end(), stream.begin(), stream.end());
                vza::test::writeBytes(folder + "/inflate/stream-" + std::to_string(number++), input);
            }
        }
        // fuzz_deflate: each entry at the default level and at 1, whole and
        // in pieces of 98 bytes.
        number = 0;
        for (const TestEntry& entry : Entries) {
            for (const std::uint8_t level : {0, 2}) {
                for (const std::uint8_t piece : {0, 1}) {
                    std::vector<std::uint8_t> input = {level, piece};
                    input.insert(input.end(), entry.data.begin(), entry.data.end());
                    vza::test::writeBytes(folder + "/deflate/plain-" + std::to_string(number++), input);
                }
            }
        }
    } catch (const std::exception& error) {
        std::fprintf(stderr, "make_seeds: could not write the seeds: %s\n", error.what());
        return 1;
    }
    return 0;
}
