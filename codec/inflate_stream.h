// SPDX-License-Identifier: MIT
// Inflating a zlib stream piece by piece, never past a stated size.
//
// The one inflater: entries are read through it (EntryDecoder), and the
// whole-buffer inflateBytes (zlib_codec.h) is built on it.
//
// Two inflaters can run behind it: zlib's, always built, and ISA-L's igzip,
// about twice as fast, built in where the library was found (CMake option
// VZA_WITH_ISAL). Both give the same verdicts: the header is checked
// (deflate, window of at most 32 KiB, no preset dictionary), the data, and the
// Adler-32 trailer.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>

namespace vza {

class InflateBackend;

enum class InflateEngine { Zlib, Isal };

class InflateStream {
public:
    enum class Result { Ok, Corrupt, TooLarge };

    // limit: the most bytes the stream may produce. The first form uses the
    // fastest inflater this build has; the second a given one (for tests and
    // the fuzzer comparing them), or zlib's where that one is not built.
    explicit InflateStream(std::uint64_t limit);
    InflateStream(std::uint64_t limit, InflateEngine engine);
    ~InflateStream();
    InflateStream(const InflateStream&) = delete;
    InflateStream& operator=(const InflateStream&) = delete;

    // The inflater InflateStream(limit) uses, and whether engine is built in.
    static InflateEngine defaultEngine();
    static bool engineAvailable(InflateEngine engine);
    static const char* engineName(InflateEngine engine);

    // Starts a new stream with a new limit, keeping the inflater's memory:
    // much cheaper than a new InflateStream for many small entries.
    void reset(std::uint64_t limit);

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
    std::unique_ptr<InflateBackend> backend_;
    bool finished_ = false;
    bool sinkFailed_ = false;
    bool corrupt_ = false;
    std::uint64_t limit_;
    std::uint64_t produced_ = 0;
};

}  // namespace vza
