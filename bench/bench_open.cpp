// SPDX-License-Identifier: MIT
// Time of Archive::open on one archive, whole and alone: prints the entry
// count and the minimum and median of several opens in milliseconds.
//
//   bench_open ARCHIVE [TIMES]
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "vza/archive/read/archive.h"

int main(int argc, char** argv)
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: bench_open ARCHIVE [TIMES]\n");
        return 2;
    }
    const int times = argc > 2 ? std::max(1, std::atoi(argv[2])) : 7;
    std::vector<double> ms;
    long long entries = 0;
    for (int i = 0; i < times; ++i) {
        const auto start = std::chrono::steady_clock::now();
        vza::Archive archive;
        if (!archive.open(argv[1], "")) {
            std::fprintf(stderr, "bench_open: %s does not open\n", argv[1]);
            return 1;
        }
        entries = archive.entryCount();
        ms.push_back(std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count());
    }
    std::sort(ms.begin(), ms.end());
    std::printf("%lld %.1f %.1f\n", entries, ms.front(), ms[ms.size() / 2]);
    return 0;
}
