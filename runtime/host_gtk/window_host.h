#pragma once
// The window host: one GTK window whose whole content is the root widget, drawn with our
// canvas and fed with the window's input. Free of GTK types, so the launcher needs no GTK.
#include <expected>
#include <memory>
#include <string>

#include "vexa/ui/geometry.h"
#include "vexa/ui/persist.h"
#include "vexa/ui/widget.h"
#include "window_app.h"

namespace vexa::ui {

struct WindowOptions {
  std::string app_id;
  Size size{1280, 800};
  bool resizable = true;
  bool fullscreen = false;
  bool decorated = true;
};

// Connects to the display named by the environment; the error says why no window can open.
std::expected<void, std::string> open_window_display();

// Shows the window and runs its frames until it is closed (or the process gets SIGTERM or
// SIGINT); the root is dropped before this returns. Returns the process exit code.
int run_window(WindowApp& app, std::unique_ptr<Widget> root, std::unique_ptr<persist::Document> doc,
               const WindowOptions& options);

}  // namespace vexa::ui
