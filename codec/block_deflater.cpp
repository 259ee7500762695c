// SPDX-License-Identifier: MIT
#include "vza/codec/block_deflater.h"

#ifdef VZA_HAVE_ISAL
#include <isa-l/igzip_lib.h>
#endif

namespace vza {

namespace {
// The zlib header for deflate with a 32 KiB window, by the level's class
// (FLEVEL: 0 fastest, 1 fast, 2 default, 3 best), check bits included.
constexpr std::uint8_t Headers[4][2] = {{0x78, 0x01}, {0x78, 0x5E}, {0x78, 0x9C}, {0x78, 0xDA}};
}  // namespace

#ifdef VZA_HAVE_ISAL
// ISA-L's deflater: a raw stream, its level's work buffer beside it.
struct BlockDeflater::Isal {
    isal_zstream stream{};
    std::vector<std::uint8_t> levelBuffer;
    std::uint32_t level = 1;
};
#else
struct BlockDeflater::Isal {};
#endif

BlockDeflater::BlockDeflater(int level)
{
#ifdef VZA_HAVE_ISAL
    // Level 1 through ISA-L's level 3: several times as fast as zlib's
    // level 1 and a little smaller (ISA-L's own levels 1 and 2 come out
    // about as large as zlib's, sometimes larger).
    if (level == 1) {
        isal_ = std::make_unique<Isal>();
        isal_->level = 3;
        isal_->levelBuffer.resize(ISAL_DEF_LVL3_DEFAULT);
        initialised_ = true;
        return;
    }
#endif
    // A raw deflate stream: the zlib header and trailer are the caller's,
    // once for the whole input.
    initialised_ = deflateInit2(&stream_, level, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY) == Z_OK;
}

BlockDeflater::~BlockDeflater()
{
    if (initialised_ && !isal_)
        deflateEnd(&stream_);
}

const std::uint8_t* BlockDeflater::zlibHeader(int level)
{
    const int flevel = level < 0 || level == 6 ? 2 : level < 2 ? 0 : level < 6 ? 1 : 3;
    return Headers[flevel];
}

bool BlockDeflater::compress(const std::uint8_t* dictionary, std::size_t dictionaryLength, const std::uint8_t* data,
                             std::size_t length, bool last, std::vector<std::uint8_t>& out, std::uint32_t& checksum)
{
    out.clear();
    if (!initialised_ || length > 0x40000000 || dictionaryLength > DictionarySize)
        return false;
    if (isal_) {
        if (!compressIsal(dictionary, dictionaryLength, data, length, last, out))
            return false;
        checksum = static_cast<std::uint32_t>(adler32(1, data, static_cast<uInt>(length)));
        return true;
    }
    if (deflateReset(&stream_) != Z_OK)
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

bool BlockDeflater::compressIsal([[maybe_unused]] const std::uint8_t* dictionary,
                                 [[maybe_unused]] std::size_t dictionaryLength,
                                 [[maybe_unused]] const std::uint8_t* data, [[maybe_unused]] std::size_t length,
                                 [[maybe_unused]] bool last, [[maybe_unused]] std::vector<std::uint8_t>& out)
{
#ifdef VZA_HAVE_ISAL
    isal_zstream& stream = isal_->stream;
    isal_deflate_init(&stream);
    stream.level = isal_->level;
    stream.level_buf = isal_->levelBuffer.data();
    stream.level_buf_size = static_cast<std::uint32_t>(isal_->levelBuffer.size());
    stream.gzip_flag = IGZIP_DEFLATE;
    if (dictionaryLength > 0 && isal_deflate_set_dict(&stream, const_cast<std::uint8_t*>(dictionary),
                                                      static_cast<std::uint32_t>(dictionaryLength)) != COMP_OK)
        return false;
    // Stored blocks at worst, and the flush's empty block.
    out.resize(length + length / 16 + 1024);
    stream.next_in = const_cast<std::uint8_t*>(data);
    stream.avail_in = static_cast<std::uint32_t>(length);
    stream.next_out = out.data();
    stream.avail_out = static_cast<std::uint32_t>(out.size());
    stream.end_of_stream = last ? 1 : 0;
    stream.flush = last ? NO_FLUSH : SYNC_FLUSH;
    if (isal_deflate(&stream) != COMP_OK || stream.avail_in != 0 ||
        (last && stream.internal_state.state != ZSTATE_END)) {
        out.clear();
        return false;
    }
    out.resize(out.size() - stream.avail_out);
    return true;
#else
    return false;
#endif
}

std::uint32_t BlockDeflater::joinChecksums(std::uint32_t first, std::uint32_t second, std::uint64_t secondLength)
{
    return static_cast<std::uint32_t>(adler32_combine64(first, second, static_cast<z_off64_t>(secondLength)));
}

}  // namespace vza
