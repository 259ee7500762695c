// SPDX-License-Identifier: MIT
// Extraction engine benchmarks: many small entries through Extractor, and
// an archive of hostile deep names, which must be refused at once.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include <sys/resource.h>

#include "testkit/archive_builder.h"
#include "testkit/temp_dir.h"
#include "vza/archive/extract/extractor.h"
#include "vza/archive/read/archive.h"

using namespace vza;

namespace {

// One scratch folder for the whole run, removed at exit.
std::string scratchPath(const std::string& name)
{
    static const vza::test::TempDir folder;
    return folder / name;
}

double peakRssMiB()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_maxrss) / 1024.0;
}

// 20 000 entries of 1 to 200 bytes in 100 folders, stored as they are.
void BM_ExtractSmallEntries(benchmark::State& state)
{
    constexpr int Count = 20000;
    static const std::string archivePath = [] {
        const std::string path = scratchPath("small.vza");
        vza::test::writeArchive(
            path, Count,
            [](int i) {
                std::string name(1, 'd');  // appended piece by piece: g++ 12 warns wrongly on "d" + string
                name += std::to_string(i % 100);
                name += "/f";
                name += std::to_string(i);
                name += ".txt";
                return vza::test::TestEntry(name, std::string(static_cast<std::size_t>(1 + i % 200), 'x'));
            },
            0);
        return path;
    }();
    Archive archive;
    if (!archive.open(archivePath, ""))
        std::abort();
    int run = 0;
    for (auto _ : state) {
        const std::string out = scratchPath("small-out" + std::to_string(run++));
        Extractor extractor(archive);
        if (!extractor.open(out))
            std::abort();
        for (std::int32_t i = 0; i < Count; ++i) {
            if (extractor.extract(i).status != Extractor::Status::Written)
                std::abort();
        }
        state.PauseTiming();
        std::filesystem::remove_all(out);
        state.ResumeTiming();
    }
    state.counters["entries/s"] = benchmark::Counter(Count, benchmark::Counter::kIsIterationInvariantRate);
}
BENCHMARK(BM_ExtractSmallEntries)->Unit(benchmark::kMillisecond)->Iterations(3);

// 100 entries with names of 4 090 bytes nested 2 045 deep (a 410 KB
// archive): each is refused before any folder is made.
void BM_RefuseDeepNames(benchmark::State& state)
{
    static const std::string archivePath = [] {
        std::string deep;
        while (deep.size() < 4088)
            deep += "a/";
        const std::string path = scratchPath("deep.vza");
        vza::test::writeArchive(
            path, 100,
            [&](int i) { return vza::test::TestEntry(deep + std::to_string(i % 10) + std::to_string(i / 10), "x"); },
            0);
        return path;
    }();
    Archive archive;
    if (!archive.open(archivePath, ""))
        std::abort();
    const std::string out = scratchPath("deep-out");
    for (auto _ : state) {
        Extractor extractor(archive);
        if (!extractor.open(out))
            std::abort();
        for (std::int32_t i = 0; i < archive.entryCount(); ++i) {
            if (extractor.extract(i).status != Extractor::Status::Failed)
                std::abort();
        }
    }
    if (!std::filesystem::is_empty(out))
        std::abort();
    state.counters["peak RSS MiB"] = peakRssMiB();
}
BENCHMARK(BM_RefuseDeepNames)->Unit(benchmark::kMicrosecond);

}  // namespace
