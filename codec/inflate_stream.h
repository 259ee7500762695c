// Inflating a zlib stream piece by piece, never past a stated size.
//
// The one inflater: entries are read through it (EntryDecoder), and the
// whole-buffer inflateBytes (zlib_codec.h) is built on it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>

#include <zlib.h>

namespace vza {

class InflateStream {
public:
    enum class Result { Ok, Corrupt, TooLarge };

    // limit: the most bytes the stream may produce.
    explicit InflateStream(std::uint64_t limit);
    ~InflateStream();
    InflateStream(const InflateStream&) = delete;
    InflateStream& operator=(const InflateStream&) = delete;

    using Sink = std::function<bool(const std::uint8_t* data, std::size_t length)>;

    // Feeds input; passes every produced piece to sink. Input after the end
    // of the stream is ignored. Corrupt when the bytes are not a valid zlib
    // stream (Adler-32 included), TooLarge as soon as output passes limit.
    // A false sink stops with Ok and sinkFailed() true.
    Result feed(const std::uint8_t* data, std::size_t length, const Sink& sink);

    // True once the stream's end marker and checksum have been read.
    bool finished() const { return finished_; }
    bool sinkFailed() const { return sinkFailed_; }
    std::uint64_t produced() const { return produced_; }

private:
    z_stream stream_{};
    bool initialised_ = false;
    bool finished_ = false;
    bool sinkFailed_ = false;
    std::uint64_t limit_;
    std::uint64_t produced_ = 0;
};

}  // namespace vza
