#pragma once
// The application object of the window host: the title goes to the window (once it exists)
// and the action registry lives as long as the launch.
#include <functional>
#include <string>

#include "vexa/actions/registry.h"
#include "vexa/ui/launch.h"

namespace vexa::ui {

class WindowApp : public App {
 public:
  // Becomes App::current() for its lifetime.
  WindowApp();
  ~WindowApp() override;
  WindowApp(const WindowApp&) = delete;
  WindowApp& operator=(const WindowApp&) = delete;

  void set_window_title(std::string title) override;
  actions::Registry& action_registry_mut() override { return registry_; }

  const std::string& window_title() const { return title_; }
  // Called with every later title; the window host shows it.
  void set_title_listener(std::function<void(const std::string&)> listener) {
    title_listener_ = std::move(listener);
  }

 private:
  std::string title_;
  std::function<void(const std::string&)> title_listener_;
  actions::Registry registry_;
};

}  // namespace vexa::ui
