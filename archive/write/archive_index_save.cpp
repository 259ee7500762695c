// SPDX-License-Identifier: MIT
// ArchiveIndex::save writes the archive it holds through the one writer
// (ArchiveWriter: a complete file or none), so it lives with the writers.
#include "vza/archive/format/archive_index.h"
#include "vza/archive/format/format.h"
#include "vza/archive/write/archive_writer.h"
#include "vza/codec/blowfish.h"

namespace vza {

bool ArchiveIndex::save(std::uint32_t flags)
{
    std::uint64_t indexSize = 0;
    for (std::int32_t i = 0; i < entryTable_.count(); ++i)
        indexSize += RecordHeaderSize + entryTable_.at(i)->name.size();
    const std::uint64_t indexStored = (flags & FlagEncrypted) ? (indexSize + 7) / 8 * 8 : indexSize;
    if (oversize_ || indexSize > UINT32_MAX || HeaderSize + indexStored + data_.size() >= MaxArchiveSize)
        return fail(ArchiveError::ArchiveTooLarge);

    // Header and index from the records, the data area as it stands, the
    // header's flags word as given and its key the process-wide one.
    ArchiveWriter writer;
    writer.beginPrepared(flags, cipherState(), data_.data(), data_.size());
    for (std::int32_t i = 0; i < entryTable_.count(); ++i) {
        const EntryView entry = *entryTable_.at(i);
        if (!writer.addRecord(entry.name, entry.originalSize, entry.storedSize))
            return fail(writer.lastError(), writer.systemError());
    }
    if (!writer.writeTo(path_))
        return fail(writer.lastError(), writer.systemError());
    lastError_ = ArchiveError::None;
    systemError_ = 0;
    return true;
}

}  // namespace vza
