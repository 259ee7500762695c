// SPDX-License-Identifier: MIT
// ISA-L's deflater at its level 3, where the build found the library:
// several times as fast as zlib's level 1 and a little smaller (ISA-L's own
// levels 1 and 2 come out about as large as zlib's, sometimes larger). It
// is primed like zlib's, so its pieces join the same way.
#include "vza/codec/deflate_backend.h"

#ifdef VZA_HAVE_ISAL

#include <isa-l/igzip_lib.h>

namespace vza {

namespace {

class IsalDeflater final : public DeflateBackend {
public:
    IsalDeflater() : levelBuffer_(ISAL_DEF_LVL3_DEFAULT) {}

    bool compress(const std::uint8_t* dictionary, std::size_t dictionaryLength, const std::uint8_t* data,
                  std::size_t length, bool last, std::vector<std::uint8_t>& out) override
    {
        isal_deflate_init(&stream_);
        stream_.level = 3;
        stream_.level_buf = levelBuffer_.data();
        stream_.level_buf_size = static_cast<std::uint32_t>(levelBuffer_.size());
        stream_.gzip_flag = IGZIP_DEFLATE;
        if (dictionaryLength > 0 && isal_deflate_set_dict(&stream_, const_cast<std::uint8_t*>(dictionary),
                                                          static_cast<std::uint32_t>(dictionaryLength)) != COMP_OK)
            return false;
        // Stored blocks at worst, and the flush's empty block.
        out.resize(length + length / 16 + 1024);
        stream_.next_in = const_cast<std::uint8_t*>(data);
        stream_.avail_in = static_cast<std::uint32_t>(length);
        stream_.next_out = out.data();
        stream_.avail_out = static_cast<std::uint32_t>(out.size());
        stream_.end_of_stream = last ? 1 : 0;
        stream_.flush = last ? NO_FLUSH : SYNC_FLUSH;
        if (isal_deflate(&stream_) != COMP_OK || stream_.avail_in != 0 ||
            (last && stream_.internal_state.state != ZSTATE_END))
            return false;
        out.resize(out.size() - stream_.avail_out);
        return true;
    }

private:
    isal_zstream stream_{};
    std::vector<std::uint8_t> levelBuffer_;
};

}  // namespace

std::unique_ptr<DeflateBackend> makeIsalDeflater()
{
    return std::make_unique<IsalDeflater>();
}

}  // namespace vza

#else

namespace vza {

std::unique_ptr<DeflateBackend> makeIsalDeflater()
{
    return nullptr;
}

}  // namespace vza

#endif
