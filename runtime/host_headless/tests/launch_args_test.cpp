#include "launch_args.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace vexa::ui {
namespace {

struct ArgsCase {
  std::string name;
  std::vector<const char*> argv;
  std::string error;  // empty: parses
  bool headless = false;
  std::optional<std::string> scene;
  std::optional<std::pair<double, double>> size;
  std::optional<std::string> script;
  std::optional<std::string> screenshot;
};

class LaunchArgsCases : public ::testing::TestWithParam<ArgsCase> {};

TEST_P(LaunchArgsCases, Parse) {
  const ArgsCase& c = GetParam();
  std::vector<const char*> argv = {"vexa-mail"};
  argv.insert(argv.end(), c.argv.begin(), c.argv.end());
  auto got = parse_launch_args(static_cast<int>(argv.size()), argv.data());
  if (!c.error.empty()) {
    ASSERT_FALSE(got.has_value());
    EXPECT_EQ(got.error(), c.error);
    return;
  }
  ASSERT_TRUE(got.has_value()) << got.error();
  EXPECT_EQ(got->headless, c.headless);
  EXPECT_EQ(got->scene, c.scene);
  if (c.size) {
    ASSERT_TRUE(got->size.has_value());
    EXPECT_EQ(got->size->width, c.size->first);
    EXPECT_EQ(got->size->height, c.size->second);
  } else {
    EXPECT_FALSE(got->size.has_value());
  }
  EXPECT_EQ(got->script ? std::optional(got->script->string()) : std::nullopt, c.script);
  EXPECT_EQ(got->screenshot ? std::optional(got->screenshot->string()) : std::nullopt,
            c.screenshot);
}

INSTANTIATE_TEST_SUITE_P(
    Launch, LaunchArgsCases,
    ::testing::Values(
        ArgsCase{"nothing", {}, ""},
        ArgsCase{"all",
                 {"--headless", "--scene", "narrow", "--size", "560x860", "--script", "s.jsonl",
                  "--screenshot", "out.png"},
                 "",
                 true,
                 "narrow",
                 std::pair{560.0, 860.0},
                 "s.jsonl",
                 "out.png"},
        ArgsCase{"equals_form",
                 {"--scene=firstrun", "--size=1x2"},
                 "",
                 false,
                 "firstrun",
                 std::pair{1.0, 2.0}},
        ArgsCase{"missing_value", {"--scene"}, "--scene needs a value"},
        ArgsCase{"empty_value", {"--scene="}, "--scene needs a value"},
        ArgsCase{"bad_size", {"--size", "800"}, "--size expects WIDTHxHEIGHT, got \"800\""},
        ArgsCase{"zero_size", {"--size", "0x600"}, "--size expects WIDTHxHEIGHT, got \"0x600\""},
        ArgsCase{
            "signed_size", {"--size", "-5x600"}, "--size expects WIDTHxHEIGHT, got \"-5x600\""},
        ArgsCase{
            "trailing_junk", {"--size", "80x60px"}, "--size expects WIDTHxHEIGHT, got \"80x60px\""},
        ArgsCase{"unknown", {"--fullscreen"}, "unknown argument \"--fullscreen\""},
        ArgsCase{"flag_with_value", {"--headless=yes"}, "unknown argument \"--headless=yes\""}),
    [](const auto& info) { return info.param.name; });

}  // namespace
}  // namespace vexa::ui
