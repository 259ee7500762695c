// SPDX-License-Identifier: MIT
// libFuzzer target: arbitrary bytes as an archive file.
//
// Each input is written to a file in a private temporary folder and read
// through every reading call of the library (see archive_checks.h); a broken
// promise aborts, so libFuzzer keeps the input as a crash.
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include <unistd.h>

#include "fuzz/archive_checks.h"

namespace {

struct Workspace {
    std::string folder;
    std::string archive;
    std::string output;

    Workspace()
    {
        // tmpfs when there is one: every input is a file write and a few reads.
        const char* base = std::filesystem::exists("/dev/shm") ? "/dev/shm" : "/tmp";
        std::string pattern = std::string(base) + "/vza-fuzz-XXXXXX";
        if (!mkdtemp(pattern.data()))
            std::abort();
        folder = pattern;
        archive = folder + "/input.vza";
        output = folder + "/out";
        std::filesystem::create_directory(output);
    }
    ~Workspace()
    {
        std::error_code ignored;
        std::filesystem::remove_all(folder, ignored);
    }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static Workspace workspace;
    std::FILE* file = std::fopen(workspace.archive.c_str(), "wb");
    if (!file || std::fwrite(data, 1, size, file) != size || std::fclose(file) != 0)
        std::abort();
    const std::string problem = vza::fuzz::checkArchiveFile(workspace.archive, workspace.output);
    if (!problem.empty()) {
        std::fprintf(stderr, "broken promise: %s\n", problem.c_str());
        std::abort();
    }
    return 0;
}
