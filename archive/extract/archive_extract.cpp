// SPDX-License-Identifier: MIT
// Archive's calls that write an entry to a file: they go through the
// extraction engine, which lives above the reading side.
#include "vza/archive/extract/extractor.h"
#include "vza/archive/names/safe_name.h"
#include "vza/archive/read/archive.h"

namespace vza {

bool Archive::extractToFile(const std::string& dataName, const std::string& fileName)
{
    const std::int32_t index = find(dataName);
    if (index == -1)
        return fail(ArchiveError::NoSuchEntry);
    const std::string path = fileName.empty() ? safeOutputName(dataName) : fileName;
    if (path.empty())
        return fail(ArchiveError::UnsafeName);
    return extractEntry(index, path);
}

bool Archive::extractEntry(std::int32_t index, const std::string& path)
{
    if (!archiveIndex_.entry(index))
        return fail(ArchiveError::NoSuchEntry);
    Extractor extractor(*this);
    extractor.options().createFolders = false;
    if (!extractor.openWorkingFolder())
        return fail(ArchiveError::CannotWriteOutput, extractor.openError());
    const Extractor::Result result = extractor.extract(index, path);
    if (result.status == Extractor::Status::Written) {
        lastError_ = ArchiveError::None;
        return true;
    }
    return fail(result.error != ArchiveError::None ? result.error : ArchiveError::CannotWriteOutput,
                result.systemError);
}

}  // namespace vza
