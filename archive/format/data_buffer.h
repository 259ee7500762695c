// SPDX-License-Identifier: MIT
// A byte buffer together with the record that describes it.
//
// DataBuffer carries an entry's bytes between files and the two codecs.
// Filling it (assign, readRange, loadFile) sets both sizes of info to the
// byte count; the codecs keep info in step with what they do to the bytes.
// Operations that return false leave the buffer as it was unless they say
// otherwise.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "vza/archive/format/archive_entry.h"

namespace vza {

class DataBuffer {
public:
    // The block size of every file read.
    static constexpr std::size_t ChunkSize = 65536;

    std::vector<std::uint8_t> bytes;
    ArchiveEntry info;

    // Back to the empty state: no bytes, info cleared.
    void reset();

    // Copies length bytes from src; both sizes become length.
    void assign(const void* src, std::size_t length);

    // Sets info.name, with every backslash turned into a slash.
    void setName(const std::string& name);
    std::string name() const { return info.name; }
    std::uint32_t originalSize() const { return info.originalSize; }
    std::size_t size() const { return bytes.size(); }

    // The byte at offset, or 0 past the end.
    std::uint8_t byteAt(std::size_t offset) const;

    // Appends value as a big-endian word.
    void appendU32(std::uint32_t value);

    // The big-endian word at offset, or 0 when fewer than 4 bytes lie there.
    std::uint32_t getU32At(std::size_t offset) const;

    // Reads exactly length bytes at offset of the file at path, in ChunkSize
    // blocks. False when the file cannot be opened, the offset is negative
    // or cannot be reached, or fewer bytes are there; the bytes are then
    // empty (or untouched when the file could not be opened or positioned).
    bool readRange(const std::string& path, std::int64_t offset, std::uint32_t length);

    // Reads the whole file at path: as many bytes as its size when opened.
    // False when it cannot be opened or read, is shorter than that by then,
    // is not a regular file (a folder, FIFO or device: EISDIR or EINVAL) or
    // is 4 GiB or more (EFBIG).
    bool loadFile(const std::string& path);

    // Writes the bytes to path as an OutputFile (see output_file.h): it
    // appears only when complete. On failure nothing is left behind and an
    // existing file at path is untouched.
    bool writeFile(const std::string& path) const;

    // The codec on the whole buffer (wrappers over codec/; data_buffer_codec.cpp).
    // The programs write entries through encrypt and compress (prepareStored)
    // but read them through EntryDecoder, piece by piece; decrypt and
    // decompress are the whole-buffer readers, which the decoder fuzzer holds
    // against EntryDecoder.

    // Sealed form (see codec/sealed_form.h): the bytes prefixed with the
    // magic and their length, zero-padded to 8 and enciphered with the key
    // in force. encrypt always succeeds and sets storedSize; decrypt fails,
    // changing nothing, on anything that is not a sealed form under the
    // current key.
    bool encrypt();
    bool decrypt();

    // zlib stream. compress keeps the stream only when it is shorter and sets
    // storedSize; decompress needs one complete stream at the start, produces
    // at most 4 GiB - 1 bytes and sets both sizes. Both change nothing on
    // failure.
    bool compress();
    bool decompress();

    // The errno saved when readRange, loadFile or writeFile last failed in a
    // system call; 0 when none did (see archive_error.h).
    int systemError() const { return systemError_; }

private:
    // A record of the last file operation, not part of the buffer's value:
    // writeFile, which changes nothing else, records it too.
    mutable int systemError_ = 0;
};

}  // namespace vza
