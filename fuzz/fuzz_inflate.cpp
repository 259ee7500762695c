// SPDX-License-Identifier: MIT
// libFuzzer target: arbitrary bytes as a zlib stream through both inflaters
// (zlib's and ISA-L's), which must agree: both accept or both refuse, and
// where they accept, the same bytes; neither ever passes its limit. A reused, reset
// inflater must then give the same outcome again.
//
// Input: byte 0 the piece length fed at a time (0: all at once), bytes 1-3
// the limit (big-endian, 24 bits), then the stream.
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "vza/codec/inflate_stream.h"

namespace {

struct Outcome {
    vza::InflateStream::Result result = vza::InflateStream::Result::Ok;
    bool finished = false;
    std::vector<std::uint8_t> output;
};

Outcome run(vza::InflateStream& inflater, const std::uint8_t* data, std::size_t size, std::size_t piece)
{
    Outcome outcome;
    auto sink = [&](const std::uint8_t* bytes, std::size_t length) {
        outcome.output.insert(outcome.output.end(), bytes, bytes + length);
        return true;
    };
    if (piece == 0)
        piece = size ? size : 1;
    for (std::size_t at = 0; at < size; at += piece) {
        outcome.result = inflater.feed(data + at, std::min(piece, size - at), sink);
        if (outcome.result != vza::InflateStream::Result::Ok)
            break;
    }
    outcome.finished = inflater.finished();
    return outcome;
}

void fail(const std::string& problem)
{
    std::fprintf(stderr, "inflaters disagree: %s\n", problem.c_str());
    std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 4)
        return 0;
    const std::size_t piece = data[0];
    const std::uint64_t limit = (std::uint64_t{data[1]} << 16) | (std::uint64_t{data[2]} << 8) | data[3];
    data += 4;
    size -= 4;

    vza::InflateStream zlib(limit, vza::InflateEngine::Zlib);
    vza::InflateStream isal(limit, vza::InflateEngine::Isal);
    const Outcome z = run(zlib, data, size, piece);
    const Outcome i = run(isal, data, size, piece);
    if (z.output.size() > limit || i.output.size() > limit)
        fail("output past the limit");
    // Accepted means read to its end without fault. A refusal is a refusal:
    // where a stream both passes the limit and breaks further on, or breaks
    // where its input ends, which an inflater notices first depends on how
    // far it decodes per call.
    const bool zAccepts = z.result == vza::InflateStream::Result::Ok && z.finished;
    const bool iAccepts = i.result == vza::InflateStream::Result::Ok && i.finished;
    if (zAccepts != iAccepts)
        fail("verdicts differ: zlib " + std::to_string(static_cast<int>(z.result)) + (z.finished ? " finished" : "") +
             " after " + std::to_string(z.output.size()) + " bytes, isa-l " +
             std::to_string(static_cast<int>(i.result)) + (i.finished ? " finished" : "") + " after " +
             std::to_string(i.output.size()) + " bytes");
    if (zAccepts && z.output != i.output)
        fail("outputs differ");

    // The same inflater again after a reset: no state may carry over.
    isal.reset(limit);
    const Outcome again = run(isal, data, size, piece);
    if (again.result != i.result || again.finished != i.finished || again.output != i.output)
        fail("a reset inflater answers differently");
    return 0;
}
