// SPDX-License-Identifier: MIT
// libFuzzer target: arbitrary bytes through every deflater this build has
// (zlib's, ISA-L's, libdeflate's), whole and cut into pieces; each stream
// must give back exactly the input (deflate_checks.h). The pieces' seams are
// where the engines differ most: libdeflate's pieces are reopened at their
// end after the fact.
//
// Input: byte 0 the level (its value modulo 11, less 1: -1 to 9), byte 1
// the piece length (its value times 97 plus 1; 0: whole), then the bytes.
#include <cstdio>
#include <cstdlib>

#include "fuzz/deflate_checks.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 2)
        return 0;
    const int level = data[0] % 11 - 1;
    const std::size_t pieceLength = data[1] == 0 ? 0 : std::size_t{data[1]} * 97 + 1;
    const std::string problem = vza::fuzz::checkDeflaters(data + 2, size - 2, level, pieceLength);
    if (!problem.empty()) {
        std::fprintf(stderr, "deflaters disagree: %s\n", problem.c_str());
        std::abort();
    }
    return 0;
}
