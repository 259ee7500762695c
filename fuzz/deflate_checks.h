// SPDX-License-Identifier: MIT
// The deflaters' promise, checked on one input: whichever engine compresses
// it, whole or cut into pieces (each primed with the input before it, as
// the writer does), the pieces join into one zlib stream that gives back
// exactly the input.
//
// Shared by the deflate fuzz target and the unit tests. Header-only because
// the tests link nothing but the library and their own source.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "vza/codec/block_deflater.h"
#include "vza/codec/inflate_stream.h"

namespace vza::fuzz {

inline constexpr DeflateEngine DeflateEngines[] = {DeflateEngine::Zlib, DeflateEngine::Isal, DeflateEngine::Libdeflate};

// plain as one zlib stream made by deflater, in pieces of pieceLength bytes
// (0: whole). Empty when a piece fails.
inline std::vector<std::uint8_t> deflateInPieces(BlockDeflater& deflater, int level, const std::uint8_t* plain,
                                                 std::size_t length, std::size_t pieceLength)
{
    if (pieceLength == 0)
        pieceLength = std::max<std::size_t>(length, 1);
    const std::uint8_t* header = BlockDeflater::zlibHeader(level);
    std::vector<std::uint8_t> stream(header, header + 2);
    std::vector<std::uint8_t> piece;
    std::uint32_t checksum = BlockDeflater::EmptyChecksum;
    std::size_t at = 0;
    do {
        const std::size_t take = std::min(pieceLength, length - at);
        const std::size_t primed = std::min(at, BlockDeflater::DictionarySize);
        std::uint32_t pieceChecksum = 0;
        if (!deflater.compress(plain + at - primed, primed, plain + at, take, at + take == length, piece,
                               pieceChecksum))
            return {};
        checksum = BlockDeflater::joinChecksums(checksum, pieceChecksum, take);
        stream.insert(stream.end(), piece.begin(), piece.end());
        at += take;
    } while (at < length);
    for (int shift = 24; shift >= 0; shift -= 8)
        stream.push_back(static_cast<std::uint8_t>(checksum >> shift));
    return stream;
}

// Whether stream is one complete zlib stream of exactly plain[0..length),
// read by zlib's inflater.
inline bool inflatesTo(const std::vector<std::uint8_t>& stream, const std::uint8_t* plain, std::size_t length)
{
    InflateStream inflater(length, InflateEngine::Zlib);
    std::size_t at = 0;
    bool same = true;
    const InflateStream::Result result =
        inflater.feed(stream.data(), stream.size(), [&](const std::uint8_t* data, std::size_t made) {
            same = same && made <= length - at && std::equal(data, data + made, plain + at);
            at += made;
            return same;
        });
    return result == InflateStream::Result::Ok && inflater.finished() && same && at == length;
}

// Every engine this build has, at level, whole or in pieces of pieceLength:
// an empty string when each gives back plain, else what went wrong.
inline std::string checkDeflaters(const std::uint8_t* plain, std::size_t length, int level, std::size_t pieceLength)
{
    for (const DeflateEngine engine : DeflateEngines) {
        if (!BlockDeflater::engineAvailable(engine))
            continue;
        BlockDeflater deflater(level, engine);
        const std::vector<std::uint8_t> stream = deflateInPieces(deflater, level, plain, length, pieceLength);
        const std::string where = std::string(BlockDeflater::engineName(engine)) + " at level " +
                                  std::to_string(level) + ", pieces of " + std::to_string(pieceLength) + " bytes, " +
                                  std::to_string(length) + " in all";
        if (stream.empty())
            return where + ": a piece failed";
        if (!inflatesTo(stream, plain, length))
            return where + ": the stream does not give the input back";
    }
    return {};
}

}  // namespace vza::fuzz
