// SPDX-License-Identifier: MIT
// The question extract asks about a file that exists, as unzip asks it:
//
//     replace out/notes.txt? [y]es, [n]o, [A]ll, [N]one, [r]ename:
//
// Asked on standard error, answered on standard input, only when both are
// terminals (see askingPossible): a script never meets it. All and None
// answer every later question too; rename asks for a new last component,
// offering a free one ("notes (2).txt"). The end of input answers None.
// Interrupted here (Ctrl-C), vza ends as on any signal: nothing of the entry
// asked about has been written yet.
#pragma once

#include <cstdint>
#include <string>

#include "cli/console.h"
#include "vza/archive/extract/extractor.h"

namespace vza::cli {

// Whether extract may ask: standard input and standard error are terminals,
// and standard input is not the archive.
bool askingPossible(const std::string& archivePath);

class OverwriteQuestion {
public:
    // outputDir: the folder the paths asked about are under, as given (-C).
    OverwriteQuestion(Extractor& extractor, Console& console, std::string outputDir);

    // Extractor::Options::decideOverwrite.
    Extractor::OverwriteAnswer operator()(std::int32_t index, const std::string& path);

private:
    enum class Standing { Ask, ReplaceAll, KeepAll };

    std::string shownPath(const std::string& path) const;
    bool readLine(std::string& line);
    Extractor::OverwriteAnswer askForName(const std::string& path);

    Extractor& extractor_;
    Console& console_;
    std::string outputDir_;
    Standing standing_ = Standing::Ask;
};

}  // namespace vza::cli
