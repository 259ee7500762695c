// SPDX-License-Identifier: MIT
// Opening an archive whose names were chosen to collide, and one lookup: 100 000 names that
// share one value of std::hash (the hash a name table would naturally use)
// against 100 000 random names of the same length. With a keyed hash both
// open in about the same time; with std::hash the colliding archive took
// seconds, every insertion walking all earlier names.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "testkit/archive_builder.h"
#include "testkit/temp_dir.h"
#include "vza/archive/read/archive.h"

using namespace vza;

namespace {

constexpr int NameCount = 100000;

// libstdc++'s std::hash for strings: a 64-bit Murmur hash with this
// multiplier and seed. Each of its block steps is invertible, so for any
// first 8-byte block a second block can be solved that brings a 16-byte name
// to a chosen state: every name below gets the same std::hash value.
constexpr std::uint64_t Mul = 0xc6a4a7935bd1e995ULL;
constexpr std::uint64_t StringSeed = 0xc70f6907ULL;

constexpr std::uint64_t inverseOf(std::uint64_t odd)
{
    std::uint64_t x = odd;  // right in the low 3 bits; each step doubles that
    for (int i = 0; i < 5; ++i)
        x *= 2 - odd * x;
    return x;
}
constexpr std::uint64_t MulInverse = inverseOf(Mul);
static_assert(Mul * MulInverse == 1);

std::uint64_t shiftMix(std::uint64_t v)
{
    return v ^ (v >> 47);  // its own inverse, since 2 * 47 >= 64
}

std::uint64_t mixBlock(std::uint64_t block)
{
    return shiftMix(block * Mul) * Mul;
}

std::uint64_t unmixBlock(std::uint64_t mixed)
{
    return shiftMix(mixed * MulInverse) * MulInverse;
}

std::vector<std::string> collidingNames()
{
    const std::uint64_t target = 0x5eed5eed5eed5eedULL;  // the state after both blocks
    std::vector<std::string> names;
    names.reserve(NameCount);
    for (int i = 0; i < NameCount; ++i) {
        char first[9];
        std::snprintf(first, sizeof first, "f%07d", i);
        std::uint64_t k1;
        std::memcpy(&k1, first, 8);
        const std::uint64_t state = ((StringSeed ^ (16 * Mul)) ^ mixBlock(k1)) * Mul;
        const std::uint64_t k2 = unmixBlock(state ^ (target * MulInverse));
        std::string name(first, 8);
        name.append(reinterpret_cast<const char*>(&k2), 8);
        names.push_back(std::move(name));
    }
    return names;
}

std::vector<std::string> randomNames()
{
    std::mt19937_64 random(1);
    std::vector<std::string> names;
    names.reserve(NameCount);
    for (int i = 0; i < NameCount; ++i) {
        const std::uint64_t words[2] = {random(), random()};
        names.emplace_back(reinterpret_cast<const char*>(words), sizeof words);
    }
    return names;
}

// An archive of empty entries with the given names, in a scratch folder
// that lasts the run.
std::string writeArchive(const std::vector<std::string>& names, const char* file)
{
    static const vza::test::TempDir folder;
    const std::string path = folder / file;
    vza::test::writeArchive(
        path, static_cast<int>(names.size()),
        [&names](int i) { return vza::test::TestEntry(names[static_cast<std::size_t>(i)], vza::test::Bytes{}); }, 0);
    return path;
}

void openArchive(benchmark::State& state, const std::string& path)
{
    for (auto _ : state) {
        Archive archive;
        // The name table is built by the first lookup, not by open.
        if (!archive.open(path, "") || archive.find(archive.entryName(archive.entryCount() - 1)) < 0)
            std::abort();
        benchmark::DoNotOptimize(archive.entryCount());
    }
    state.counters["entries"] = NameCount;
}

// The colliding archive, or "" when this C++ library's std::hash is not the
// one the names were solved for. The names are freed before timing starts,
// as in the random case, so both runs see the same heap.
std::string collidingArchive()
{
    const std::vector<std::string> names = collidingNames();
    const std::size_t shared = std::hash<std::string_view>{}(names.front());
    for (const std::string& name : names)
        if (std::hash<std::string_view>{}(name) != shared)
            return "";
    return writeArchive(names, "colliding.vza");
}

void BM_OpenCollidingNames(benchmark::State& state)
{
    const std::string path = collidingArchive();
    if (path.empty()) {
        state.SkipWithError("this C++ library's std::hash differs: the names do not collide");
        return;
    }
    openArchive(state, path);
    std::filesystem::remove(path);
}
BENCHMARK(BM_OpenCollidingNames)->Unit(benchmark::kMillisecond);

void BM_OpenRandomNames(benchmark::State& state)
{
    const std::string path = writeArchive(randomNames(), "random.vza");
    openArchive(state, path);
    std::filesystem::remove(path);
}
BENCHMARK(BM_OpenRandomNames)->Unit(benchmark::kMillisecond);

}  // namespace
