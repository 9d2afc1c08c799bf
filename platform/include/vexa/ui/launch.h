#pragma once
// The launcher: the application fills a launch description and hands it over; the launcher
// picks the host (window or headless), opens the persistent document, calls the factories and
// runs the frame loop. It does not return on failure: it exits the process.
#include <cstdint>
#include <expected>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "vexa/actions/registry.h"
#include "vexa/ui/persist.h"
#include "vexa/ui/widget.h"

namespace vexa::ui {

class App {
 public:
  virtual ~App() = default;
  virtual void set_window_title(std::string title) = 0;
  virtual actions::Registry& action_registry_mut() = 0;
  // The running application object (valid while the launcher runs).
  static App* current();

 protected:
  static void set_current(App* app);
};

// What a factory builds: the root widget and where its document lives (empty: default place).
// `in_memory` keeps the document in memory only: nothing is read from or written to any file.
struct LaunchedRoot {
  std::unique_ptr<Widget> widget;
  std::filesystem::path document_dir;
  bool in_memory = false;
};

using PersistenceOpener =
    std::function<std::expected<std::unique_ptr<persist::Document>, std::string>(
        std::string_view app_id, const std::filesystem::path& dir)>;

struct LaunchDescription {
  std::string app_id;
  std::vector<std::string> scene_names;
  std::function<LaunchedRoot()> root_factory;
  std::function<LaunchedRoot(const std::optional<std::string>&)> scene_factory;
  std::function<void(App&)> app_hook;
  std::function<std::pair<std::uint32_t, std::uint32_t>(const std::optional<std::string>&)>
      initial_size;
  std::function<bool()> predicate;
  PersistenceOpener persistence_opener;
  // Window options in order: resizable, fullscreen, decorated, remember size.
  bool resizable = true;
  bool fullscreen = false;
  bool decorated = true;
  bool remember_size = true;
  std::vector<std::string> extra_fonts;
  std::vector<std::string> mime_types;
  std::vector<std::string> url_schemes;
  std::vector<std::string> permissions;
};

// Reads the command line (--headless, --scene NAME, --size WxH, --script FILE, --screenshot
// PATH), runs the chosen host and returns the process exit code; exits on failure.
int run_or_exit(LaunchDescription description, int argc, char** argv);

namespace launch {
using ::vexa::ui::run_or_exit;
}  // namespace launch

}  // namespace vexa::ui
