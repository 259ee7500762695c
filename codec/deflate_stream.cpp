// SPDX-License-Identifier: MIT
#include "vza/codec/deflate_stream.h"

namespace vza {

namespace {
constexpr std::size_t OutputStep = 65536;
}

DeflateStream::DeflateStream()
{
    initialised_ = deflateInit(&stream_, Z_DEFAULT_COMPRESSION) == Z_OK;
}

DeflateStream::~DeflateStream()
{
    if (initialised_)
        deflateEnd(&stream_);
}

DeflateStream::Result DeflateStream::feed(const std::uint8_t* data, std::size_t length, bool last, const Sink& sink)
{
    if (!initialised_)
        return Result::Failed;
    if (stopped_)
        return Result::Stopped;

    std::uint8_t out[OutputStep];
    stream_.next_in = const_cast<Bytef*>(data);
    while (true) {
        // zlib counts avail_in in 32 bits; hand the input over in slices.
        const std::size_t slice = length > 0x40000000 ? 0x40000000 : length;
        stream_.avail_in = static_cast<uInt>(slice);
        length -= slice;
        const int flush = (last && length == 0) ? Z_FINISH : Z_NO_FLUSH;
        int status;
        do {
            stream_.next_out = out;
            stream_.avail_out = static_cast<uInt>(OutputStep);
            status = deflate(&stream_, flush);
            if (status != Z_OK && status != Z_STREAM_END && status != Z_BUF_ERROR)
                return Result::Failed;
            const std::size_t made = OutputStep - stream_.avail_out;
            produced_ += made;
            if (made > 0 && !sink(out, made)) {
                stopped_ = true;
                return Result::Stopped;
            }
            // No progress with room left: zlib has nothing more to give.
            if (status == Z_BUF_ERROR && made == 0 && stream_.avail_out > 0)
                break;
        } while (stream_.avail_out == 0 || (flush == Z_FINISH && status != Z_STREAM_END));
        if (flush == Z_FINISH && status != Z_STREAM_END)
            return Result::Failed;
        if (length == 0)
            return Result::Ok;
    }
}

}  // namespace vza
