#include "testkit/archive_builder.h"

#include <stdexcept>

#include "archive/archive.h"
#include "archive/archive_index.h"
#include "archive/archive_writer.h"
#include "archive/data_buffer.h"
#include "archive/format.h"
#include "testkit/stored_forms.h"

namespace vza::test {

void writeArchive(const std::string& path, const std::vector<TestEntry>& entries, std::uint32_t flags,
                  const std::string& password)
{
    writeArchive(path, static_cast<int>(entries.size()),
                 [&entries](int i) { return entries[static_cast<std::size_t>(i)]; }, flags, password);
}

void writeArchive(const std::string& path, int count, const std::function<TestEntry(int)>& entryAt,
                  std::uint32_t flags, const std::string& password)
{
    if (flags & FlagEncrypted)
        keyCipher(password);
    ArchiveWriter writer;
    if (!writer.begin(path))
        throw std::runtime_error("cannot begin " + path + ": " + errorText(writer.lastError()));
    for (int i = 0; i < count; ++i) {
        TestEntry entry = entryAt(i);
        DataBuffer buffer;
        buffer.bytes = std::move(entry.data);
        buffer.info.originalSize = static_cast<std::uint32_t>(buffer.bytes.size());
        buffer.info.storedSize = buffer.info.originalSize;
        buffer.info.name = entry.name;
        if (!prepareStored(buffer, flags) || !writer.add(buffer))
            throw std::runtime_error("cannot add " + entry.name + ": " + errorText(writer.lastError()));
    }
    if (!writer.finish(flags))
        throw std::runtime_error("cannot finish " + path + ": " + errorText(writer.lastError()));
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
