#include "vexa/blobstore.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>

#include "temp_dir.h"

namespace fs = std::filesystem;
namespace blob = vexa::blobstore;

namespace {

std::vector<std::uint8_t> bytes_of(std::string_view text) { return {text.begin(), text.end()}; }

class BlobStoreTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = temp_.path();
    blob::set_root(dir_);
  }
  void TearDown() override { blob::set_root(blob::default_root()); }
  vexa::testing::TempDir temp_{"vexa-blobs"};
  fs::path dir_;
};

TEST_F(BlobStoreTest, PutStoresUnderHashAndGetReturnsTheBytes) {
  const auto data = bytes_of("attachment body");
  const auto hash = blob::put(data);
  ASSERT_TRUE(hash) << hash.error();
  EXPECT_EQ(*hash, blob::blake3_hex(data));
  EXPECT_TRUE(fs::is_regular_file(dir_ / hash->substr(0, 2) / *hash));
  EXPECT_EQ(blob::get(*hash), data);
  EXPECT_TRUE(blob::verify(*hash, data));
  EXPECT_FALSE(blob::verify(*hash, bytes_of("attachment bodY")));

  const auto again = blob::put(data);
  ASSERT_TRUE(again);
  EXPECT_EQ(*again, *hash);
}

TEST_F(BlobStoreTest, GetRefusesMalformedNamesAndMissingBlobs) {
  for (const std::string& name : {std::string("../../etc/passwd"), std::string(64, 'A'),
                                  std::string(64, '0'), std::string()}) {
    EXPECT_FALSE(blob::get(name)) << name;
  }
}

TEST_F(BlobStoreTest, DamagedBlobIsNotReturnedAndIsRepairedByPut) {
  const auto data = bytes_of("original bytes");
  const auto hash = blob::put(data);
  ASSERT_TRUE(hash);
  const fs::path file = dir_ / hash->substr(0, 2) / *hash;
  std::ofstream(file, std::ios::binary | std::ios::trunc) << "garbage";

  EXPECT_FALSE(blob::get(*hash));
  ASSERT_TRUE(blob::put(data));
  EXPECT_EQ(blob::get(*hash), data);
}

TEST(BlobStoreRoot, DefaultRootFollowsXdgDataHome) {
  const char* old_xdg = std::getenv("XDG_DATA_HOME");
  const std::string saved = old_xdg ? old_xdg : "";
  const char* home = std::getenv("HOME");
  ASSERT_NE(home, nullptr);

  ::setenv("XDG_DATA_HOME", "/tmp/xdg-data", 1);
  EXPECT_EQ(blob::default_root(), fs::path("/tmp/xdg-data/vexa/blobs"));
  // A relative value is invalid by the XDG rules.
  ::setenv("XDG_DATA_HOME", "relative/dir", 1);
  EXPECT_EQ(blob::default_root(), fs::path(home) / ".local/share/vexa/blobs");
  ::unsetenv("XDG_DATA_HOME");
  EXPECT_EQ(blob::default_root(), fs::path(home) / ".local/share/vexa/blobs");

  if (old_xdg) ::setenv("XDG_DATA_HOME", saved.c_str(), 1);
}

}  // namespace
