// SPDX-License-Identifier: MIT
// Library benchmarks: lookup and opening of a large index, the zlib codec,
// and streaming extraction of one large entry.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <string>

#include "testkit/archive_builder.h"
#include "testkit/data.h"
#include "testkit/temp_dir.h"
#include "vza/archive/format/data_buffer.h"
#include "vza/archive/format/format.h"
#include "vza/archive/read/archive.h"

using namespace vza;

namespace {

constexpr int ManyEntries = 100000;

// One scratch folder for the whole run, removed at exit.
std::string scratchPath(const std::string& name)
{
    static const vza::test::TempDir folder;
    return folder / name;
}

std::string entryName(int i)
{
    return "docs/section" + std::to_string(i % 97) + "/file" + std::to_string(i) + ".txt";
}

// A 100 000-entry archive of small text entries, written once.
const std::string& manyEntryArchive()
{
    static const std::string path = [] {
        const std::string target = scratchPath("many.vza");
        vza::test::writeArchive(
            target, ManyEntries,
            [](int i) {
                return vza::test::TestEntry(entryName(i), "entry " + std::to_string(i) + " of the benchmark archive\n");
            },
            0);
        return target;
    }();
    return path;
}

void BM_FindInLargeIndex(benchmark::State& state)
{
    Archive archive;
    if (!archive.open(manyEntryArchive(), ""))
        std::abort();
    int i = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(archive.find(entryName(i)));
        i = (i + 7919) % ManyEntries;
    }
}
BENCHMARK(BM_FindInLargeIndex);

void BM_OpenLargeIndex(benchmark::State& state)
{
    const std::string& path = manyEntryArchive();
    for (auto _ : state) {
        Archive archive;
        if (!archive.open(path, ""))
            std::abort();
        benchmark::DoNotOptimize(archive.entryCount());
    }
}
BENCHMARK(BM_OpenLargeIndex)->Unit(benchmark::kMillisecond);

void BM_Compress16MiB(benchmark::State& state)
{
    const auto plain = vza::test::compressibleBytes(16 << 20);
    for (auto _ : state) {
        DataBuffer buffer;
        buffer.assign(plain.data(), plain.size());
        buffer.compress();
        benchmark::DoNotOptimize(buffer.bytes.data());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * static_cast<std::int64_t>(plain.size()));
}
BENCHMARK(BM_Compress16MiB)->Unit(benchmark::kMillisecond);

void BM_Decompress16MiB(benchmark::State& state)
{
    DataBuffer stream;
    const auto plain = vza::test::compressibleBytes(16 << 20);
    stream.assign(plain.data(), plain.size());
    stream.compress();
    for (auto _ : state) {
        DataBuffer buffer = stream;
        buffer.decompress();
        benchmark::DoNotOptimize(buffer.bytes.data());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * static_cast<std::int64_t>(plain.size()));
}
BENCHMARK(BM_Decompress16MiB)->Unit(benchmark::kMillisecond);

// One 256 MiB entry, streamed to a file, for each archive kind.
void BM_StreamExtract256MiB(benchmark::State& state)
{
    const std::uint32_t flags = static_cast<std::uint32_t>(state.range(0));
    const std::string path = scratchPath("large" + std::to_string(flags) + ".vza");
    const std::string password = "benchmark password";
    vza::test::writeArchive(
        path, 1, [](int) { return vza::test::TestEntry("large.bin", vza::test::compressibleBytes(256 << 20)); }, flags,
        password);
    Archive archive;
    if (!archive.open(path, password))
        std::abort();
    const std::string out = scratchPath("large.out");
    for (auto _ : state) {
        if (!archive.extractEntry(0, out))
            std::abort();
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * (256 << 20));
    std::remove(out.c_str());
    std::remove(path.c_str());
}
BENCHMARK(BM_StreamExtract256MiB)
    ->ArgName("flags")
    ->Arg(0)
    ->Arg(FlagCompressed)
    ->Arg(FlagEncrypted | FlagCompressed)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(2);

}  // namespace
