#pragma once
// The application object of the headless host: it keeps the window title (there is no window
// to show it) and owns the action registry.
#include <string>

#include "vexa/actions/registry.h"
#include "vexa/ui/launch.h"

namespace vexa::ui {

class HeadlessApp : public App {
 public:
  // Becomes App::current() for its lifetime.
  HeadlessApp();
  ~HeadlessApp() override;
  HeadlessApp(const HeadlessApp&) = delete;
  HeadlessApp& operator=(const HeadlessApp&) = delete;

  void set_window_title(std::string title) override { title_ = std::move(title); }
  actions::Registry& action_registry_mut() override { return registry_; }

  const std::string& window_title() const { return title_; }
  actions::Registry& registry() { return registry_; }

 private:
  std::string title_;
  actions::Registry registry_;
};

}  // namespace vexa::ui
