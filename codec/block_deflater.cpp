// SPDX-License-Identifier: MIT
#include "vza/codec/block_deflater.h"

namespace vza {

namespace {
// Deflate with zlib's default level (6), 32 KiB window: the header says so.
constexpr std::uint8_t Header[2] = {0x78, 0x9C};
}  // namespace

BlockDeflater::BlockDeflater()
{
    // A raw deflate stream: the zlib header and trailer are the caller's,
    // once for the whole input.
    initialised_ = deflateInit2(&stream_, Z_DEFAULT_COMPRESSION, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY) == Z_OK;
}

BlockDeflater::~BlockDeflater()
{
    if (initialised_)
        deflateEnd(&stream_);
}

const std::uint8_t* BlockDeflater::zlibHeader()
{
    return Header;
}

bool BlockDeflater::compress(const std::uint8_t* dictionary, std::size_t dictionaryLength, const std::uint8_t* data,
                             std::size_t length, bool last, std::vector<std::uint8_t>& out, std::uint32_t& checksum)
{
    out.clear();
    if (!initialised_ || deflateReset(&stream_) != Z_OK || length > 0x40000000 || dictionaryLength > DictionarySize)
        return false;
    if (dictionaryLength > 0 && deflateSetDictionary(&stream_, dictionary, static_cast<uInt>(dictionaryLength)) != Z_OK)
        return false;
    // deflateBound covers a finished stream; a sync flush adds an empty
    // stored block (5 bytes) and at most one byte of bits before it.
    out.resize(deflateBound(&stream_, static_cast<uLong>(length)) + 16);
    stream_.next_in = const_cast<Bytef*>(data);
    stream_.avail_in = static_cast<uInt>(length);
    stream_.next_out = out.data();
    stream_.avail_out = static_cast<uInt>(out.size());
    const int status = deflate(&stream_, last ? Z_FINISH : Z_SYNC_FLUSH);
    const bool done =
        last ? status == Z_STREAM_END : (status == Z_OK && stream_.avail_in == 0 && stream_.avail_out > 0);
    if (!done) {
        out.clear();
        return false;
    }
    out.resize(out.size() - stream_.avail_out);
    checksum = static_cast<std::uint32_t>(adler32(1, data, static_cast<uInt>(length)));
    return true;
}

std::uint32_t BlockDeflater::joinChecksums(std::uint32_t first, std::uint32_t second, std::uint64_t secondLength)
{
    return static_cast<std::uint32_t>(adler32_combine64(first, second, static_cast<z_off64_t>(secondLength)));
}

}  // namespace vza
