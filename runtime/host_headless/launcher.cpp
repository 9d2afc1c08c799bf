#include <fmt/format.h>
#include <stdlib.h>
#include <unistd.h>

#include <charconv>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <mutex>
#include <optional>
#include <vector>

#include "headless_app.h"
#include "headless_driver.h"
#include "headless_host.h"
#include "launch_args.h"
#include "vexa/ui/launch.h"
#include "vexa/ui/persist.h"
#include "window_host.h"

namespace vexa::ui {

const char* const kLaunchUsage =
    "usage: [--headless] [--scene NAME] [--size WxH] [--script FILE] [--screenshot PATH]\n";

namespace {

constexpr std::pair<std::uint32_t, std::uint32_t> kFallbackSize{1280, 800};
// Without a window, a plain start renders what the first settled frame shows.
constexpr std::chrono::seconds kSettleLimit{2};

[[noreturn]] void die(int code, const std::string& text) {
  std::fprintf(stderr, "%s\n", text.c_str());
  std::fflush(stderr);
  std::exit(code);
}

// "io.vexa.mail" gives "vexa-mail": the file name says which program left it.
std::string program_stem(std::string_view app_id) {
  const auto dot = app_id.rfind('.');
  const std::string_view last = dot == std::string_view::npos ? app_id : app_id.substr(dot + 1);
  return fmt::format("vexa-{}", last.empty() ? "app" : last);
}

std::string safe_name(std::string_view text) {
  std::string out;
  for (char c : text) {
    const bool ok = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                    c == '_' || c == '-';
    out += ok ? c : '_';
  }
  return out.empty() ? "main" : out;
}

std::expected<std::filesystem::path, std::string> temp_png(
    std::string_view app_id, const std::optional<std::string>& scene) {
  std::error_code ec;
  std::filesystem::path dir = std::filesystem::temp_directory_path(ec);
  if (ec) dir = "/tmp";
  std::string pattern =
      (dir / fmt::format("{}-{}-XXXXXX.png", program_stem(app_id), safe_name(scene.value_or(""))))
          .string();
  const int fd = ::mkstemps(pattern.data(), 4);
  if (fd < 0) return std::unexpected(fmt::format("could not create a file in {}", dir.string()));
  ::close(fd);
  return std::filesystem::path(pattern);
}

bool display_named() {
  for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY"}) {
    const char* value = std::getenv(name);
    if (value != nullptr && *value != '\0') return true;
  }
  return false;
}

}  // namespace

std::optional<Size> parse_size(std::string_view text) {
  const auto x = text.find('x');
  if (x == std::string_view::npos) return std::nullopt;
  auto side = [](std::string_view s) -> std::optional<int> {
    int v = 0;
    auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), v);
    if (ec != std::errc() || end != s.data() + s.size() || v < 1 || v > 16384) return std::nullopt;
    return v;
  };
  auto w = side(text.substr(0, x));
  auto h = side(text.substr(x + 1));
  if (!w || !h) return std::nullopt;
  return Size{static_cast<double>(*w), static_cast<double>(*h)};
}

std::expected<LaunchArgs, std::string> parse_launch_args(int argc, const char* const* argv) {
  LaunchArgs args;
  for (int i = 1; i < argc; ++i) {
    std::string arg = argv[i];
    std::optional<std::string> inline_value;
    if (arg.starts_with("--")) {
      if (auto eq = arg.find('='); eq != std::string::npos) {
        inline_value = arg.substr(eq + 1);
        arg = arg.substr(0, eq);
      }
    }
    auto value = [&]() -> std::expected<std::string, std::string> {
      if (inline_value) return *inline_value;
      if (i + 1 >= argc) return std::unexpected(fmt::format("{} needs a value", arg));
      return std::string(argv[++i]);
    };
    if (arg == "--headless" && !inline_value) {
      args.headless = true;
    } else if ((arg == "--help" || arg == "-h") && !inline_value) {
      args.help = true;
    } else if (arg == "--scene" || arg == "--size" || arg == "--script" || arg == "--screenshot") {
      auto v = value();
      if (!v) return std::unexpected(v.error());
      if (v->empty()) return std::unexpected(fmt::format("{} needs a value", arg));
      if (arg == "--scene") {
        args.scene = *v;
      } else if (arg == "--size") {
        args.size = parse_size(*v);
        if (!args.size) {
          return std::unexpected(fmt::format("--size expects WIDTHxHEIGHT, got \"{}\"", *v));
        }
      } else if (arg == "--script") {
        args.script = *v;
      } else {
        args.screenshot = *v;
      }
    } else {
      return std::unexpected(fmt::format("unknown argument \"{}\"", argv[i]));
    }
  }
  return args;
}

