#include <zlib.h>

#include "archive/data_buffer.h"

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

bool DataBuffer::compress()
{
    // zlib's counters are 32-bit; entries are limited to 32-bit sizes anyway.
    if (bytes.size() > UINT32_MAX)
        return false;
    z_stream stream{};
    if (deflateInit(&stream, Z_DEFAULT_COMPRESSION) != Z_OK)
        return false;

    std::vector<std::uint8_t> out;
    stream.next_in = bytes.data();
    stream.avail_in = static_cast<uInt>(bytes.size());
    growOutput(out, stream);
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
            growOutput(out, stream);
    }
    out.resize(out.size() - stream.avail_out);
    if (deflateEnd(&stream) != Z_OK)
        return false;

    if (out.size() < bytes.size()) {
        bytes = std::move(out);
        info.storedSize = static_cast<std::uint32_t>(bytes.size());
    }
    return true;
}

bool DataBuffer::decompress()
{
    if (bytes.size() > UINT32_MAX)
        return false;
    z_stream stream{};
    stream.next_in = Z_NULL;
    stream.avail_in = 0;
    if (inflateInit(&stream) != Z_OK)
        return false;

    std::vector<std::uint8_t> out;
    stream.next_in = bytes.data();
    stream.avail_in = static_cast<uInt>(bytes.size());
    growOutput(out, stream);
    while (true) {
        const int status = inflate(&stream, Z_NO_FLUSH);
        if (status == Z_STREAM_END)
            break;
        // Anything else, including a stream that ends before its end marker
        // (no progress: Z_BUF_ERROR), means this is not one complete stream.
        if (status != Z_OK) {
            inflateEnd(&stream);
            return false;
        }
        if (stream.avail_out == 0) {
            // Sizes in an archive are 32-bit: no entry can inflate further.
            if (out.size() >= UINT32_MAX) {
                inflateEnd(&stream);
                return false;
            }
            growOutput(out, stream);
        }
    }
    out.resize(out.size() - stream.avail_out);
    if (inflateEnd(&stream) != Z_OK)
        return false;

    bytes = std::move(out);
    info.originalSize = info.storedSize = static_cast<std::uint32_t>(bytes.size());
    return true;
}

}  // namespace vza
