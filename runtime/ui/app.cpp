#include <atomic>

#include "vexa/ui/launch.h"

namespace vexa::ui {
namespace {

std::atomic<App*> current_app{nullptr};

}  // namespace

App* App::current() { return current_app.load(); }

void App::set_current(App* app) { current_app.store(app); }

}  // namespace vexa::ui
