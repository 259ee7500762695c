// SPDX-License-Identifier: MIT
// One piece of a zlib stream compressed on its own, so that the pieces of a
// large input can be compressed on different threads and still join into
// one valid stream.
//
// A stream made of pieces is:
//     zlibHeader()                    2 bytes
//     piece 1, piece 2, ..., piece n  compress() of consecutive parts of the input
//     Adler-32 of the whole input     4 bytes, big-endian (joinChecksums of the pieces')
// Each piece but the last ends on a byte boundary without closing the
// stream; the last one closes it. An input in one piece (a whole small
// file) is thus one call. The bytes depend only on the input, where it is
// cut and the engines this build has, never on which thread made which
// piece.
//
// Three deflaters can run behind it, chosen per piece:
//   libdeflate  (where built, VZA_WITH_LIBDEFLATE) about 2 to 3 times as
//               fast as zlib at the same level and no larger, but whole
//               buffers only: it cannot be primed with the input before a
//               piece, and a piece that is not the last has to be decoded
//               once more to reopen its end (about a fifth of its time).
//               Every whole input, and the pieces of large ones but at level 1.
//   ISA-L       (where built, VZA_WITH_ISAL) its level 3, for the pieces of
//               large inputs at level 1: faster still, and primed.
//   zlib        always built; everything where the others are not.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

namespace vza {

class DeflateBackend;

enum class DeflateEngine { Zlib, Isal, Libdeflate };

class BlockDeflater {
public:
    // How much input before a piece primes it: deflate's window.
    static constexpr std::size_t DictionarySize = 32768;

    // level: zlib's 0 (stored blocks) to 9, or -1 (the default, 6). The
    // first form picks the fastest deflater this build has for each piece
    // (see above); the second runs engine for every piece (for the tests and
    // the fuzzer comparing them), or zlib where engine is not built. ISA-L
    // compresses at its level 3 whatever the level.
    explicit BlockDeflater(int level = -1);
    BlockDeflater(int level, DeflateEngine engine);
    ~BlockDeflater();
    BlockDeflater(const BlockDeflater&) = delete;
    BlockDeflater& operator=(const BlockDeflater&) = delete;

    static bool engineAvailable(DeflateEngine engine);
    static const char* engineName(DeflateEngine engine);

    // Compresses data[0..length) as the piece after dictionary[0..dictionaryLength)
    // (the input just before it, at most DictionarySize bytes; none for the
    // first piece) into out, replacing its contents, and sets checksum to
    // the Adler-32 of data. last: the piece closes the stream. A piece with
    // no dictionary that is the last is a whole input. False when the
    // deflater fails or could not be set up (no memory).
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
    DeflateEngine engineFor(bool whole) const;
    DeflateBackend* backend(DeflateEngine engine);

    int level_;
    bool forced_ = false;
    DeflateEngine engine_ = DeflateEngine::Zlib;
    // Made when first needed: whole inputs and pieces may use different ones.
    std::unique_ptr<DeflateBackend> backends_[3];
    bool failed_[3] = {};
};

}  // namespace vza
