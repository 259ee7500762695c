// SPDX-License-Identifier: MIT
// Whole buffers to and from one zlib stream.
//
// Which path the programs use: archives are written through BlockDeflater
// (ArchiveWriter) and read piece by piece through InflateStream
// (EntryDecoder). deflateBytes() is zlib's deflate over a whole buffer, for
// DataBuffer::compress (archives built in memory); inflateBytes() the
// whole-buffer reader on top of InflateStream, for DataBuffer::decompress.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

namespace vza {

// Compresses input into one zlib stream at zlib's default level. False when
// input is longer than 4 GiB - 1 (zlib counts in 32 bits) or zlib fails;
// output is then unspecified.
bool deflateBytes(std::span<const std::uint8_t> input, std::vector<std::uint8_t>& output);

// Inflates the one complete zlib stream at the start of input (bytes after
// its end are ignored). False, output unspecified, when the bytes are not one
// complete valid stream (Adler-32 included) or it would produce more than
// limit bytes.
bool inflateBytes(std::span<const std::uint8_t> input, std::uint64_t limit, std::vector<std::uint8_t>& output);

}  // namespace vza
