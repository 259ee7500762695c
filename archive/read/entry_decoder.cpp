// SPDX-License-Identifier: MIT
#include "vza/archive/read/entry_decoder.h"

#include "vza/archive/format/format.h"
#include "vza/codec/blowfish.h"
#include "vza/codec/sealed_form.h"

namespace vza {

EntryDecoder::EntryDecoder(std::uint32_t flags, const EntryView& entry, const CipherState& key, Sink sink)
    : flags_(flags), storedSize_(entry.storedSize), originalSize_(entry.originalSize), key_(&key),
      sink_(std::move(sink))
{}

void EntryDecoder::restart(std::uint32_t flags, const EntryView& entry, const CipherState& key, Sink sink)
{
    flags_ = flags;
    key_ = &key;
    storedSize_ = entry.storedSize;
    originalSize_ = entry.originalSize;
    sink_ = std::move(sink);
    started_ = inflating_ = false;
    fed_ = payloadLeft_ = written_ = 0;
    error_ = ArchiveError::None;
}

EntryDecoder::~EntryDecoder() = default;

bool EntryDecoder::fail(ArchiveError error)
{
    if (error_ == ArchiveError::None)
        error_ = error;
    return false;
}

// Reads the seal prefix when there is one, and decides between plain bytes
// and a zlib stream from the unsealed length.
bool EntryDecoder::start(const std::uint8_t*& data, std::size_t& length)
{
    started_ = true;
    std::uint64_t payload = storedSize_;
    if (flags_ & FlagEncrypted) {
        std::uint32_t sealedLength = 0;
        if (length < 8 || !openSealPrefix(*key_, data, storedSize_, sealedLength))
            return fail(ArchiveError::EntryCorrupt);
        payload = sealedLength;
        data += 8;
        length -= 8;
    }
    payloadLeft_ = payload;
    if ((flags_ & FlagCompressed) && payload != originalSize_) {
        inflating_ = true;
        if (inflater_)
            inflater_->reset(originalSize_);
        else
            inflater_ = std::make_unique<InflateStream>(originalSize_);
    } else if (payload != originalSize_) {
        return fail(payload > originalSize_ ? ArchiveError::EntryTooLarge : ArchiveError::EntrySizeMismatch);
    }
    return true;
}

// Counts a piece in and, for the first, reads the seal prefix (deciphered on
// a copy) and moves data past it.
bool EntryDecoder::take(const std::uint8_t*& data, std::size_t& length)
{
    if (error_ != ArchiveError::None)
        return false;
    fed_ += length;
    if (fed_ > storedSize_)
        return fail(ArchiveError::EntryCorrupt);
    if (!started_ && (length > 0 || fed_ == storedSize_))
        return start(data, length);
    return true;
}

// Hands on the plain bytes of a piece; padding after the sealed length is
// dropped.
bool EntryDecoder::pass(const std::uint8_t* data, std::size_t length)
{
    if ((flags_ & FlagEncrypted) && length % 8 != 0)
        return fail(ArchiveError::EntryCorrupt);
    const std::size_t payload = length < payloadLeft_ ? length : static_cast<std::size_t>(payloadLeft_);
    payloadLeft_ -= payload;
    return emit(data, payload);
}

bool EntryDecoder::feed(std::uint8_t* data, std::size_t length)
{
    const std::uint8_t* rest = data;
    if (!take(rest, length))
        return false;
    if ((flags_ & FlagEncrypted) && length % 8 == 0)
        decryptBuffer(*key_, data + (rest - data), length);
    return pass(rest, length);
}

bool EntryDecoder::feedDeciphered(const std::uint8_t* data, std::size_t length)
{
    return take(data, length) && pass(data, length);
}

bool EntryDecoder::emit(const std::uint8_t* data, std::size_t length)
{
    if (length == 0)
        return true;
    if (!inflating_) {
        written_ += length;
        if (!sink_(data, length))
            return fail(ArchiveError::CannotWriteOutput);
        return true;
    }
    switch (inflater_->feed(data, length, sink_)) {
    case InflateStream::Result::Corrupt: return fail(ArchiveError::EntryCorrupt);
    case InflateStream::Result::TooLarge: return fail(ArchiveError::EntryTooLarge);
    case InflateStream::Result::Ok: break;
    }
    if (inflater_->sinkFailed())
        return fail(ArchiveError::CannotWriteOutput);
    written_ = inflater_->produced();
    return true;
}

bool EntryDecoder::finish()
{
    if (error_ != ArchiveError::None)
        return false;
    if (!started_) {
        const std::uint8_t* none = nullptr;
        std::size_t zero = 0;
        if (!start(none, zero))
            return false;
    }
    if (fed_ != storedSize_)
        return fail(ArchiveError::EntryTruncated);
    if (inflating_ && !inflater_->finished())
        return fail(ArchiveError::EntryCorrupt);
    if (written_ != originalSize_)
        return fail(written_ > originalSize_ ? ArchiveError::EntryTooLarge : ArchiveError::EntrySizeMismatch);
    return true;
}

}  // namespace vza
