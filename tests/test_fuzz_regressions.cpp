// Inputs the fuzz targets found worth keeping, replayed through the same
// checks the targets make (fuzz/archive_checks.h, fuzz/decoder_checks.h).
// Add a finding by dropping its input into tests/data/fuzz/archive or
// tests/data/fuzz/decoder; the files are also fed to the fuzzers as seeds.
#include <gtest/gtest.h>

#include <filesystem>

#include "archive/archive.h"
#include "fuzz/archive_checks.h"
#include "fuzz/decoder_checks.h"
#include "test_support.h"

using namespace vza;
using namespace vza::test;

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

}  // namespace
