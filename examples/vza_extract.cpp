// SPDX-License-Identifier: MIT
// vza_extract: writes every entry of an archive into a folder, under its
// stored name made safe. A small example of the vza library: the loop
// below is the one to copy for extracting.
//
//   vza_extract ARCHIVE FOLDER
//
// The folder is made when missing. Existing files are kept, not replaced.
// An entry that cannot be written is reported and the others are still
// tried; the exit status is then 1. An encrypted archive takes its password
// from VZA_PASSWORD.
#include <cstdio>
#include <cstdlib>
#include <string>

#include <vza/vza.h>

// Where a problem happened, for a message: the entry's output path, or the
// folder on its way for the folder problems.
static const std::string& placeOf(const vza::Extractor::Result& result)
{
    return result.at.empty() ? result.path : result.at;
}

int main(int argc, char** argv)
{
    if (argc != 3) {
        std::fprintf(stderr, "usage: vza_extract ARCHIVE FOLDER\n");
        return 2;
    }
    const char* password = std::getenv("VZA_PASSWORD");

    vza::Archive archive;
    if (!archive.open(argv[1], password ? password : "")) {
        std::fprintf(stderr, "vza_extract: %s: %s\n", argv[1],
                     vza::errorMessage(archive.lastError(), archive.systemError()).c_str());
        return 1;
    }

    // The extractor reaches every output file from the folder it opens here
    // and never follows a symbolic link inside it: whatever the names in the
    // archive, nothing is written outside FOLDER.
    vza::Extractor extractor(archive);
    extractor.options().overwrite = vza::Extractor::Overwrite::Keep;
    if (!extractor.open(argv[2])) {
        std::fprintf(stderr, "vza_extract: %s: %s\n", argv[2],
                     vza::errorMessage(vza::ArchiveError::CannotWriteOutput, extractor.openError()).c_str());
        return 1;
    }

    int failures = 0;
    for (std::int32_t i = 0; i < archive.entryCount(); ++i) {
        const vza::Extractor::Result result = extractor.extract(i);
        switch (result.status) {
        case vza::Extractor::Status::Written: std::printf("%s\n", result.path.c_str()); break;
        case vza::Extractor::Status::Skipped: std::printf("%s: exists, kept\n", result.path.c_str()); break;
        case vza::Extractor::Status::Failed:
        case vza::Extractor::Status::Cancelled:
            // error says what failed (reading the entry, writing the file),
            // systemError why, when the system refused.
            std::fprintf(stderr, "vza_extract: entry %d: %s: %s\n", static_cast<int>(i), placeOf(result).c_str(),
                         vza::errorMessage(result.error, result.systemError).c_str());
            ++failures;
            break;
        }
    }
    return failures == 0 && std::fflush(stdout) == 0 ? 0 : 1;
}
