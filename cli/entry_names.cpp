// SPDX-License-Identifier: MIT
#include "cli/entry_names.h"

#include "cli/display_name.h"
#include "vza/archive/format/format.h"

namespace vza::cli {
EntryNames::EntryNames(const EntryTable& table, NameEncodingChoice choice)
    : table_(table), encoding_(chooseNameEncoding(table.entries(), choice)),
      detected_(choice == NameEncodingChoice::Auto)
{}

std::string EntryNames::text(std::int32_t index) const
{
    const std::optional<EntryView> entry = table_.at(index);
    return entry ? decodeName(entry->name, encoding_) : std::string();
}

std::string EntryNames::key(std::int32_t index) const
{
    return toSlashes(text(index));
}

std::string EntryNames::operandKey(std::string_view operand) const
{
    return toSlashes(isValidUtf8(operand) ? std::string(operand) : decodeName(operand, encoding_));
}

std::string EntryNames::shown(std::int32_t index) const
{
    std::string out;
    appendShown(out, index);
    return out;
}

void EntryNames::appendShown(std::string& out, std::int32_t index) const
{
    const std::optional<EntryView> entry = table_.at(index);
    if (!entry)
        return;
    const std::string_view stored = entry->name;
    if (encoding_ == NameEncoding::Raw)
        appendDisplayBytes(out, stored);
    else if (encoding_ == NameEncoding::Utf8 && isValidUtf8(stored))
        appendDisplayName(out, stored);  // decoding would give the same bytes
    else
        appendDisplayName(out, decodeName(stored, encoding_));
}

std::string EntryNames::outputPath(std::int32_t index) const
{
    const std::optional<EntryView> entry = table_.at(index);
    return entry ? outputNameFor(entry->name, encoding_) : std::string();
}

}  // namespace vza::cli
