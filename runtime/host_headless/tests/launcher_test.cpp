#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "temp_dir.h"
#include "vexa/ui/empty_state.h"
#include "vexa/ui/launch.h"

namespace vexa::ui {
namespace {

class LauncherTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir = temp.path();
    unsetenv("DISPLAY");
    unsetenv("WAYLAND_DISPLAY");
  }

  LaunchDescription description() {
    LaunchDescription d;
    d.app_id = "io.vexa.test";
    d.app_hook = [this](App& app) {
      calls.push_back("hook");
      app.set_window_title("Test");
      EXPECT_EQ(App::current(), &app);
    };
    d.root_factory = [this] {
      calls.push_back("root");
      return LaunchedRoot{
          std::make_unique<EmptyState>("Welcome", "Nothing here yet.", "Start", "test.start"), dir};
    };
    d.scene_factory = [this](const std::optional<std::string>& scene) {
      calls.push_back("scene:" + scene.value_or("-"));
      return LaunchedRoot{std::make_unique<EmptyState>("Scene", "A scene.", "Go", "test.go"), dir};
    };
    d.initial_size = [](const std::optional<std::string>& scene) {
      return scene == "small" ? std::pair<std::uint32_t, std::uint32_t>{300, 200}
                              : std::pair<std::uint32_t, std::uint32_t>{640, 480};
    };
    d.persistence_opener = [this](std::string_view app_id, const std::filesystem::path& where) {
      calls.push_back("open:" + std::string(app_id));
      EXPECT_EQ(where, dir);
      return persist::open(app_id, where);
    };
    return d;
  }

  int launch(LaunchDescription d, std::vector<std::string> args) {
    std::vector<char*> argv = {const_cast<char*>("vexa-test")};
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    return run_or_exit(std::move(d), static_cast<int>(argv.size() - 1), argv.data());
  }

  static std::pair<int, int> png_size(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::vector<unsigned char> h(24);
    in.read(reinterpret_cast<char*>(h.data()), 24);
    if (in.gcount() != 24 || h[1] != 'P') return {0, 0};
    auto be = [&](int at) {
      return (h[at] << 24) | (h[at + 1] << 16) | (h[at + 2] << 8) | h[at + 3];
    };
    return {be(16), be(20)};
  }

  vexa::testing::TempDir temp{"vexa-launcher-test"};
  std::filesystem::path dir;
  std::vector<std::string> calls;
};

TEST_F(LauncherTest, WithoutAWindowItSaysWhyAndRendersAPng) {
  ::testing::internal::CaptureStdout();
  ::testing::internal::CaptureStderr();
  EXPECT_EQ(launch(description(), {"--scene", "small"}), 0);
  std::string out = ::testing::internal::GetCapturedStdout();
  const std::string err = ::testing::internal::GetCapturedStderr();
  EXPECT_NE(err.find("no display found"), std::string::npos) << err;
  ASSERT_FALSE(out.empty());
  out.pop_back();  // newline
  EXPECT_NE(out.find("vexa-test-small-"), std::string::npos) << out;
  EXPECT_EQ(png_size(out), (std::pair{300, 200}));
  std::filesystem::remove(out);
  EXPECT_EQ(calls, (std::vector<std::string>{"hook", "scene:small", "open:io.vexa.test"}));
}

TEST_F(LauncherTest, ScreenshotPathAndSizeOverride) {
  const auto shot = dir / "shot.png";
  ::testing::internal::CaptureStdout();
  ::testing::internal::CaptureStderr();
  EXPECT_EQ(launch(description(), {"--size", "500x350", "--screenshot", shot.string()}), 0);
  const std::string out = ::testing::internal::GetCapturedStdout();
  ::testing::internal::GetCapturedStderr();
  EXPECT_EQ(out, shot.string() + "\n");
  EXPECT_EQ(png_size(shot), (std::pair{500, 350}));
  EXPECT_EQ(calls, (std::vector<std::string>{"hook", "root", "open:io.vexa.test"}));
}

TEST_F(LauncherTest, HeadlessRunsTheScript) {
  const auto script = dir / "script.jsonl";
  std::ofstream(script) << "{\"frames\":2}\n{\"click\":[320,290]}\n";
  ::testing::internal::CaptureStdout();
  EXPECT_EQ(launch(description(), {"--headless", "--script", script.string()}), 0);
  const std::string out = ::testing::internal::GetCapturedStdout();
  EXPECT_NE(out.find(R"({"answer":"frames","ok":true,"frames":2})"), std::string::npos) << out;
  EXPECT_NE(out.find(R"({"answer":"click","ok":true,)"), std::string::npos) << out;
  EXPECT_NE(out.find(R"({"event":"done"})"), std::string::npos) << out;
}

TEST_F(LauncherTest, AnInMemoryRootNeverOpensADocumentFile) {
  LaunchDescription d = description();
  d.scene_factory = [](const std::optional<std::string>&) {
    return LaunchedRoot{
        std::make_unique<EmptyState>("Scene", "A scene.", "Go", "test.go"), {}, true};
  };
  ::testing::internal::CaptureStdout();
  EXPECT_EQ(launch(std::move(d), {"--headless", "--scene", "x"}), 0);
  ::testing::internal::GetCapturedStdout();
  EXPECT_EQ(calls, (std::vector<std::string>{"hook"})) << "the opener was not asked";
}

TEST_F(LauncherTest, FailuresExitWithTheReason) {
  EXPECT_EXIT(launch(description(), {"--size", "wide"}), ::testing::ExitedWithCode(2),
              "--size expects WIDTHxHEIGHT");
  LaunchDescription broken = description();
  broken.persistence_opener = [](std::string_view, const std::filesystem::path&)
      -> std::expected<std::unique_ptr<persist::Document>, std::string> {
    return std::unexpected(std::string("the document is damaged"));
  };
  EXPECT_EXIT(launch(std::move(broken), {"--headless"}), ::testing::ExitedWithCode(1),
              "could not open the document: the document is damaged");
  EXPECT_EXIT(launch(description(), {"--headless", "--script", (dir / "none").string()}),
              ::testing::ExitedWithCode(1), "could not read the script");
}

}  // namespace
}  // namespace vexa::ui
