// SPDX-License-Identifier: MIT
// Inputs the fuzz targets found worth keeping, replayed through the same
// checks the targets make (fuzz/archive_checks.h, fuzz/decoder_checks.h).
// Add a finding by dropping its input into tests/data/fuzz/archive or
// tests/data/fuzz/decoder; the files are also fed to the fuzzers as seeds.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <new>
#include <thread>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "fuzz/archive_checks.h"
#include "fuzz/decoder_checks.h"
#include "testkit/testkit.h"
#include "vza/archive/read/archive.h"

using namespace vza;
using namespace vza::test;

// The largest single allocation made so far, to catch a size taken on trust.
std::atomic<std::size_t> largestAllocation{0};

void* operator new(std::size_t size)
{
    std::size_t seen = largestAllocation.load();
    while (size > seen && !largestAllocation.compare_exchange_weak(seen, size)) {
    }
    if (void* p = std::malloc(size ? size : 1))
        return p;
    throw std::bad_alloc();
}

// GCC pairs the replaced new with these deletes only by name and warns.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
#endif
void operator delete(void* p) noexcept
{
    std::free(p);
}

void operator delete(void* p, std::size_t) noexcept
{
    std::free(p);
}
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic pop
#endif

namespace {

std::vector<std::string> inputsIn(const std::string& folder)
{
    std::vector<std::string> paths;
    for (const auto& item : std::filesystem::directory_iterator(std::string(VZA_TEST_DATA) + "/fuzz/" + folder))
        paths.push_back(item.path().string());
    std::sort(paths.begin(), paths.end());
    return paths;
}

TEST(FuzzRegressions, ArchiveInputs)
{
    const std::vector<std::string> inputs = inputsIn("archive");
    ASSERT_FALSE(inputs.empty());
    for (const std::string& input : inputs) {
        SCOPED_TRACE(input);
        TempDir out;
        EXPECT_EQ(fuzz::checkArchiveFile(input, out.path()), "");
        EXPECT_TRUE(out.list().empty());
    }
}

TEST(FuzzRegressions, DecoderInputs)
{
    const std::vector<std::string> inputs = inputsIn("decoder");
    ASSERT_FALSE(inputs.empty());
    for (const std::string& input : inputs) {
        SCOPED_TRACE(input);
        const Bytes bytes = readBytes(input);
        EXPECT_EQ(fuzz::checkStoredEntry(bytes.data(), bytes.size()), "");
    }
}

// A stored name with a NUL byte cannot be a file name: the system would cut
// it at the NUL and the bytes would land in another file ("n" here, perhaps
// one the user has). Found by fuzz_archive (nul-in-name.vza).
TEST(FuzzRegressions, NameWithNulByteIsNotWrittenToItsCutName)
{
    TempDir dir;
    const std::string name("n\0.txt", 6);
    writeArchive(dir / "a.vza", {{name, bytesOf("hello")}}, 0);
    writeBytes(dir / "n", bytesOf("precious"));
    Archive archive;
    ASSERT_TRUE(archive.open(dir / "a.vza", ""));
    ASSERT_EQ(archive.entryName(0), name);

    const std::filesystem::path previous = std::filesystem::current_path();
    std::filesystem::current_path(dir.path());
    const bool byOwnName = archive.extractToFile(name, "");
    std::filesystem::current_path(previous);
    EXPECT_FALSE(byOwnName);
    EXPECT_FALSE(archive.extractToFile(name, dir / name));
    EXPECT_EQ(archive.lastError(), ArchiveError::CannotWriteOutput);
    EXPECT_EQ(readBytes(dir / "n"), bytesOf("precious"));
    EXPECT_EQ(dir.list(), (std::vector<std::string>{"a.vza", "n"}));
}

// A header that claims a million records, and nothing after it, read
// through a pipe: the file's size is unknown, so only the bytes that arrive
// can bound what the reader allocates. Taking the count on trust cost about
// 40 bytes per claimed record up front (up to 14 GB for a 32-byte input).
TEST(FuzzRegressions, HeaderReadThroughAPipeAllocatesOnlyForBytesThatArrive)
{
    TempDir dir;
    const std::string pipe = dir / "pipe";
    ASSERT_EQ(mkfifo(pipe.c_str(), 0600), 0);
    std::uint8_t header[HeaderSize] = {};
    const std::uint32_t records = 1000000;
    const std::uint32_t words[] = {ArchiveMagic, 0, 1, 2, 3, 4, records, records * 12};
    for (std::size_t i = 0; i < 8; ++i)
        putU32(words[i], header + 4 * i);
    std::thread writer([&] {
        const int fd = ::open(pipe.c_str(), O_WRONLY);
        if (fd >= 0) {
            EXPECT_EQ(::write(fd, header, sizeof header), static_cast<ssize_t>(sizeof header));
            ::close(fd);
        }
    });

    Archive archive;
    largestAllocation = 0;
    const bool opened = archive.open(pipe, "");
    const std::size_t largest = largestAllocation;
    writer.join();
    EXPECT_FALSE(opened);
    EXPECT_EQ(archive.lastError(), ArchiveError::DamagedIndex);
    EXPECT_LT(largest, std::size_t{1} << 20);
}

}  // namespace
