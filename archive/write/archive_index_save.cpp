// SPDX-License-Identifier: MIT
// ArchiveIndex::save writes the archive it holds the way every new archive is
// written (ArchiveOutput: a complete file or none), so it lives with the writers.
#include "vza/archive/format/archive_index.h"
#include "vza/archive/format/format.h"
#include "vza/archive/write/archive_output.h"

namespace vza {

bool ArchiveIndex::save(std::uint32_t flags)
{
    const std::vector<std::uint8_t> head = entryTable_.headerAndIndex(flags);
    if (oversize_ || head.size() - HeaderSize > UINT32_MAX || head.size() + data_.size() >= MaxArchiveSize)
        return fail(ArchiveError::ArchiveTooLarge);

    // The same way to the disk as ArchiveWriter's: a complete file or none.
    ArchiveOutput out;
    if (!out.open(path_) || !out.append(head.data(), head.size()) || !out.append(data_.data(), data_.size()) ||
        !out.commit())
        return fail(ArchiveError::CannotWriteOutput, out.systemError());
    lastError_ = ArchiveError::None;
    systemError_ = 0;
    return true;
}

}  // namespace vza
