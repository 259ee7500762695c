// SPDX-License-Identifier: MIT
#include "vza/codec/block_deflater.h"

#include <zlib.h>

#ifdef VZA_HAVE_LIBDEFLATE
#include <libdeflate.h>
#endif

#include "vza/codec/deflate_backend.h"

namespace vza {

namespace {

// The zlib header for deflate with a 32 KiB window, by the level's class
// (FLEVEL: 0 fastest, 1 fast, 2 default, 3 best), check bits included.
constexpr std::uint8_t Headers[4][2] = {{0x78, 0x01}, {0x78, 0x5E}, {0x78, 0x9C}, {0x78, 0xDA}};

std::uint32_t adler32Of(const std::uint8_t* data, std::size_t length)
{
#ifdef VZA_HAVE_LIBDEFLATE
    return libdeflate_adler32(1, data, length);  // several times zlib's speed
#else
    return static_cast<std::uint32_t>(adler32_z(1, data, length));
#endif
}

std::size_t slot(DeflateEngine engine)
{
    return static_cast<std::size_t>(engine);
}

}  // namespace

BlockDeflater::BlockDeflater(int level) : level_(level) {}

BlockDeflater::BlockDeflater(int level, DeflateEngine engine)
    : level_(level), forced_(true), engine_(engineAvailable(engine) ? engine : DeflateEngine::Zlib)
{}

BlockDeflater::~BlockDeflater() = default;

bool BlockDeflater::engineAvailable(DeflateEngine engine)
{
    switch (engine) {
    case DeflateEngine::Zlib: return true;
#ifdef VZA_HAVE_ISAL
    case DeflateEngine::Isal: return true;
#endif
#ifdef VZA_HAVE_LIBDEFLATE
    case DeflateEngine::Libdeflate: return true;
#endif
    default: return false;
    }
}

const char* BlockDeflater::engineName(DeflateEngine engine)
{
    switch (engine) {
    case DeflateEngine::Isal: return "isa-l";
    case DeflateEngine::Libdeflate: return "libdeflate";
    default: return "zlib";
    }
}

// Whole inputs: libdeflate wherever it is built. Pieces of a large input:
// ISA-L at level 1 (primed, and faster than libdeflate's level 1 with the
// decoding its pieces need), else libdeflate, else zlib.
DeflateEngine BlockDeflater::engineFor(bool whole) const
{
    if (forced_)
        return engine_;
    if (level_ == 1 && !whole && engineAvailable(DeflateEngine::Isal))
        return DeflateEngine::Isal;
    if (engineAvailable(DeflateEngine::Libdeflate))
        return DeflateEngine::Libdeflate;
    return level_ == 1 && engineAvailable(DeflateEngine::Isal) ? DeflateEngine::Isal : DeflateEngine::Zlib;
}

// The engine's deflater, made when first needed; null when it cannot be.
DeflateBackend* BlockDeflater::backend(DeflateEngine engine)
{
    const std::size_t at = slot(engine);
    if (!backends_[at] && !failed_[at]) {
        backends_[at] = engine == DeflateEngine::Isal         ? makeIsalDeflater()
                        : engine == DeflateEngine::Libdeflate ? makeLibdeflateDeflater(level_)
                                                              : makeZlibDeflater(level_);
        failed_[at] = !backends_[at];
    }
    return backends_[at].get();
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
    if (length > 0x40000000 || dictionaryLength > DictionarySize)
        return false;
    const DeflateEngine engine = engineFor(dictionaryLength == 0 && last);
    auto compressWith = [&](DeflateBackend* deflater) {
        return deflater && deflater->compress(dictionary, dictionaryLength, data, length, last, out);
    };
    bool made = compressWith(backend(engine));
    // An engine that could not be set up or could not make this piece (a
    // libdeflate piece whose end could not be reopened) leaves it to zlib,
    // which every build has: one engine's slip never fails the archive.
    if (!made && !forced_ && engine != DeflateEngine::Zlib)
        made = compressWith(backend(DeflateEngine::Zlib));
    if (!made) {
        out.clear();
        return false;
    }
    checksum = adler32Of(data, length);
    return true;
}

std::uint32_t BlockDeflater::joinChecksums(std::uint32_t first, std::uint32_t second, std::uint64_t secondLength)
{
    return static_cast<std::uint32_t>(adler32_combine64(first, second, static_cast<z_off64_t>(secondLength)));
}

}  // namespace vza
