#include "store/preferences.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <fstream>

#include "temp_dir.h"

namespace mail::store {
namespace {

class PreferencesTest : public ::testing::Test {
 protected:
  void SetUp() override { dir_ = temp_.path(); }
  void write(const std::string& text) { std::ofstream(dir_ / "mail-local.json") << text; }
  std::string read() {
    std::ifstream in(dir_ / "mail-local.json");
    return std::string(std::istreambuf_iterator<char>(in), {});
  }
  vexa::testing::TempDir temp_{"mail-prefs"};
  std::filesystem::path dir_;
};

TEST_F(PreferencesTest, LoadIsPlainTextOnlyForExactlyText) {
  struct Case {
    const char* content;
    ComposeFormat format;
  };
  const std::vector<Case> cases = {
      {R"({"compose_format":"text"})", ComposeFormat::Text},
      {R"({"compose_format":"text","other":1})", ComposeFormat::Text},
      {R"({"compose_format":"html"})", ComposeFormat::Html},
      {R"({"compose_format":"TEXT"})", ComposeFormat::Html},
      {R"({"compose_format":1})", ComposeFormat::Html},
      {R"({})", ComposeFormat::Html},
      {R"(["text"])", ComposeFormat::Html},
      {"not json", ComposeFormat::Html},
      {"", ComposeFormat::Html},
  };
  for (const auto& c : cases) {
    write(c.content);
    EXPECT_EQ(load_compose_format(dir_), c.format) << c.content;
  }
}

TEST_F(PreferencesTest, MissingFileOrNoLocationIsRichText) {
  EXPECT_EQ(load_compose_format(dir_), ComposeFormat::Html);
  EXPECT_EQ(load_compose_format(std::nullopt), ComposeFormat::Html);
  EXPECT_TRUE(save_compose_format(std::nullopt, ComposeFormat::Text));
}

TEST_F(PreferencesTest, SaveCreatesDirectoriesAndWritesCompactJson) {
  const auto nested = dir_ / "a" / "b";
  ASSERT_TRUE(save_compose_format(nested, ComposeFormat::Text));
  EXPECT_EQ(load_compose_format(nested), ComposeFormat::Text);
  std::ifstream in(nested / "mail-local.json");
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), R"({"compose_format":"text"})");

  ASSERT_TRUE(save_compose_format(dir_, ComposeFormat::Text));
  ASSERT_TRUE(save_compose_format(dir_, ComposeFormat::Html));
  EXPECT_EQ(read(), R"({"compose_format":"html"})");
}

TEST_F(PreferencesTest, SaveReportsFailure) {
  const auto blocker = dir_ / "file";
  std::ofstream(blocker) << "x";
  auto saved = save_compose_format(blocker / "sub", ComposeFormat::Text);
  ASSERT_FALSE(saved);
  EXPECT_FALSE(saved.error().empty());
}

}  // namespace
}  // namespace mail::store
