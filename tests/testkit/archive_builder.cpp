// SPDX-License-Identifier: MIT
#include "testkit/archive_builder.h"

#include <cstdio>
#include <memory>
#include <stdexcept>

#include "testkit/stored_forms.h"
#include "vza/archive/format/archive_index.h"
#include "vza/archive/format/data_buffer.h"
#include "vza/archive/format/entry_table.h"
#include "vza/archive/format/format.h"
#include "vza/archive/fs/output_file.h"
#include "vza/archive/read/archive.h"
#include "vza/archive/write/archive_writer.h"

namespace vza::test {

void writeArchive(const std::string& path, const std::vector<TestEntry>& entries, std::uint32_t flags,
                  const std::string& password)
{
    writeArchive(
        path, static_cast<int>(entries.size()), [&entries](int i) { return entries[static_cast<std::size_t>(i)]; },
        flags, password);
}

void writeArchive(const std::string& path, int count, const std::function<TestEntry(int)>& entryAt, std::uint32_t flags,
                  const std::string& password)
{
    // The programs' own writer, as every archive vza create makes.
    ArchiveWriter writer;
    if (!writer.begin(flags, password))
        throw std::runtime_error("cannot begin " + path + ": " + errorText(writer.lastError()));
    for (int i = 0; i < count; ++i) {
        const TestEntry entry = entryAt(i);
        if (!writer.addBytes(entry.name, entry.data.data(), entry.data.size()))
            throw std::runtime_error("cannot add " + entry.name + ": " + errorText(writer.lastError()) +
                                     " (writeArchiveAsGiven stores names the writer refuses)");
    }
    if (!writer.writeTo(path))
        throw std::runtime_error("cannot write " + path + ": " + errorText(writer.lastError()));
}

void writeArchiveAsGiven(const std::string& path, const std::vector<TestEntry>& entries, std::uint32_t flags,
                         const std::string& password)
{
    writeArchiveAsGiven(
        path, static_cast<int>(entries.size()), [&entries](int i) { return entries[static_cast<std::size_t>(i)]; },
        flags, password);
}

void writeArchiveAsGiven(const std::string& path, int count, const std::function<TestEntry(int)>& entryAt,
                         std::uint32_t flags, const std::string& password)
{
    // Built here rather than with ArchiveWriter, which refuses names such
    // as "../x" that tests need stored byte for byte: the records go into an
    // EntryTable, the stored bytes into an unnamed spool file, so a large
    // archive is never held in memory.
    if (flags & FlagEncrypted)
        keyCipher(password);
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> spool(std::tmpfile(), &std::fclose);
    if (!spool)
        throw std::runtime_error("cannot make a spool file for " + path);
    EntryTable table;
    for (int i = 0; i < count; ++i) {
        TestEntry entry = entryAt(i);
        DataBuffer buffer;
        buffer.bytes = std::move(entry.data);
        buffer.info.originalSize = static_cast<std::uint32_t>(buffer.bytes.size());
        buffer.info.storedSize = buffer.info.originalSize;
        buffer.info.name = entry.name;
        // An empty entry has no bytes to spool (and data() may be null, which fwrite must not get).
        if (!prepareStored(buffer, flags) ||
            (!buffer.bytes.empty() &&
             std::fwrite(buffer.bytes.data(), 1, buffer.bytes.size(), spool.get()) != buffer.bytes.size()))
            throw std::runtime_error("cannot add " + entry.name);
        table.addRecord(&buffer);
    }
    const std::vector<std::uint8_t> head = table.headerAndIndex(flags);
    if (head.size() + table.dataSize() >= MaxArchiveSize)
        throw std::runtime_error(path + ": " + errorText(ArchiveError::ArchiveTooLarge));
    OutputFile out;
    bool written = std::fflush(spool.get()) == 0 && std::fseek(spool.get(), 0, SEEK_SET) == 0 && out.create(path) &&
                   out.write(head.data(), head.size());
    std::vector<std::uint8_t> block(1 << 20);
    for (std::uint64_t left = table.dataSize(); written && left > 0;) {
        const std::size_t want = left < block.size() ? static_cast<std::size_t>(left) : block.size();
        written = std::fread(block.data(), 1, want, spool.get()) == want && out.write(block.data(), want);
        left -= want;
    }
    if (!written || !out.commit())
        throw std::runtime_error("cannot write " + path);
}

void writeRawArchive(const std::string& path, std::uint32_t flags, const std::vector<RawEntry>& entries,
                     const std::string& password)
{
    keyCipher(password);
    ArchiveIndex index;
    for (const RawEntry& entry : entries) {
        DataBuffer buffer;
        buffer.bytes = entry.stored;
        buffer.info = {entry.name, entry.originalSize, static_cast<std::uint32_t>(entry.stored.size())};
        index.addEntry(buffer);
    }
    index.setPath(path);
    if (!index.save(flags))
        throw std::runtime_error("cannot write " + path + ": " + errorText(index.lastError()));
}

std::uint64_t entryOffset(const std::string& path, std::int32_t index, const std::string& password)
{
    Archive archive;
    if (!archive.open(path, password))
        throw std::runtime_error("cannot open " + path + ": " + errorText(archive.lastError()));
    return archive.archiveIndex().entryOffset(index);
}

}  // namespace vza::test
