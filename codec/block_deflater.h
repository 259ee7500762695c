// SPDX-License-Identifier: MIT
// One piece of a zlib stream compressed on its own, so that the pieces of a
// large input can be compressed on different threads and still join into
// one valid stream.
//
// A stream made of pieces is:
//     zlibHeader()                    2 bytes
//     piece 1, piece 2, ..., piece n  compress() of consecutive parts of the input
//     Adler-32 of the whole input     4 bytes, big-endian (adler32_combine of the pieces')
// Each piece but the last ends on a byte boundary without closing the
// stream (a sync flush); the last one closes it. A piece after the first is
// primed with the 32 KiB of input before it, so matches reach back across
// the seam as in a stream made in one go and the pieces cost only a few
// bytes more. The bytes depend only on the input and where it is cut, never
// on which thread made which piece.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include <zlib.h>

namespace vza {

class BlockDeflater {
public:
    // How much input before a piece primes it: deflate's window.
    static constexpr std::size_t DictionarySize = 32768;

    // level: zlib's 0 (stored blocks) to 9, or -1 (Z_DEFAULT_COMPRESSION,
    // 6). Where the build has ISA-L, level 1 uses its deflater (its level
    // 3): several times as fast as zlib's level 1, and no larger; its pieces
    // join the same way.
    explicit BlockDeflater(int level = -1);
    ~BlockDeflater();
    BlockDeflater(const BlockDeflater&) = delete;
    BlockDeflater& operator=(const BlockDeflater&) = delete;

    // Compresses data[0..length) as the piece after dictionary[0..dictionaryLength)
    // (the input just before it, at most DictionarySize bytes; none for the
    // first piece) into out, replacing its contents, and sets checksum to
    // the Adler-32 of data. last: the piece closes the stream. False when
    // zlib fails.
    bool compress(const std::uint8_t* dictionary, std::size_t dictionaryLength, const std::uint8_t* data,
                  std::size_t length, bool last, std::vector<std::uint8_t>& out, std::uint32_t& checksum);

    // The two bytes that open a stream made by compress() at level (they
    // name the level's class: fastest, fast, default or best).
    static const std::uint8_t* zlibHeader(int level = -1);

    // The Adler-32 of an input from the checksums of its two parts.
    static std::uint32_t joinChecksums(std::uint32_t first, std::uint32_t second, std::uint64_t secondLength);
    // The Adler-32 of no input.
    static constexpr std::uint32_t EmptyChecksum = 1;

private:
    struct Isal;
    bool compressIsal(const std::uint8_t* dictionary, std::size_t dictionaryLength, const std::uint8_t* data,
                      std::size_t length, bool last, std::vector<std::uint8_t>& out);

    z_stream stream_{};
    bool initialised_ = false;
    std::unique_ptr<Isal> isal_;
};

}  // namespace vza
