// SPDX-License-Identifier: MIT
// Whether an entry can be extracted, judged from its stored name alone.
//
// One rule for every command that reads names: extract refuses such an entry
// before anything is made for it, and test and list say the same about it.
// The name goes the one way names go: stored bytes, decoded in the archive's
// encoding (name_decoding.h), made safe (safe_name.h), then measured against
// the limits of path_components.h. What depends on where the output lands
// (the length of the whole path under a folder) is the extractor's to judge.
#pragma once

#include <string>
#include <string_view>

#include "vza/archive/names/name_decoding.h"

namespace vza {

enum class NameVerdict {
    Writable,           // it has an output path within the limits
    Empty,              // the stored name is empty
    HoldsNul,           // the decoded name holds a zero byte, which no file name can
    NothingSafe,        // nothing is left once "..", "." and leading slashes go
    TooManyComponents,  // more than MaxComponents components
    ComponentTooLong,   // a component longer than MaxComponentLength bytes
};

// The verdict on stored under encoding; when it is Writable and outputPath
// is given, the relative output path (outputNameFor's) is stored there.
// Plain ASCII names that are safe as they stand cost one pass and no copy.
NameVerdict judgeStoredName(std::string_view stored, NameEncoding encoding, std::string* outputPath = nullptr);

}  // namespace vza
