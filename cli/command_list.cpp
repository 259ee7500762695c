// SPDX-License-Identifier: MIT
// vza list: the index of an archive as a table.
#include <cstdio>
#include <cstring>
#include <string>

#include "cli/check_words.h"
#include "cli/commands.h"
#include "cli/display_name.h"
#include "cli/entry_selection.h"
#include "cli/json_listing.h"
#include "cli/open_archive.h"
#include "vza/archive/format/format.h"
#include "vza/archive/names/name_verdict.h"
#include "vza/archive/read/archive.h"

namespace vza::cli {
namespace {

// Space saved by storing, in whole percent; negative when the stored form is
// longer (a sealed entry carries at least 8 bytes more).
long long savedPercent(std::uint64_t size, std::uint64_t stored)
{
    if (size == 0)
        return 0;
    const double saved = 100.0 * (static_cast<double>(size) - static_cast<double>(stored)) / static_cast<double>(size);
    return static_cast<long long>(saved < 0 ? saved - 0.5 : saved + 0.5);
}

// Writes the digits of magnitude, '-' first when negative, right-aligned in
// width columns (wider when it needs more), as printf's %*lld would put them;
// returns the end. at must have room for max(width, 21) characters.
char* putNumber(char* at, unsigned long long magnitude, bool negative, int width)
{
    char digits[24];
    char* const end = digits + sizeof digits;
    char* first = end;
    do {
        *--first = static_cast<char>('0' + magnitude % 10);
        magnitude /= 10;
    } while (magnitude != 0);
    if (negative)
        *--first = '-';
    const auto length = static_cast<int>(end - first);
    for (int pad = width - length; pad > 0; --pad)
        *at++ = ' ';
    std::memcpy(at, first, static_cast<std::size_t>(length));
    return at + length;
}

// The numbers of one row of the table, up to where the name starts: built
// in place and appended at once, without printf's cost per row.
void appendNumbers(std::string& out, std::uint64_t size, std::uint64_t stored)
{
    char row[80];
    char* at = putNumber(row, size, false, 10);
    *at++ = ' ';
    at = putNumber(at, stored, false, 10);
    *at++ = ' ';
    const long long saved = savedPercent(size, stored);
    at = putNumber(at,
                   saved < 0 ? 0ULL - static_cast<unsigned long long>(saved) : static_cast<unsigned long long>(saved),
                   saved < 0, 5);
    std::memcpy(at, "%  ", 3);
    out.append(row, at + 3);
}

// Lines of the listing gathered into one buffer and written in large
// pieces: a million rows cost a few hundred writes, not a million.
class ListingBuffer {
public:
    explicit ListingBuffer(Console& console) : console_(console) { text_.reserve(Limit + 4096); }
    ~ListingBuffer() { flush(); }

    std::string& text() { return text_; }

    // Ends the current line, writing the buffer out once it is large.
    void endLine()
    {
        text_ += '\n';
        flushWhenLarge();
    }

    void flushWhenLarge()
    {
        if (text_.size() >= Limit)
            flush();
    }

    void flush()
    {
        console_.lines(text_);
        text_.clear();
    }

private:
    static constexpr std::size_t Limit = 1 << 20;
    Console& console_;
    std::string text_;
};

std::string flagsText(std::uint32_t flags)
{
    std::string text;
    if (flags & FlagEncrypted)
        text += "encrypted";
    if (flags & FlagCompressed)
        text += text.empty() ? "compressed" : ", compressed";
    return text.empty() ? "plain" : text;
}

// A Latin-1 archive whose names all happen to decode as CP932 is read as
// Shift_JIS by the rule; when a reading looks wrong, say once how to read
// the names otherwise.
void suggestLatin1(const ArchiveInput& archive, const EntryNames& names, Console& console)
{
    if (!names.detected() || names.encoding() != NameEncoding::Cp932)
        return;
    const std::int64_t doubtful = firstDoubtfulCp932Name(archive.entryTable().entries());
    if (doubtful >= 0)
        console.note("the names are read as Shift_JIS, yet " + quoted(names.text(static_cast<std::int32_t>(doubtful))) +
                     " reads like Latin-1; --names latin1 reads them so");
}

// Says, once for each, which entries extract would refuse by their names.
void warnRefused(const EntryNames& names, const std::vector<std::int32_t>& chosen, Console& console)
{
    const EntryRecords& entries = names.table().entries();
    for (const std::int32_t index : chosen) {
        const NameVerdict verdict = judgeStoredName(entries.name(static_cast<std::size_t>(index)), names.encoding());
        if (verdict == NameVerdict::Writable)
            continue;
        std::string who = "'";
        if (verdict == NameVerdict::Empty) {
            who = "entry " + std::to_string(index + 1);
        } else {
            names.appendShown(who, index);
            who += '\'';
        }
        console.warning(who + ": " + refusalReason(verdict) + "; extract refuses it");
    }
}

void listJson(const ArchiveInput& archive, const EntryNames& names, const std::vector<std::int32_t>& chosen,
              ListingBuffer& out)
{
    appendJsonHead(out.text(), archive.flags(), names.encoding());
    for (std::size_t k = 0; k < chosen.size(); ++k) {
        appendJsonEntry(out.text(), names, chosen[k], k == 0);
        out.flushWhenLarge();
    }
    appendJsonTail(out.text(), !chosen.empty());
}

void listTable(const ArchiveInput& archive, const EntryNames& names, const std::vector<std::int32_t>& chosen,
               ListingBuffer& out, bool verbose)
{
    if (verbose) {
        out.text() += "Archive: " + archive.shownPath() + " (" + flagsText(archive.flags()) + ")";
        out.endLine();
    }
    out.text() += "      Size     Stored  Saved  Name\n";
    out.text() += "---------- ---------- ------  ----\n";
    std::uint64_t totalSize = 0;
    std::uint64_t totalStored = 0;
    for (std::int32_t index : chosen) {
        const std::optional<EntryView> entry = archive.entry(index);
        appendNumbers(out.text(), entry->originalSize, entry->storedSize);
        names.appendShown(out.text(), index);
        out.endLine();
        totalSize += entry->originalSize;
        totalStored += entry->storedSize;
    }
    out.text() += "---------- ---------- ------  ----\n";
    const std::size_t count = chosen.size();
    appendNumbers(out.text(), totalSize, totalStored);
    out.text() += std::to_string(count) + (count == 1 ? " entry" : " entries");
    out.endLine();
}

}  // namespace

int runList(const Options& options, Console& console)
{
    ArchiveInput archive;
    if (!openArchive(options.operands.front(), options, console, archive))
        return ExitFatal;
    const EntryNames names(archive.entryTable(), options.names);
    int misses = 0;
    const std::vector<std::int32_t> chosen = selectOperands(names, options, SameName::First, console, misses);
    if (!console.quiet() && !options.json)
        suggestLatin1(archive, names, console);
    warnRefused(names, chosen, console);
    ListingBuffer out(console);
    if (options.json) {
        listJson(archive, names, chosen, out);
    } else if (console.quiet()) {
        for (std::int32_t index : chosen) {
            names.appendShown(out.text(), index);
            out.endLine();
        }
    } else {
        listTable(archive, names, chosen, out, console.verbose());
    }
    return misses == 0 ? ExitOk : ExitPartial;
}

}  // namespace vza::cli
