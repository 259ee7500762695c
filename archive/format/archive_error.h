// SPDX-License-Identifier: MIT
// Why the last library operation failed: the library's error contract.
//
// Operations report success as a boolean and never print. Every object that
// can fail (Archive, ArchiveIndex, ArchiveWriter, DataBuffer, OutputFile)
// also remembers its last failure:
//   ArchiveError lastError() const;  // what went wrong (None after a success)
//   int systemError() const;         // the errno saved when a system call
//                                    // caused it, 0 when none did
// Callers report errorMessage(lastError(), systemError()) and never read
// errno after a library call: by then it may say something else entirely.
#pragma once

#include <string>

namespace vza {

enum class ArchiveError {
    None,
    CannotOpenArchive,  // the archive file cannot be opened or read
    NotAnArchive,       // too short, or the magic number is wrong
    EmptyPassword,      // an encrypted archive needs a password
    WrongPassword,      // the header check failed: wrong password or damaged header
    DamagedIndex,       // the index does not fit the file or its records overrun it
    NoSuchEntry,        // no entry has the requested name or index
    EntryTruncated,     // the entry's stored bytes run past the end of the file
    EntryCorrupt,       // the stored bytes do not unseal or inflate cleanly
    EntryTooLarge,      // the entry inflates past its stated size
    EntrySizeMismatch,  // the entry's bytes end before its stated size
    UnsafeName,         // the entry's name has nothing safe left to write to
    CannotReadInput,    // an input file cannot be read
    InputChanged,       // an input file was replaced, grew or shrank while the archive was written
    CannotWriteOutput,  // the output file cannot be created or written
    ArchiveTooLarge,    // the archive would reach 2 GiB or a size exceeds 32 bits
    CompressionFailed,  // zlib reported an error while compressing
};

// A short English description, e.g. "wrong password or damaged header".
const char* errorText(ArchiveError error);

// errorText(error), followed by the system's reason when systemError is not
// 0: "cannot write output: No space left on device".
std::string errorMessage(ArchiveError error, int systemError);

}  // namespace vza
