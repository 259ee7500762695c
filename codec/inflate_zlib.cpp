// SPDX-License-Identifier: MIT
// The portable inflater: zlib's own, which reads and checks the header, the
// data and the Adler-32 trailer itself.
#include <zlib.h>

#include <algorithm>

#include "vza/codec/inflate_backend.h"

namespace vza {

namespace {

class ZlibInflater final : public InflateBackend {
public:
    ZlibInflater()
    {
        stream_.next_in = Z_NULL;
        stream_.avail_in = 0;
        ready_ = inflateInit(&stream_) == Z_OK;
    }
    ~ZlibInflater() override
    {
        if (ready_)
            inflateEnd(&stream_);
    }

    bool ready() const override { return ready_; }

    void reset() override
    {
        if (ready_)
            ready_ = inflateReset(&stream_) == Z_OK;
    }

    Status run(const std::uint8_t*& in, std::size_t& inLength, std::uint8_t* out, std::size_t outLength,
               std::size_t& made) override
    {
        made = 0;
        if (!ready_)
            return Status::Corrupt;
        // zlib counts in 32 bits; the caller comes back for the rest.
        const std::size_t slice = std::min<std::size_t>(inLength, 0x40000000);
        const std::size_t room = std::min<std::size_t>(outLength, 0x40000000);
        stream_.next_in = const_cast<Bytef*>(in);
        stream_.avail_in = static_cast<uInt>(slice);
        stream_.next_out = out;
        stream_.avail_out = static_cast<uInt>(room);
        const int status = inflate(&stream_, Z_NO_FLUSH);
        const std::size_t taken = slice - stream_.avail_in;
        in += taken;
        inLength -= taken;
        made = room - stream_.avail_out;
        if (status == Z_STREAM_END)
            return Status::End;
        // Z_BUF_ERROR only says no progress was possible with what was given.
        if (status == Z_OK || status == Z_BUF_ERROR)
            return Status::Ok;
        // Z_NEED_DICT (a preset dictionary we never have), Z_DATA_ERROR, ...
        return Status::Corrupt;
    }

private:
    z_stream stream_{};
    bool ready_ = false;
};

}  // namespace

std::unique_ptr<InflateBackend> makeZlibInflater()
{
    return std::make_unique<ZlibInflater>();
}

}  // namespace vza
