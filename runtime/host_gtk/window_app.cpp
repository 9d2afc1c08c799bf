#include "window_app.h"

namespace vexa::ui {

WindowApp::WindowApp() { set_current(this); }

WindowApp::~WindowApp() {
  if (App::current() == this) set_current(nullptr);
}

void WindowApp::set_window_title(std::string title) {
  title_ = std::move(title);
  if (title_listener_) title_listener_(title_);
}

}  // namespace vexa::ui
