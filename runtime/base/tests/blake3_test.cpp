#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>

#include "vexa/blobstore.h"

namespace {

std::vector<std::uint8_t> random_bytes(std::size_t size) {
  std::mt19937 rng(static_cast<std::uint32_t>(size * 2654435761u));
  std::vector<std::uint8_t> bytes(size);
  for (auto& b : bytes) b = static_cast<std::uint8_t>(rng());
  return bytes;
}

// The reference tool's hash of the same bytes.
std::string reference_hash(const std::vector<std::uint8_t>& bytes) {
  const auto path = std::filesystem::temp_directory_path() /
                    ("vexa-b3-" + std::to_string(::getpid()) + "-" + std::to_string(bytes.size()));
  {
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
  }
  std::string command = "b3sum --no-names '" + path.string() + "' 2>&1";
  std::string output;
  if (FILE* pipe = ::popen(command.c_str(), "r")) {
    char buffer[256];
    while (std::fgets(buffer, sizeof buffer, pipe) != nullptr) output += buffer;
    ::pclose(pipe);
  }
  std::filesystem::remove(path);
  while (!output.empty() && (output.back() == '\n' || output.back() == '\r')) output.pop_back();
  return output;
}

TEST(Blake3, MatchesReferenceToolAcrossChunkAndTreeBoundaries) {
  // Around the 64-byte block, the 1024-byte chunk and the first few tree levels.
  const std::vector<std::size_t> sizes = {
      0,    1,    63,   64,   65,   1023,  1024,          1025,          2047,
      2048, 2049, 3072, 4096, 8193, 16385, 31 * 1024 + 5, (1u << 20) + 7};
  for (const std::size_t size : sizes) {
    const auto bytes = random_bytes(size);
    const std::string expected = reference_hash(bytes);
    ASSERT_TRUE(vexa::blobstore::is_hash_text(expected))
        << "b3sum gave no hash for " << size << " bytes: " << expected;
    EXPECT_EQ(vexa::blobstore::blake3_hex(bytes), expected) << size << " bytes";
  }
}

TEST(Blake3, HashTextIsExactlySixtyFourLowerHexDigits) {
  const std::string good(64, 'a');
  struct Case {
    std::string text;
    bool ok;
  };
  const std::vector<Case> cases = {
      {good, true},
      {std::string(63, 'a'), false},
      {std::string(65, 'a'), false},
      {std::string(64, 'A'), false},
      {std::string(62, '0') + "/x", false},
      {"", false},
  };
  for (const auto& c : cases) EXPECT_EQ(vexa::blobstore::is_hash_text(c.text), c.ok) << c.text;
}

}  // namespace
