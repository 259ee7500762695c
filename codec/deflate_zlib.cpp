// SPDX-License-Identifier: MIT
// zlib's deflater, always built: the one every level and every piece can
// fall back on, primed with the input before each piece.
#include "vza/codec/deflate_backend.h"

#include <zlib.h>

namespace vza {

namespace {

class ZlibDeflater final : public DeflateBackend {
public:
    explicit ZlibDeflater(int level)
    {
        // A raw deflate stream: the zlib header and trailer are the caller's,
        // once for the whole input.
        ready_ = deflateInit2(&stream_, level, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY) == Z_OK;
    }

    ~ZlibDeflater() override
    {
        if (ready_)
            deflateEnd(&stream_);
    }

    bool ready() const { return ready_; }

    bool compress(const std::uint8_t* dictionary, std::size_t dictionaryLength, const std::uint8_t* data,
                  std::size_t length, bool last, std::vector<std::uint8_t>& out) override
    {
        if (deflateReset(&stream_) != Z_OK)
            return false;
        if (dictionaryLength > 0 &&
            deflateSetDictionary(&stream_, dictionary, static_cast<uInt>(dictionaryLength)) != Z_OK)
            return false;
        // deflateBound covers a finished stream; a sync flush adds an empty
        // stored block (5 bytes) and at most one byte of bits before it.
        out.resize(deflateBound(&stream_, static_cast<uLong>(length)) + 16);
        stream_.next_in = const_cast<Bytef*>(data);  // zlib's API predates const
        stream_.avail_in = static_cast<uInt>(length);
        stream_.next_out = out.data();
        stream_.avail_out = static_cast<uInt>(out.size());
        const int status = deflate(&stream_, last ? Z_FINISH : Z_SYNC_FLUSH);
        const bool done =
            last ? status == Z_STREAM_END : (status == Z_OK && stream_.avail_in == 0 && stream_.avail_out > 0);
        if (!done)
            return false;
        out.resize(out.size() - stream_.avail_out);
        return true;
    }

private:
    z_stream stream_{};
    bool ready_ = false;
};

}  // namespace

std::unique_ptr<DeflateBackend> makeZlibDeflater(int level)
{
    auto deflater = std::make_unique<ZlibDeflater>(level);
    if (!deflater->ready())
        return nullptr;
    return deflater;
}

}  // namespace vza
