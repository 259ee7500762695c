// SPDX-License-Identifier: MIT
// vza_list: prints the original size and the name of every entry of an
// archive, one a line. A small example of the vza library.
//
//   vza_list ARCHIVE
//
// An encrypted archive takes its password from VZA_PASSWORD.
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <vza/vza.h>

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: vza_list ARCHIVE\n");
        return 2;
    }
    // Built against other headers than the library linked? Say so.
    if (std::strcmp(vza::version(), VZA_VERSION_STRING) != 0)
        std::fprintf(stderr, "vza_list: built with vza %s, running with %s\n", VZA_VERSION_STRING, vza::version());
    const char* password = std::getenv("VZA_PASSWORD");

    vza::Archive archive;
    if (!archive.open(argv[1], password ? password : "")) {
        std::fprintf(stderr, "vza_list: %s: %s\n", argv[1],
                     vza::errorMessage(archive.lastError(), archive.systemError()).c_str());
        return 1;
    }
    for (std::int32_t i = 0; i < archive.entryCount(); ++i) {
        const std::optional<vza::EntryView> entry = archive.entry(i);
        // Names are bytes from the file: print them, but not as a format.
        std::printf("%10u  ", entry->originalSize);
        std::fwrite(entry->name.data(), 1, entry->name.size(), stdout);
        std::putchar('\n');
    }
    return std::fflush(stdout) == 0 ? 0 : 1;
}
