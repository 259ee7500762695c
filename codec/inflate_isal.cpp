// SPDX-License-Identifier: MIT
// The fast inflater: ISA-L's igzip, where the build found it. igzip is given
// only the raw deflate data and the trailer; the two header bytes are read and
// judged here, by the same rules zlib applies, so both inflaters accept and
// refuse the same streams.
#include "vza/codec/inflate_backend.h"

#ifdef VZA_HAVE_ISAL

#include <isa-l/igzip_lib.h>

#include <algorithm>
#include <new>

namespace vza {

namespace {

class IsalInflater final : public InflateBackend {
public:
    IsalInflater() : state_(new (std::nothrow) inflate_state) { reset(); }

    bool ready() const override { return state_ != nullptr; }

    void reset() override
    {
        headerHave_ = 0;
        headerGood_ = false;
        finished_ = false;
        if (!state_)
            return;
        isal_inflate_init(state_.get());
        // Raw deflate data followed by a big-endian Adler-32 that igzip checks.
        state_->crc_flag = ISAL_ZLIB_NO_HDR_VER;
        // zlib keeps a 32 KiB window whatever the header declares; so must we,
        // or a stream one accepts would be refused by the other.
        state_->hist_bits = 0;
    }

    Status run(const std::uint8_t*& in, std::size_t& inLength, std::uint8_t* out, std::size_t outLength,
               std::size_t& made) override
    {
        made = 0;
        if (!state_)
            return Status::Corrupt;
        if (finished_)
            return Status::End;
        while (headerHave_ < 2 && inLength > 0) {
            header_[headerHave_++] = *in++;
            --inLength;
        }
        if (headerHave_ < 2)
            return Status::Ok;
        if (!headerGood_) {
            const unsigned method = header_[0] & 0x0f;
            const unsigned windowBits = (header_[0] >> 4) + 8;
            const unsigned check = (unsigned{header_[0]} << 8) | header_[1];
            const bool presetDictionary = (header_[1] & 0x20) != 0;
            // Deflate, a window of at most 32 KiB, the check bits right, and no
            // preset dictionary (an archive never carries one).
            if (method != 8 || windowBits > 15 || check % 31 != 0 || presetDictionary)
                return Status::Corrupt;
            headerGood_ = true;
        }
        const std::size_t slice = std::min<std::size_t>(inLength, 0x40000000);
        const std::size_t room = std::min<std::size_t>(outLength, 0x40000000);
        state_->next_in = const_cast<std::uint8_t*>(in);
        state_->avail_in = static_cast<std::uint32_t>(slice);
        state_->next_out = out;
        state_->avail_out = static_cast<std::uint32_t>(room);
        const int status = isal_inflate(state_.get());
        made = room - state_->avail_out;
        if (status < 0 || status == ISAL_NEED_DICT)
            return Status::Corrupt;
        const bool end = state_->block_state == ISAL_BLOCK_FINISH;
        // At the end igzip hands back the bytes it read ahead, which may lie
        // before this call's input (it buffers across calls). They follow the
        // stream and are ignored, so nothing is given back to the caller.
        if (state_->avail_in > slice) {
            if (!end)
                return Status::Corrupt;
            state_->avail_in = static_cast<std::uint32_t>(slice);
        }
        const std::size_t taken = slice - state_->avail_in;
        in += taken;
        inLength -= taken;
        if (end) {
            finished_ = true;
            return Status::End;
        }
        return Status::Ok;
    }

private:
    std::unique_ptr<inflate_state> state_;
    std::uint8_t header_[2] = {};
    int headerHave_ = 0;
    bool headerGood_ = false;
    bool finished_ = false;
};

}  // namespace

std::unique_ptr<InflateBackend> makeIsalInflater()
{
    return std::make_unique<IsalInflater>();
}

}  // namespace vza

#else

namespace vza {

std::unique_ptr<InflateBackend> makeIsalInflater()
{
    return nullptr;
}

}  // namespace vza

#endif
