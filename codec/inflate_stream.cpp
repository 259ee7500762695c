// SPDX-License-Identifier: MIT
#include "vza/codec/inflate_stream.h"

#include "vza/codec/inflate_backend.h"

namespace vza {

namespace {
constexpr std::size_t OutputStep = 65536;
}

InflateStream::InflateStream(std::uint64_t limit) : InflateStream(limit, defaultEngine()) {}

InflateStream::InflateStream(std::uint64_t limit, InflateEngine engine) : limit_(limit)
{
    if (engine == InflateEngine::Isal)
        backend_ = makeIsalInflater();
    if (!backend_)
        backend_ = makeZlibInflater();
}

InflateStream::~InflateStream() = default;

InflateEngine InflateStream::defaultEngine()
{
#ifdef VZA_HAVE_ISAL
    return InflateEngine::Isal;
#else
    return InflateEngine::Zlib;
#endif
}

bool InflateStream::engineAvailable(InflateEngine engine)
{
    return engine == InflateEngine::Zlib || engine == defaultEngine();
}

const char* InflateStream::engineName(InflateEngine engine)
{
    return engine == InflateEngine::Isal ? "isa-l" : "zlib";
}

void InflateStream::reset(std::uint64_t limit)
{
    backend_->reset();
    limit_ = limit;
    produced_ = 0;
    finished_ = sinkFailed_ = corrupt_ = false;
}

InflateStream::Result InflateStream::feed(const std::uint8_t* data, std::size_t length, const Sink& sink)
{
    if (corrupt_ || !backend_->ready())
        return Result::Corrupt;
    if (finished_ || sinkFailed_)
        return Result::Ok;

    std::uint8_t out[OutputStep];
    while (true) {
        // Ask for at most one byte more than the limit allows, so an
        // oversized stream is caught as soon as it passes the limit.
        const std::uint64_t room = limit_ - produced_ + 1;
        const std::size_t want = room < OutputStep ? static_cast<std::size_t>(room) : OutputStep;
        const std::uint8_t* before = data;
        std::size_t made = 0;
        const InflateBackend::Status status = backend_->run(data, length, out, want, made);
        if (status == InflateBackend::Status::Corrupt) {
            corrupt_ = true;
            return Result::Corrupt;
        }
        produced_ += made;
        if (produced_ > limit_)
            return Result::TooLarge;
        if (made > 0 && !sink(out, made)) {
            sinkFailed_ = true;
            return Result::Ok;
        }
        if (status == InflateBackend::Status::End) {
            finished_ = true;
            return Result::Ok;
        }
        // Everything taken and room to spare: the stream waits for more input.
        if (length == 0 && made < want)
            return Result::Ok;
        // Input left, room left and nothing done: no inflater should stall
        // here; call it damage rather than spin.
        if (made == 0 && data == before && length > 0) {
            corrupt_ = true;
            return Result::Corrupt;
        }
    }
}

}  // namespace vza
