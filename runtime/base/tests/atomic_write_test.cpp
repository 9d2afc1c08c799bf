#include "vexa/atomic_write.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "temp_dir.h"

namespace fs = std::filesystem;

namespace {

std::string read_text(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

class AtomicWriteTest : public ::testing::Test {
 protected:
  void SetUp() override { dir_ = temp_.path(); }
  // Only the named files; a leftover temporary would show up here.
  std::vector<std::string> entries() const {
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(dir_)) names.push_back(e.path().filename());
    std::sort(names.begin(), names.end());
    return names;
  }
  vexa::testing::TempDir temp_{"vexa-aw"};
  fs::path dir_;
};

TEST_F(AtomicWriteTest, ReplacesContentAndLeavesNoTemporaryFile) {
  const fs::path file = dir_ / "vault.json";
  ASSERT_TRUE(vexa::atomic_write(file, std::string_view("{\"a\":\"1\"}")));
  ASSERT_TRUE(vexa::atomic_write(file, std::string_view("{}")));
  EXPECT_EQ(read_text(file), "{}");
  EXPECT_EQ(entries(), std::vector<std::string>{"vault.json"});
}

TEST_F(AtomicWriteTest, AppliesTheModeRegardlessOfUmask) {
  const mode_t old_umask = ::umask(077);
  for (const mode_t mode : {mode_t{0600}, mode_t{0644}, mode_t{0640}}) {
    const fs::path file = dir_ / "f";
    ASSERT_TRUE(vexa::atomic_write(file, std::string_view("x"), mode));
    struct stat st {};
    ASSERT_EQ(::stat(file.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, mode);
  }
  ::umask(old_umask);
}

TEST_F(AtomicWriteTest, FailureKeepsTheOldFileAndSaysWhy) {
  const auto missing = vexa::atomic_write(dir_ / "no-such-dir" / "f", std::string_view("x"));
  ASSERT_FALSE(missing);
  EXPECT_NE(missing.error().find("No such file or directory"), std::string::npos)
      << missing.error();

  // The rename onto a non-empty directory fails after the data was written.
  fs::create_directories(dir_ / "target" / "child");
  const auto onto_dir = vexa::atomic_write(dir_ / "target", std::string_view("x"));
  ASSERT_FALSE(onto_dir);
  EXPECT_NE(onto_dir.error().find((dir_ / "target").string()), std::string::npos);
  EXPECT_TRUE(fs::is_directory(dir_ / "target" / "child"));
  EXPECT_EQ(entries(), std::vector<std::string>{"target"});
}

}  // namespace
