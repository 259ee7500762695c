// SPDX-License-Identifier: MIT
// The inflaters behind InflateStream. Internal to the codec: callers outside
// codec/ go through inflate_stream.h, which keeps the limit, the sink and the
// verdicts the same whichever inflater runs.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

namespace vza {

class InflateBackend {
public:
    enum class Status { Ok, End, Corrupt };

    virtual ~InflateBackend() = default;

    // False when the inflater could not be set up (no memory).
    virtual bool ready() const = 0;

    // Back to the start of a new zlib stream, keeping what was allocated.
    virtual void reset() = 0;

    // Inflates from in[0..inLength) into out[0..outLength): advances in and
    // inLength past what it took, sets made to the bytes written. End once
    // the end marker and the Adler-32 trailer have been read and match;
    // Corrupt on a bad header, bad data or a checksum that does not match;
    // Ok otherwise (more input or more room wanted).
    virtual Status run(const std::uint8_t*& in, std::size_t& inLength, std::uint8_t* out, std::size_t outLength,
                       std::size_t& made) = 0;
};

std::unique_ptr<InflateBackend> makeZlibInflater();

// Null when this build has no ISA-L.
std::unique_ptr<InflateBackend> makeIsalInflater();

}  // namespace vza
