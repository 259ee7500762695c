// SPDX-License-Identifier: MIT
#include "testkit/stored_forms.h"

#include <stdexcept>
#include <zlib.h>

#include "vza/archive/format/data_buffer.h"
#include "vza/codec/blowfish.h"

namespace vza::test {

void keyCipher(const std::string& password)
{
    setKey(reinterpret_cast<const std::uint8_t*>(password.data()), password.size());
}

Bytes zlibStream(const Bytes& plain)
{
    DataBuffer buffer;
    buffer.assign(plain.data(), plain.size());
    if (!buffer.compress())
        throw std::runtime_error("compress failed");
    return buffer.bytes;
}

Bytes sealedForm(const Bytes& bytes, const std::string& key)
{
    keyCipher(key);
    DataBuffer buffer;
    buffer.assign(bytes.data(), bytes.size());
    buffer.encrypt();
    return buffer.bytes;
}

Bytes gzipStream(const Bytes& plain)
{
    z_stream stream{};
    if (deflateInit2(&stream, Z_DEFAULT_COMPRESSION, Z_DEFLATED, 15 + 16, 8, Z_DEFAULT_STRATEGY) != Z_OK)
        throw std::runtime_error("deflateInit2 failed");
    Bytes out(deflateBound(&stream, static_cast<uLong>(plain.size())) + 64);
    stream.next_in = const_cast<Bytef*>(plain.data());
    stream.avail_in = static_cast<uInt>(plain.size());
    stream.next_out = out.data();
    stream.avail_out = static_cast<uInt>(out.size());
    const int status = deflate(&stream, Z_FINISH);
    out.resize(stream.total_out);
    deflateEnd(&stream);
    if (status != Z_STREAM_END)
        throw std::runtime_error("gzip stream failed");
    return out;
}

}  // namespace vza::test