int run_or_exit(LaunchDescription description, int argc, char** argv) {
  auto parsed = parse_launch_args(argc, argv);
  if (!parsed) die(2, fmt::format("{}\n{}", parsed.error(), kLaunchUsage));
  const LaunchArgs args = *parsed;
  if (args.help) {
    std::fputs(kLaunchUsage, stdout);
    return 0;
  }

  // A window when a display opens; --headless and --screenshot ask for no window.
  std::optional<std::string> no_window;
  if (!args.headless) {
    if (args.screenshot && display_named()) {
      no_window = "a screenshot was asked for";
    } else if (auto display = open_window_display(); !display) {
      no_window = display.error();
    }
  }
  const bool windowed = !args.headless && !no_window;

  // Start-up logs (a backend falling back, an unreadable store) reach the driver's output too.
  std::mutex early_mutex;
  std::vector<vexa::log::Event> early_logs;
  int early_sink = -1;
  if (args.headless) {
    early_sink = vexa::log::add_sink([&](const vexa::log::Event& event) {
      std::lock_guard lock(early_mutex);
      early_logs.push_back(event);
    });
  }

  // Exactly one application object: it is App::current() for the launch.
  std::optional<WindowApp> window_app;
  std::optional<HeadlessApp> headless_app;
  App* app = nullptr;
  if (windowed) {
    app = &window_app.emplace();
  } else {
    app = &headless_app.emplace();
  }
  if (description.app_hook) description.app_hook(*app);

  LaunchedRoot launched;
  if (args.scene && description.scene_factory) {
    launched = description.scene_factory(args.scene);
  } else if (description.root_factory) {
    launched = description.root_factory();
  } else if (description.scene_factory) {
    launched = description.scene_factory(std::nullopt);
  }
  if (!launched.widget) die(1, "the application built no root widget");

  PersistenceOpener opener = description.persistence_opener ? description.persistence_opener
                                                            : PersistenceOpener(persist::open);
  std::expected<std::unique_ptr<persist::Document>, std::string> doc =
      launched.in_memory ? persist::open_memory()
                         : opener(description.app_id, launched.document_dir);
  // The file is the user's data: report and stop, never start over with an empty one.
  if (!doc) die(1, fmt::format("could not open the document: {}", doc.error()));

  std::pair<std::uint32_t, std::uint32_t> size =
      description.initial_size ? description.initial_size(args.scene) : kFallbackSize;
  if (size.first == 0 || size.second == 0) size = kFallbackSize;
  const Size window =
      args.size.value_or(Size{static_cast<double>(size.first), static_cast<double>(size.second)});

  if (windowed) {
    WindowOptions options;
    options.app_id = description.app_id;
    options.size = window;
    options.resizable = description.resizable;
    options.fullscreen = description.fullscreen;
    options.decorated = description.decorated;
    return run_window(*window_app, std::move(launched.widget), std::move(*doc), options);
  }

  HeadlessHost host(std::move(launched.widget), std::move(*doc), window);

  if (args.headless) {
    vexa::log::remove_sink(early_sink);
    HeadlessDriver driver(host, *headless_app, std::cout);
    {
      std::lock_guard lock(early_mutex);
      for (const auto& event : early_logs) driver.echo_log(event);
    }
    if (args.script) {
      std::ifstream script(*args.script);
      if (!script) die(1, fmt::format("could not read the script {}", args.script->string()));
      driver.run(script);
    } else {
      driver.run(std::cin);
    }
    return 0;
  }

  std::fprintf(stderr, "%s: %s; rendering one frame headless instead\n",
               program_stem(description.app_id).c_str(), no_window->c_str());
  host.run_until(Clock::now() + kSettleLimit, true);
  std::filesystem::path path;
  if (args.screenshot) {
    path = *args.screenshot;
  } else {
    auto temp = temp_png(description.app_id, args.scene);
    if (!temp) die(1, temp.error());
    path = *temp;
  }
  auto shot = host.screenshot(path);
  if (!shot) die(1, shot.error());
  std::fprintf(stdout, "%s\n", path.c_str());
  std::fflush(stdout);
  return 0;
}

}  // namespace vexa::ui
