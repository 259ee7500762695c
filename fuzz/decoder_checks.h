// SPDX-License-Identifier: MIT
// The promises of the entry codecs, checked on one stored entry: the
// whole-buffer calls (DataBuffer::decrypt, decompress) and the bounded,
// piecewise EntryDecoder that extraction uses.
//
// Shared by the decoder fuzz target and the regression tests. Header-only
// because the tests link nothing but the library and their own source.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "vza/archive/format/data_buffer.h"
#include "vza/archive/format/format.h"
#include "vza/archive/read/entry_decoder.h"
#include "vza/codec/blowfish.h"

namespace vza::fuzz {

// Layout of one decoder input: a 10-byte head, then the stored bytes.
//   byte 0      the archive's flags word (any bits; 2 and 4 are the meaningful ones)
//   byte 1      bit 7: take storedSize from bytes 6-9 instead of the real length;
//               bits 0-6: piece length in blocks of 8 (0: all in one piece)
//   bytes 2-5   originalSize, big-endian
//   bytes 6-9   storedSize, big-endian (only with bit 7 of byte 1)
inline constexpr std::size_t DecoderHeadSize = 10;

// The key the decoder inputs are sealed with.
inline const std::string DecoderKey = "secret";

inline std::vector<std::uint8_t> decoderInput(std::uint8_t flags, std::uint8_t pieceBlocks, std::uint32_t originalSize,
                                              const std::vector<std::uint8_t>& stored)
{
    std::vector<std::uint8_t> input(DecoderHeadSize);
    input[0] = flags;
    input[1] = pieceBlocks & 0x7F;
    putU32(originalSize, input.data() + 2);
    input.insert(input.end(), stored.begin(), stored.end());
    return input;
}

namespace detail {

struct Decoded {
    bool ok = false;
    ArchiveError error = ArchiveError::None;
    std::vector<std::uint8_t> bytes;
    bool overran = false;      // the sink saw more than originalSize bytes
    bool misreported = false;  // the result and error() disagree
};

// Runs the decoder over stored in pieces of piece bytes (0: one piece). The
// sink refuses its call number stopAt (counting from 1; 0: never).
inline Decoded decodePieces(std::uint32_t flags, const ArchiveEntry& entry, std::vector<std::uint8_t> stored,
                            std::size_t piece, int stopAt)
{
    Decoded out;
    int calls = 0;
    EntryDecoder decoder(flags, entry, cipherState(), [&](const std::uint8_t* data, std::size_t length) {
        out.bytes.insert(out.bytes.end(), data, data + length);
        out.overran = out.overran || out.bytes.size() > entry.originalSize;
        return ++calls != stopAt;
    });
    if (piece == 0)
        piece = stored.size();
    bool ok = true;
    for (std::size_t at = 0; ok && at < stored.size(); at += piece) {
        const std::size_t length = std::min(piece, stored.size() - at);
        ok = decoder.feed(stored.data() + at, length);
    }
    out.ok = ok && decoder.finish();
    out.error = decoder.error();
    out.misreported = out.ok != (out.error == ArchiveError::None);
    return out;
}

}  // namespace detail

// Checks one decoder input (see the layout above). Returns a description of
// the first broken promise, or "" when all held.
inline std::string checkStoredEntry(const std::uint8_t* data, std::size_t size)
{
    if (size < DecoderHeadSize)
        return {};
    // The key schedule is slow under the sanitizers: rebuild it only when
    // something else has keyed the cipher since.
    static CipherState keyed = [] {
        setKey(reinterpret_cast<const std::uint8_t*>(DecoderKey.data()), DecoderKey.size());
        return cipherState();
    }();
    if (std::memcmp(&keyed, &cipherState(), sizeof keyed) != 0)
        setKey(reinterpret_cast<const std::uint8_t*>(DecoderKey.data()), DecoderKey.size());
    const std::uint32_t flags = data[0];
    const std::size_t piece = std::size_t{data[1] & 0x7Fu} * 8;
    const std::vector<std::uint8_t> stored(data + DecoderHeadSize, data + size);
    ArchiveEntry entry;
    entry.originalSize = getU32(data + 2);
    entry.storedSize = (data[1] & 0x80) ? getU32(data + 6) : static_cast<std::uint32_t>(stored.size());

    // The whole-buffer path, as a reader without the decoder would go: unseal,
    // then inflate when the length differs from originalSize. A failing call
    // must leave the buffer as it was.
    DataBuffer buffer;
    buffer.assign(stored.data(), stored.size());
    bool bufferOk = true;
    if (flags & FlagEncrypted) {
        const std::vector<std::uint8_t> before = buffer.bytes;
        bufferOk = buffer.decrypt();
        if (!bufferOk && buffer.bytes != before)
            return "decrypt failed but changed the buffer";
        if (bufferOk && (stored.size() != static_cast<std::uint64_t>(roundUp8(buffer.size())) + 8))
            return "decrypt accepted a length that does not fit the seal";
    }
    if (bufferOk && (flags & FlagCompressed) && buffer.size() != entry.originalSize) {
        const std::vector<std::uint8_t> before = buffer.bytes;
        bufferOk = buffer.decompress();
        if (!bufferOk && buffer.bytes != before)
            return "decompress failed but changed the buffer";
        if (bufferOk && (buffer.info.originalSize != buffer.size() || buffer.info.storedSize != buffer.size()))
            return "decompress left the sizes out of step";
    }
    const bool expectOk = bufferOk && buffer.size() == entry.originalSize && entry.storedSize == stored.size();

    // The bounded path must agree with it, never pass originalSize on the way,
    // and give the same bytes.
    const detail::Decoded decoded = detail::decodePieces(flags, entry, stored, piece, 0);
    if (decoded.overran)
        return "the decoder passed originalSize";
    if (decoded.misreported)
        return "the decoder's result and error() disagree";
    if (decoded.ok != expectOk)
        return decoded.ok ? "the decoder accepted an entry the buffer calls refuse"
                          : "the decoder refused an entry the buffer calls accept";
    if (decoded.ok && decoded.bytes != buffer.bytes)
        return "the decoder and the buffer calls give different bytes";

    // A sink that refuses is reported as an output fault, never as success.
    if (!decoded.bytes.empty()) {
        const detail::Decoded stopped = detail::decodePieces(flags, entry, stored, piece, 1);
        if (stopped.ok || (decoded.ok && stopped.error != ArchiveError::CannotWriteOutput))
            return "a refusing sink was not reported";
    }
    return {};
}

}  // namespace vza::fuzz
