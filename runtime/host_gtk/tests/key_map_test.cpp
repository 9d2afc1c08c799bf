#include "key_map.h"

#include <gdk/gdk.h>
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

namespace vexa::ui {
namespace {

struct KeyCase {
  const char* label;
  unsigned keyval;
  unsigned state;
  bool pressed;
  std::optional<KeyEvent> expected;
};

KeyEvent key(std::string name, std::string text, Modifiers m = {}, bool pressed = true) {
  return KeyEvent{std::move(name), std::move(text), m, pressed};
}

constexpr Modifiers kShift{.shift = true};
constexpr Modifiers kCtrl{.ctrl = true};

TEST(KeyMap, KeysBecomeTheEventsTheHeadlessDriverSends) {
  const std::vector<KeyCase> cases = {
      {"letter", GDK_KEY_e, 0, true, key("e", "e")},
      {"shifted letter", GDK_KEY_E, GDK_SHIFT_MASK, true, key("E", "E", kShift)},
      {"release types nothing", GDK_KEY_e, 0, false, key("e", "", {}, false)},
      {"ctrl chord", GDK_KEY_a, GDK_CONTROL_MASK, true, key("a", "", kCtrl)},
      {"ctrl shift chord", GDK_KEY_A, GDK_CONTROL_MASK | GDK_SHIFT_MASK, true,
       key("A", "", {.shift = true, .ctrl = true})},
      {"non-ascii", GDK_KEY_eacute, 0, true, key("é", "é")},
      {"keypad digit", GDK_KEY_KP_1, 0, true, key("1", "1")},
      {"return", GDK_KEY_Return, 0, true, key("Enter", "")},
      {"keypad enter", GDK_KEY_KP_Enter, 0, true, key("Enter", "")},
      {"shift tab", GDK_KEY_ISO_Left_Tab, GDK_SHIFT_MASK, true, key("Tab", "", kShift)},
      {"space types a space", GDK_KEY_space, 0, true, key("Space", " ")},
      {"ctrl space types nothing", GDK_KEY_space, GDK_CONTROL_MASK, true, key("Space", "", kCtrl)},
      {"backspace", GDK_KEY_BackSpace, 0, true, key("Backspace", "")},
      {"keypad delete", GDK_KEY_KP_Delete, 0, true, key("Delete", "")},
      {"page down", GDK_KEY_Page_Down, 0, true, key("PageDown", "")},
      {"f5", GDK_KEY_F5, 0, true, key("F5", "")},
      {"alt also reported as meta", GDK_KEY_x, GDK_ALT_MASK | GDK_META_MASK, true,
       key("x", "", {.alt = true})},
      {"super is cmd", GDK_KEY_k, GDK_SUPER_MASK, true, key("k", "", {.cmd = true})},
      {"modifier alone", GDK_KEY_Shift_L, GDK_SHIFT_MASK, true, std::nullopt},
      {"dead key", GDK_KEY_dead_acute, 0, true, std::nullopt},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    const auto got = key_event_from_gdk(c.keyval, c.state, c.pressed);
    ASSERT_EQ(got.has_value(), c.expected.has_value());
    if (!got) continue;
    EXPECT_EQ(got->key, c.expected->key);
    EXPECT_EQ(got->text, c.expected->text);
    EXPECT_EQ(got->modifiers, c.expected->modifiers);
    EXPECT_EQ(got->pressed, c.expected->pressed);
  }
}

TEST(KeyMap, PointerButtons) {
  EXPECT_EQ(pointer_button_from_gdk(GDK_BUTTON_PRIMARY), PointerButton::Primary);
  EXPECT_EQ(pointer_button_from_gdk(GDK_BUTTON_MIDDLE), PointerButton::Middle);
  EXPECT_EQ(pointer_button_from_gdk(GDK_BUTTON_SECONDARY), PointerButton::Secondary);
  EXPECT_EQ(pointer_button_from_gdk(8), std::nullopt);  // "back" button
}

TEST(KeyMap, WheelStepsStayLinesAndSmoothDeltasReachDevicePixels) {
  const ScrollEvent wheel = scroll_event_from_gdk(0, 1, true, {10, 20}, 2.0);
  EXPECT_TRUE(wheel.in_lines);
  EXPECT_EQ(wheel.dy, 1);
  EXPECT_EQ(wheel.x, 10);
  EXPECT_EQ(wheel.y, 20);

  const ScrollEvent smooth = scroll_event_from_gdk(-3, 12.5, false, {0, 0}, 2.0);
  EXPECT_FALSE(smooth.in_lines);
  EXPECT_EQ(smooth.dx, -6);
  EXPECT_EQ(smooth.dy, 25);
}

}  // namespace
}  // namespace vexa::ui
