// SPDX-License-Identifier: MIT
#include "vza/archive/format/archive_error.h"

#include <cstring>

namespace vza {

const char* errorText(ArchiveError error)
{
    switch (error) {
    case ArchiveError::None: return "no error";
    case ArchiveError::CannotOpenArchive: return "cannot open archive file";
    case ArchiveError::NotAnArchive: return "not an archive";
    case ArchiveError::EmptyPassword: return "password required";
    case ArchiveError::WrongPassword: return "wrong password or damaged header";
    case ArchiveError::DamagedIndex: return "damaged index";
    case ArchiveError::NoSuchEntry: return "no such entry";
    case ArchiveError::EntryTruncated: return "entry data truncated";
    case ArchiveError::EntryCorrupt: return "entry data corrupt";
    case ArchiveError::EntryTooLarge: return "entry larger than stated";
    case ArchiveError::EntrySizeMismatch: return "entry shorter than stated";
    case ArchiveError::UnsafeName: return "no safe output name";
    case ArchiveError::CannotReadInput: return "cannot read input file";
    case ArchiveError::InputChanged: return "input file changed while being read";
    case ArchiveError::CannotWriteOutput: return "cannot write output";
    case ArchiveError::ArchiveTooLarge: return "archive would reach 2 GiB";
    case ArchiveError::CompressionFailed: return "compression failed";
    }
    return "unknown error";
}

std::string errorMessage(ArchiveError error, int systemError)
{
    std::string message = errorText(error);
    if (systemError != 0)
        message += std::string(": ") + std::strerror(systemError);
    return message;
}

}  // namespace vza
