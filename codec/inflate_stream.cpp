#include "codec/inflate_stream.h"

namespace vza {

namespace {
constexpr std::size_t OutputStep = 65536;
}

InflateStream::InflateStream(std::uint64_t limit) : limit_(limit)
{
    stream_.next_in = Z_NULL;
    stream_.avail_in = 0;
    initialised_ = inflateInit(&stream_) == Z_OK;
}

InflateStream::~InflateStream()
{
    if (initialised_)
        inflateEnd(&stream_);
}

InflateStream::Result InflateStream::feed(const std::uint8_t* data, std::size_t length, const Sink& sink)
{
    if (!initialised_)
        return Result::Corrupt;
    if (finished_ || sinkFailed_)
        return Result::Ok;

    std::uint8_t out[OutputStep];
    stream_.next_in = const_cast<Bytef*>(data);
    while (true) {
        // zlib counts avail_in in 32 bits; hand the input over in slices.
        const std::size_t slice = length > 0x40000000 ? 0x40000000 : length;
        stream_.avail_in = static_cast<uInt>(slice);
        length -= slice;
        do {
            // Ask for at most one byte more than the limit allows, so an
            // oversized stream is caught as soon as it passes the limit.
            const std::uint64_t room = limit_ - produced_ + 1;
            const std::size_t want = room < OutputStep ? static_cast<std::size_t>(room) : OutputStep;
            stream_.next_out = out;
            stream_.avail_out = static_cast<uInt>(want);
            const int status = inflate(&stream_, Z_NO_FLUSH);
            const std::size_t made = want - stream_.avail_out;
            if (status != Z_OK && status != Z_STREAM_END && status != Z_BUF_ERROR)
                return Result::Corrupt;
            produced_ += made;
            if (produced_ > limit_)
                return Result::TooLarge;
            if (made > 0 && !sink(out, made)) {
                sinkFailed_ = true;
                return Result::Ok;
            }
            if (status == Z_STREAM_END) {
                finished_ = true;
                return Result::Ok;
            }
            // Z_BUF_ERROR: no progress possible until more input arrives.
            if (status == Z_BUF_ERROR)
                break;
        } while (stream_.avail_in > 0 || stream_.avail_out == 0);
        if (length == 0)
            return Result::Ok;
    }
}

}  // namespace vza
