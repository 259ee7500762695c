// SPDX-License-Identifier: MIT
// Throughput of the Blowfish cipher: the buffer calls as the library uses
// them, each block path on its own, and the cost of keying.
#include "vza/codec/blowfish.h"

#include <benchmark/benchmark.h>

#include <cstdint>
#include <string>
#include <vector>

namespace {

constexpr std::size_t bufferSize = std::size_t{1} << 20;

// Names the path the buffer calls take in the report's context, so a figure
// is never read without knowing which loop produced it.
const bool contextAdded = [] {
    benchmark::AddCustomContext("cipher_path", vza::cipherPathName(vza::bufferCipherPath()));
    return true;
}();

void keyForBench()
{
    const std::string password = "benchmark password";
    vza::setKey(reinterpret_cast<const std::uint8_t*>(password.data()), password.size());
}

std::vector<std::uint8_t> benchBuffer()
{
    std::vector<std::uint8_t> bytes(bufferSize);
    for (std::size_t i = 0; i < bytes.size(); ++i)
        bytes[i] = static_cast<std::uint8_t>(i * 131 + 17);
    return bytes;
}

void BM_EncryptBuffer(benchmark::State& state)
{
    keyForBench();
    auto bytes = benchBuffer();
    for (auto _ : state) {
        vza::encryptBuffer(bytes.data(), bytes.size());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * bytes.size()));
}
BENCHMARK(BM_EncryptBuffer);

void BM_DecryptBuffer(benchmark::State& state)
{
    keyForBench();
    auto bytes = benchBuffer();
    for (auto _ : state) {
        vza::decryptBuffer(bytes.data(), bytes.size());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * bytes.size()));
}
BENCHMARK(BM_DecryptBuffer);

void BM_SetKey(benchmark::State& state)
{
    const std::string password = "benchmark password";
    for (auto _ : state) {
        vza::setKey(reinterpret_cast<const std::uint8_t*>(password.data()), password.size());
        benchmark::DoNotOptimize(vza::cipherState().S[1023]);
    }
}
BENCHMARK(BM_SetKey);

// Each block path forced, 1 MiB at a time; arg 0 enciphers, 1 deciphers.
template <vza::CipherPath path>
void BM_Path(benchmark::State& state)
{
    if (!vza::cipherPathAvailable(path)) {
        state.SkipWithError("path not available on this CPU");
        return;
    }
    keyForBench();
    auto bytes = benchBuffer();
    const bool decrypt = state.range(0) != 0;
    for (auto _ : state) {
        if (decrypt)
            vza::decryptBlocks(path, bytes.data(), bytes.size());
        else
            vza::encryptBlocks(path, bytes.data(), bytes.size());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * bytes.size()));
    state.SetLabel(decrypt ? "decrypt" : "encrypt");
}
BENCHMARK(BM_Path<vza::CipherPath::Portable>)->Name("BM_Path/Portable")->Arg(0)->Arg(1);
BENCHMARK(BM_Path<vza::CipherPath::Avx2>)->Name("BM_Path/Avx2")->Arg(0)->Arg(1);
BENCHMARK(BM_Path<vza::CipherPath::Avx512>)->Name("BM_Path/Avx512")->Arg(0)->Arg(1);

}  // namespace
