// The names of an archive's entries as vza shows, matches and writes them.
//
// Stored names are bytes in whatever encoding the archive was made with.
// text() is the name as text (UTF-8), the form that patterns match and
// that extracted files are named by; shown() is text() made safe to print.
#pragma once

#include <cstdint>
#include <string>

#include "archive/entry_table.h"

namespace vza::cli {

class EntryNames {
public:
    // mode: the --names value ("auto", "utf8", "cp932" or "raw").
    EntryNames(const EntryTable& table, const std::string& mode);

    std::string text(std::int32_t index) const;
    std::string shown(std::int32_t index) const;

private:
    const EntryTable& table_;
};

}  // namespace vza::cli
