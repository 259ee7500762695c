// SPDX-License-Identifier: MIT
// How vza words what a run checked and what it left alone.
#pragma once

#include <cstdint>
#include <string>

#include "vza/archive/format/entry_check.h"
#include "vza/archive/names/name_verdict.h"

namespace vza::cli {

// "1 entry" / "3 entries": count and the noun that goes with it.
std::string counted(std::uint64_t count, const char* one, const char* many);

// "3 stored entries have no check in this format".
std::string uncheckedText(std::uint64_t unchecked);

// test's last line: "12 entries OK" or "1 of 15 entries FAILED", and then
// ", 3 stored entries have no check in this format" when there are such.
std::string testSummary(const CheckTally& tally);

// Why extract refuses an entry by its name ("the name holds a NUL byte").
std::string refusalReason(NameVerdict verdict);

}  // namespace vza::cli
