// SPDX-License-Identifier: MIT
// libFuzzer target: arbitrary stored bytes through the entry codecs.
//
// The input's first bytes choose the flags, sizes and piece length (see
// decoder_checks.h); the rest is the entry as it would stand in an archive.
#include <cstdio>
#include <cstdlib>

#include "fuzz/decoder_checks.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string problem = vza::fuzz::checkStoredEntry(data, size);
    if (!problem.empty()) {
        std::fprintf(stderr, "broken promise: %s\n", problem.c_str());
        std::abort();
    }
    return 0;
}
