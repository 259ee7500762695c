// SPDX-License-Identifier: MIT
#include "cli/check_words.h"

#include "vza/archive/names/path_components.h"

namespace vza::cli {

std::string counted(std::uint64_t count, const char* one, const char* many)
{
    return std::to_string(count) + (count == 1 ? one : many);
}

std::string uncheckedText(std::uint64_t unchecked)
{
    return counted(unchecked, " stored entry has", " stored entries have") + " no check in this format";
}

std::string testSummary(const CheckTally& tally)
{
    std::string text = tally.failed == 0
                           ? counted(tally.checked, " entry OK", " entries OK")
                           : std::to_string(tally.failed) + " of " + std::to_string(tally.total()) + " entries FAILED";
    if (tally.unchecked > 0)
        text += ", " + uncheckedText(tally.unchecked);
    return text;
}

std::string refusalReason(NameVerdict verdict)
{
    switch (verdict) {
    case NameVerdict::Writable: break;
    case NameVerdict::Empty: return "the name is empty";
    case NameVerdict::HoldsNul: return "the name holds a NUL byte";
    case NameVerdict::NothingSafe: return "nothing safe is left of the name";
    case NameVerdict::TooManyComponents:
        return "the name has more than " + std::to_string(MaxComponents) + " components";
    case NameVerdict::ComponentTooLong: return "name too long";
    }
    return "";
}

}  // namespace vza::cli
