// SPDX-License-Identifier: MIT
// The names of an archive's entries as vza shows, matches and writes them.
//
// Stored names are bytes in whatever encoding the archive was made with;
// the library decides it once per archive (see archive/names/name_decoding.h), as
// the desktop program does, so that both show and write the same names.
// text() is the name as text (UTF-8), the form that patterns match;
// shown() is text() made safe to print; outputPath() is where extract
// writes the entry.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "vza/archive/format/entry_table.h"
#include "vza/archive/names/name_decoding.h"

namespace vza::cli {

class EntryNames {
public:
    // choice: as --names gave it (the parser has checked it).
    EntryNames(const EntryTable& table, NameEncodingChoice choice);

    const EntryTable& table() const { return table_; }
    NameEncoding encoding() const { return encoding_; }
    // Whether the encoding was detected (--names auto) rather than chosen.
    bool detected() const { return detected_; }
    std::string text(std::int32_t index) const;
    std::string shown(std::int32_t index) const;
    // The form names are matched in: text() with every backslash a slash.
    std::string key(std::int32_t index) const;
    // An operand in that form: read as UTF-8 when it is valid UTF-8 (typed
    // on the terminal), else in the archive's encoding, as stored names are.
    std::string operandKey(std::string_view operand) const;
    // shown(index) appended to out. A valid UTF-8 name read as UTF-8 (the
    // common case) is escaped straight from the index, with no copy of its own.
    void appendShown(std::string& out, std::int32_t index) const;
    // The relative output path; "" when nothing safe is left of the name.
    std::string outputPath(std::int32_t index) const;

private:
    const EntryTable& table_;
    NameEncoding encoding_;
    bool detected_;
};

}  // namespace vza::cli
