// SPDX-License-Identifier: MIT
// The deflaters behind BlockDeflater. Internal to the codec: callers outside
// codec/ go through block_deflater.h, which adds the checksum and picks the
// deflater for each piece.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

namespace vza {

class DeflateBackend {
public:
    virtual ~DeflateBackend() = default;

    // Compresses data[0..length) into out (replacing its contents) as raw
    // deflate data that follows dictionary[0..dictionaryLength), the input
    // just before it. A deflater that cannot be primed ignores dictionary
    // (its piece is then a little larger). last: the piece closes the
    // stream; otherwise it ends on a byte boundary with the stream left open,
    // as a sync flush does. False when the deflater fails.
    virtual bool compress(const std::uint8_t* dictionary, std::size_t dictionaryLength, const std::uint8_t* data,
                          std::size_t length, bool last, std::vector<std::uint8_t>& out) = 0;
};

// Null when the deflater cannot be set up (no memory, a level it does not
// take) or, for ISA-L and libdeflate, when this build has no such library.
std::unique_ptr<DeflateBackend> makeZlibDeflater(int level);
// ISA-L's level 3 whatever the level: what level 1 uses.
std::unique_ptr<DeflateBackend> makeIsalDeflater();
std::unique_ptr<DeflateBackend> makeLibdeflateDeflater(int level);

// Turns out[0..) , a finished raw deflate stream of plain[0..plainLength),
// into one left open and ending on a byte boundary, so that another piece
// can follow: the last block's final flag is cleared and an empty stored
// block appended. Finding that block means decoding the stream (zlib's
// inflate, stopping at each block's end); the bytes decoded are checked
// against plain on the way. False when the stream does not decode to plain.
bool openStreamEnd(std::vector<std::uint8_t>& out, const std::uint8_t* plain, std::size_t plainLength);

}  // namespace vza
