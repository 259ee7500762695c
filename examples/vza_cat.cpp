// SPDX-License-Identifier: MIT
// vza_cat: writes the plain bytes of one entry of an archive to stdout.
// A small example of the vza library.
//
//   vza_cat ARCHIVE NAME > file
//
// The entry is streamed in blocks and checked as it goes; should it prove
// damaged, vza_cat says so and exits 1, so a script must not trust partial
// output from a failed run. An encrypted archive takes its password from
// VZA_PASSWORD.
#include <cstdio>
#include <cstdlib>

#include <vza/archive/read/archive.h>

int main(int argc, char** argv)
{
    if (argc != 3) {
        std::fprintf(stderr, "usage: vza_cat ARCHIVE NAME\n");
        return 2;
    }
    const char* password = std::getenv("VZA_PASSWORD");

    vza::Archive archive;
    if (!archive.open(argv[1], password ? password : "")) {
        std::fprintf(stderr, "vza_cat: %s: %s\n", argv[1],
                     vza::errorMessage(archive.lastError(), archive.systemError()).c_str());
        return 1;
    }
    const std::int32_t index = archive.find(argv[2]);
    if (index < 0) {
        std::fprintf(stderr, "vza_cat: %s: no such entry\n", argv[2]);
        return 1;
    }
    const bool ok = archive.streamEntry(index, [](const std::uint8_t* data, std::size_t length) {
        return std::fwrite(data, 1, length, stdout) == length;
    });
    if (!ok || std::fflush(stdout) != 0) {
        std::fprintf(stderr, "vza_cat: %s: %s\n", argv[2],
                     vza::errorMessage(archive.lastError(), archive.systemError()).c_str());
        return 1;
    }
    return 0;
}
