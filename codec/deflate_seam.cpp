// SPDX-License-Identifier: MIT
// Reopening the end of a finished raw deflate stream (see deflate_backend.h).
//
// zlib's inflate with Z_BLOCK stops at the end of every block and tells, in
// data_type, how many bits of the last byte it took are still unused (low
// three bits), whether the block it is in was the final one (64) and that
// it stopped at a block's end (128); each call then goes on with the next
// block. It stops at the final block's end too, before it skips the
// padding: that is where the empty block goes. Bit positions count from
// the least significant bit of each byte, as deflate packs them.
#include "vza/codec/deflate_backend.h"

#include <cstring>

#include <zlib.h>

namespace vza {

namespace {

// Where the final block starts and ends, in bits from the stream's start.
struct FinalBlock {
    std::uint64_t header = 0;
    std::uint64_t end = 0;
};

// Decodes stream[0..length) block by block, checking that it gives
// plain[0..plainLength) exactly, and finds its final block.
bool findFinalBlock(const std::uint8_t* stream, std::size_t length, const std::uint8_t* plain, std::size_t plainLength,
                    FinalBlock& found)
{
    z_stream inflater{};
    if (inflateInit2(&inflater, -15) != Z_OK)
        return false;
    std::uint8_t decoded[16384];
    inflater.next_in = const_cast<Bytef*>(stream);  // zlib's API predates const
    inflater.avail_in = static_cast<uInt>(length);
    std::uint64_t blockStart = 0;  // the header of the block being decoded
    bool ok = false;
    while (true) {
        inflater.next_out = decoded;
        inflater.avail_out = sizeof decoded;
        const std::size_t before = inflater.total_out;
        // Z_BUF_ERROR is no failure in itself: a call that only decodes an
        // end-of-block code already in zlib's bit buffer takes no byte and
        // makes none, and still reaches the block's end.
        const int status = inflate(&inflater, Z_BLOCK);
        const std::size_t made = inflater.total_out - before;
        if ((status != Z_OK && status != Z_BUF_ERROR) || inflater.total_out > plainLength ||
            (made > 0 && std::memcmp(decoded, plain + before, made) != 0))
            break;
        const int state = inflater.data_type;
        const std::uint64_t position = std::uint64_t{inflater.total_in} * 8 - static_cast<unsigned>(state & 7);
        if ((state & 128) && (state & 64)) {
            found = {blockStart, position};
            ok = inflater.total_out == plainLength;
            break;
        }
        if (state & 128)
            blockStart = position;  // the next call starts at the next block's header
        else if (status == Z_BUF_ERROR)
            break;  // no progress: the stream is cut short
    }
    inflateEnd(&inflater);
    return ok;
}

}  // namespace

bool openStreamEnd(std::vector<std::uint8_t>& out, const std::uint8_t* plain, std::size_t plainLength)
{
    FinalBlock final;
    if (out.size() > UINT32_MAX || !findFinalBlock(out.data(), out.size(), plain, plainLength, final))
        return false;
    // Nothing may follow the final block but the zero bits padding its last byte.
    const std::size_t endByte = static_cast<std::size_t>(final.end / 8);
    const unsigned endBit = static_cast<unsigned>(final.end % 8);
    if ((final.end + 7) / 8 != out.size())
        return false;
    out[static_cast<std::size_t>(final.header / 8)] &= static_cast<std::uint8_t>(~(1u << (final.header % 8)));
    // An empty stored block: three header bits of zero (not final, stored)
    // at the end, then on to the byte boundary, LEN 0 and NLEN 0xFFFF. The
    // header fits in the padding when at least three bits of it are left.
    if (endBit != 0)
        out[endByte] &= static_cast<std::uint8_t>((1u << endBit) - 1);
    if (endBit == 0 || endBit > 5)
        out.push_back(0);
    out.insert(out.end(), {0x00, 0x00, 0xFF, 0xFF});
    return true;
}

}  // namespace vza
