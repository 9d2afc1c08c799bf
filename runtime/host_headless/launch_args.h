#pragma once
// The launcher's command line.
#include <expected>
#include <filesystem>
#include <optional>
#include <string>

#include "vexa/ui/geometry.h"

namespace vexa::ui {

struct LaunchArgs {
  bool headless = false;
  std::optional<std::string> scene;
  std::optional<Size> size;
  std::optional<std::filesystem::path> script;
  std::optional<std::filesystem::path> screenshot;
  bool help = false;
};

// --headless, --scene NAME, --size WxH, --script FILE, --screenshot PATH (also as --opt=value),
// --help. The error names the argument at fault.
std::expected<LaunchArgs, std::string> parse_launch_args(int argc, const char* const* argv);

// "1280x800" to a size; both sides whole numbers from 1 to 16384.
std::optional<Size> parse_size(std::string_view text);

extern const char* const kLaunchUsage;

}  // namespace vexa::ui
