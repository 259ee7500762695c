// SPDX-License-Identifier: MIT
// vza list --json: the listing as one JSON document, for scripts.
//
//   {"flags":6,"encrypted":true,"compressed":true,"encoding":"cp932","entries":[
//   {"index":0,"name":"日本語/報告書.txt","size":6,"stored_size":14},
//   {"index":1,"name":"r\ufffdsum\ufffd","name_hex":"72e973756de9","size":2,"stored_size":10}
//   ]}
//
// Always UTF-8. name is the entry's name as text, exactly (never escaped for
// display: scripts need the real characters); where the stored bytes are not
// valid in the encoding read, each bad byte is U+FFFD there and name_hex
// holds the bytes themselves. index counts from 0, as the library does.
// Entries go out as they are made, one a line, so that a million of them
// cost no more memory than the table listing does.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "cli/entry_names.h"

namespace vza::cli {

// text (UTF-8) as a JSON string, quotes included: '"', '\' and U+0000 to
// U+001F escaped as JSON requires; DEL, the C1 and bidirectional controls
// and U+2028/U+2029 escaped as \uXXXX too, so that printing the document
// cannot drive or reorder a terminal; everything else as it is.
void appendJsonString(std::string& out, std::string_view text);

// The document's opening up to the entries' '[' and its line end.
void appendJsonHead(std::string& out, std::uint32_t flags, NameEncoding encoding);

// One entry's object; first tells whether it is the first (the others
// start with the comma and line end after the one before).
void appendJsonEntry(std::string& out, const EntryNames& names, std::int32_t index, bool first);

// The end of the document, after anyEntry or none.
void appendJsonTail(std::string& out, bool anyEntry);

}  // namespace vza::cli
