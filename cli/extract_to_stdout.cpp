// SPDX-License-Identifier: MIT
#include "cli/extract_to_stdout.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "cli/commands.h"
#include "cli/display_name.h"

namespace vza::cli {

int extractToStdout(ArchiveInput& archive, const EntryNames& names, const std::vector<std::int32_t>& chosen,
                    Console& console, int failures)
{
    ProgressLine& progress = console.progress();
    std::uint64_t total = 0;
    for (std::int32_t index : chosen)
        total += archive.entry(index)->originalSize;
    progress.start(total);
    int writeError = 0;
    for (std::int32_t index : chosen) {
        const std::string text = names.text(index);
        progress.setEntry(text);
        const bool read = archive.streamEntry(index, [&](const std::uint8_t* data, std::size_t length) {
            if (std::fwrite(data, 1, length, stdout) != length) {
                writeError = errno != 0 ? errno : EIO;
                return false;
            }
            progress.advance(length);
            return true;
        });
        if (writeError != 0) {
            console.error(std::string("cannot write to standard output: ") + std::strerror(writeError));
            return ExitFatal;
        }
        if (!read) {
            std::fflush(stdout);
            console.error(quoted(text) + ": " + errorText(archive.lastError()) +
                          "; the bytes already written for it are not to be trusted");
            ++failures;
        }
    }
    progress.clear();
    return failures == 0 ? ExitOk : ExitPartial;
}

}  // namespace vza::cli
