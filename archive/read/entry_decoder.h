// SPDX-License-Identifier: MIT
// Turning an entry's stored bytes back into its plain bytes, piece by piece.
//
// The decoder unseals (encrypted archives) and inflates (compressed archives,
// when the unsealed length differs from the stated size) as the bytes arrive,
// and checks everything a damaged entry can get wrong: the seal's magic and
// length, the zlib stream and its Adler-32, and the final length against the
// entry's originalSize. It never produces more than originalSize bytes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>

#include "vza/archive/format/archive_entry.h"
#include "vza/archive/format/archive_error.h"
#include "vza/codec/blowfish.h"
#include "vza/codec/inflate_stream.h"

namespace vza {

class EntryDecoder {
public:
    using Sink = std::function<bool(const std::uint8_t* data, std::size_t length)>;

    // flags: the archive's flags word; entry: the record of the entry; key:
    // the archive's key schedule, used when flags say it is encrypted (it
    // must outlive the decoder; an Archive hands out its own).
    EntryDecoder(std::uint32_t flags, const EntryView& entry, const CipherState& key, Sink sink);
    ~EntryDecoder();

    // Starts over on another entry, as a new decoder with these arguments
    // would, but keeping the inflater's memory: for many small entries far
    // cheaper than a new decoder each.
    void restart(std::uint32_t flags, const EntryView& entry, const CipherState& key, Sink sink);

    // Feeds the next stored bytes, in order; deciphers them in place. Every
    // piece but the last must be a multiple of 8 bytes long. False on the
    // first fault found; error() tells which.
    bool feed(std::uint8_t* data, std::size_t length);

    // As feed, for bytes already deciphered (DecipherAhead): all but the
    // entry's first 8, the seal's prefix, which stay as stored. Pieces of an
    // archive without encryption are the same either way.
    bool feedDeciphered(const std::uint8_t* data, std::size_t length);

    // Call after the last piece: checks that the entry is complete.
    bool finish();

    ArchiveError error() const { return error_; }

private:
    bool start(const std::uint8_t*& data, std::size_t& length);
    bool take(const std::uint8_t*& data, std::size_t& length);
    bool pass(const std::uint8_t* data, std::size_t length);
    bool emit(const std::uint8_t* data, std::size_t length);
    bool fail(ArchiveError error);

    std::uint32_t flags_;
    std::uint32_t storedSize_;
    std::uint32_t originalSize_;
    const CipherState* key_;
    Sink sink_;
    bool started_ = false;
    std::uint64_t fed_ = 0;                    // stored bytes seen so far
    std::uint64_t payloadLeft_ = 0;            // unsealed bytes still to come (padding excluded)
    std::uint64_t written_ = 0;                // plain bytes handed to the sink
    bool inflating_ = false;                   // this entry is a zlib stream
    std::unique_ptr<InflateStream> inflater_;  // kept from entry to entry
    ArchiveError error_ = ArchiveError::None;
};

}  // namespace vza
