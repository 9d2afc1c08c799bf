#include "vexa/ui/theme.h"

#include <cmath>

namespace vexa::ui {

Colors Colors::dark() {
  Colors c;
  c.background = Color::hex(0x15171c);
  c.surface = Color::hex(0x1c1f26);
  c.surface_raised = Color::hex(0x262a33);
  c.text = Color::hex(0xe7e9ee);
  c.text_muted = Color::hex(0x9aa1ad);
  c.accent = Color::hex(0x6c9cf0);
  c.accent_text = Color::hex(0x0e1420);
  c.danger = Color::hex(0xe5676b);
  c.warning = Color::hex(0xe0b25c);
  c.success = Color::hex(0x62c08a);
  c.border = Color::hex(0x333844);
  c.selection = Color::hex(0x6c9cf0, 0.22);
  c.focus_ring = Color::hex(0x9dbcf5);
  return c;
}

const Theme& Theme::current() {
  static const Theme theme = Theme::dark();
  return theme;
}

Theme Theme::with_text_scale(float scale) const {
  Theme t = *this;
  t.text_scale = std::isfinite(scale) && scale > 0 ? scale : 1.0f;
  return t;
}

}  // namespace vexa::ui
