// SPDX-License-Identifier: MIT
#include "vza/codec/zlib_codec.h"

#include <zlib.h>

#include "vza/codec/inflate_stream.h"

namespace vza {

namespace {

// Output grows in steps of this size while zlib keeps filling it.
constexpr std::size_t OutputStep = 65536;
// Deflate finishes once no more than this much input is left.
constexpr std::size_t FinishThreshold = 65535;

// Gives zlib a fresh OutputStep of room at the end of out.
void growOutput(std::vector<std::uint8_t>& out, z_stream& stream)
{
    const std::size_t used = out.size();
    out.resize(used + OutputStep);
    stream.next_out = out.data() + used;
    stream.avail_out = static_cast<uInt>(OutputStep);
}

}  // namespace

bool deflateBytes(std::span<const std::uint8_t> input, std::vector<std::uint8_t>& output)
{
    if (input.size() > UINT32_MAX)
        return false;
    z_stream stream{};
    if (deflateInit(&stream, Z_DEFAULT_COMPRESSION) != Z_OK)
        return false;

    output.clear();
    // zlib never writes through next_in; its API just predates const.
    stream.next_in = const_cast<Bytef*>(input.data());
    stream.avail_in = static_cast<uInt>(input.size());
    growOutput(output, stream);
    while (true) {
        const int flush = stream.avail_in <= FinishThreshold ? Z_FINISH : Z_NO_FLUSH;
        const int status = deflate(&stream, flush);
        if (status == Z_STREAM_END)
            break;
        if (status != Z_OK) {
            deflateEnd(&stream);
            return false;
        }
        if (stream.avail_out == 0)
            growOutput(output, stream);
    }
    output.resize(output.size() - stream.avail_out);
    return deflateEnd(&stream) == Z_OK;
}

bool inflateBytes(std::span<const std::uint8_t> input, std::uint64_t limit, std::vector<std::uint8_t>& output)
{
    output.clear();
    InflateStream stream(limit);
    const auto append = [&output](const std::uint8_t* data, std::size_t length) {
        output.insert(output.end(), data, data + length);
        return true;
    };
    return stream.feed(input.data(), input.size(), append) == InflateStream::Result::Ok && stream.finished();
}

}  // namespace vza
