#include "key_map.h"

#include <gdk/gdk.h>

#include <string_view>
#include <utility>

namespace vexa::ui {
namespace {

// The names the headless driver accepts; keypad keys (Num Lock off) read as their twins.
constexpr std::pair<unsigned, std::string_view> kNamedKeys[] = {
    {GDK_KEY_Return, "Enter"},
    {GDK_KEY_KP_Enter, "Enter"},
    {GDK_KEY_ISO_Enter, "Enter"},
    {GDK_KEY_Escape, "Escape"},
    {GDK_KEY_Tab, "Tab"},
    {GDK_KEY_KP_Tab, "Tab"},
    {GDK_KEY_ISO_Left_Tab, "Tab"},
    {GDK_KEY_space, "Space"},
    {GDK_KEY_KP_Space, "Space"},
    {GDK_KEY_Up, "Up"},
    {GDK_KEY_KP_Up, "Up"},
    {GDK_KEY_Down, "Down"},
    {GDK_KEY_KP_Down, "Down"},
    {GDK_KEY_Left, "Left"},
    {GDK_KEY_KP_Left, "Left"},
    {GDK_KEY_Right, "Right"},
    {GDK_KEY_KP_Right, "Right"},
    {GDK_KEY_Home, "Home"},
    {GDK_KEY_KP_Home, "Home"},
    {GDK_KEY_End, "End"},
    {GDK_KEY_KP_End, "End"},
    {GDK_KEY_Delete, "Delete"},
    {GDK_KEY_KP_Delete, "Delete"},
    {GDK_KEY_BackSpace, "Backspace"},
    {GDK_KEY_Page_Up, "PageUp"},
    {GDK_KEY_KP_Page_Up, "PageUp"},
    {GDK_KEY_Page_Down, "PageDown"},
    {GDK_KEY_KP_Page_Down, "PageDown"},
    {GDK_KEY_Insert, "Insert"},
    {GDK_KEY_KP_Insert, "Insert"},
    {GDK_KEY_F1, "F1"},
    {GDK_KEY_F2, "F2"},
    {GDK_KEY_F3, "F3"},
    {GDK_KEY_F4, "F4"},
    {GDK_KEY_F5, "F5"},
    {GDK_KEY_F6, "F6"},
    {GDK_KEY_F7, "F7"},
    {GDK_KEY_F8, "F8"},
    {GDK_KEY_F9, "F9"},
    {GDK_KEY_F10, "F10"},
    {GDK_KEY_F11, "F11"},
    {GDK_KEY_F12, "F12"},
};

std::optional<std::string_view> named_key(unsigned keyval) {
  for (const auto& [value, name] : kNamedKeys) {
    if (value == keyval) return name;
  }
  return std::nullopt;
}

std::string utf8(gunichar c) {
  char buf[8] = {};
  const int n = g_unichar_to_utf8(c, buf);
  return std::string(buf, static_cast<std::size_t>(n));
}

}  // namespace

Modifiers modifiers_from_gdk(unsigned state) {
  Modifiers m;
  m.shift = (state & GDK_SHIFT_MASK) != 0;
  m.ctrl = (state & GDK_CONTROL_MASK) != 0;
  m.alt = (state & GDK_ALT_MASK) != 0;
  // X keymaps usually put Meta on the Alt key as well: Alt must not also read as Cmd.
  m.cmd = (state & GDK_SUPER_MASK) != 0 || ((state & GDK_META_MASK) != 0 && !m.alt);
  return m;
}

std::optional<KeyEvent> key_event_from_gdk(unsigned keyval, unsigned state, bool pressed) {
  KeyEvent e;
  e.modifiers = modifiers_from_gdk(state);
  e.pressed = pressed;
  const bool chord = e.modifiers.ctrl || e.modifiers.alt || e.modifiers.cmd;
  if (auto name = named_key(keyval)) {
    e.key = std::string(*name);
    if (pressed && e.key == "Space" && !chord) e.text = " ";
    return e;
  }
  const gunichar c = gdk_keyval_to_unicode(keyval);
  // Modifier keys, dead keys and control characters type nothing and name nothing.
  if (c == 0 || !g_unichar_validate(c) || g_unichar_iscntrl(c)) return std::nullopt;
  e.key = utf8(c);
  if (pressed && !chord) e.text = e.key;
  return e;
}

std::optional<PointerButton> pointer_button_from_gdk(unsigned button) {
  switch (button) {
    case GDK_BUTTON_PRIMARY:
      return PointerButton::Primary;
    case GDK_BUTTON_MIDDLE:
      return PointerButton::Middle;
    case GDK_BUTTON_SECONDARY:
      return PointerButton::Secondary;
    default:
      return std::nullopt;
  }
}

ScrollEvent scroll_event_from_gdk(double dx, double dy, bool wheel_steps, Point at,
                                  double scale_factor) {
  ScrollEvent e;
  const double factor = wheel_steps || scale_factor <= 0 ? 1.0 : scale_factor;
  e.dx = dx * factor;
  e.dy = dy * factor;
  e.x = at.x;
  e.y = at.y;
  e.in_lines = wheel_steps;
  return e;
}

}  // namespace vexa::ui
