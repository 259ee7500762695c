// SPDX-License-Identifier: MIT
// Compressing into a zlib stream piece by piece, with bounded memory.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>

#include <zlib.h>

namespace vza {

class DeflateStream {
public:
    enum class Result { Ok, Failed, Stopped };

    DeflateStream();
    ~DeflateStream();
    DeflateStream(const DeflateStream&) = delete;
    DeflateStream& operator=(const DeflateStream&) = delete;

    using Sink = std::function<bool(const std::uint8_t* data, std::size_t length)>;

    // Compresses input; passes every produced piece to sink. last: this is
    // the final piece (it may be empty), after which the stream is complete.
    // Failed when zlib reports an error; Stopped as soon as sink returns
    // false (the stream is then abandoned and every later call is Stopped).
    Result feed(const std::uint8_t* data, std::size_t length, bool last, const Sink& sink);

    // Bytes of stream produced so far.
    std::uint64_t produced() const { return produced_; }

private:
    z_stream stream_{};
    bool initialised_ = false;
    bool stopped_ = false;
    std::uint64_t produced_ = 0;
};

}  // namespace vza
