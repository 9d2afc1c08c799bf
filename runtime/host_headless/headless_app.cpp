#include "headless_app.h"

namespace vexa::ui {

HeadlessApp::HeadlessApp() { set_current(this); }

HeadlessApp::~HeadlessApp() {
  if (App::current() == this) set_current(nullptr);
}

}  // namespace vexa::ui
