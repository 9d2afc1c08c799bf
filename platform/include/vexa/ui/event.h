#pragma once
// Input events as the hosts deliver them to the root widget, in logical pixels.
#include <cstdint>
#include <string>
#include <variant>

namespace vexa::ui {

struct Modifiers {
  bool shift = false;
  bool ctrl = false;
  bool alt = false;
  bool cmd = false;
  friend bool operator==(const Modifiers&, const Modifiers&) = default;
};

// `key` is a named key (Enter, Escape, Tab, Space, Up, Down, Left, Right, Home, End, Delete,
// Backspace, F5, ...) or the character the key produces ("e", "E", "?"); `text` is the text the
// key press produces, if any.
struct KeyEvent {
  std::string key;
  std::string text;
  Modifiers modifiers;
  bool pressed = true;
};

// Committed text input (typing, IME).
struct TextEvent {
  std::string text;
};

enum class PointerButton : std::uint8_t { Primary = 0, Secondary = 1, Middle = 2 };

struct PointerEvent {
  enum class Type : std::uint8_t { Move, Press, Release };
  Type type = Type::Move;
  double x = 0;
  double y = 0;
  PointerButton button = PointerButton::Primary;
  Modifiers modifiers;
};

struct ScrollEvent {
  double dx = 0;
  double dy = 0;
  double x = 0;
  double y = 0;
  bool in_lines = false;
};

using Event = std::variant<KeyEvent, TextEvent, PointerEvent, ScrollEvent>;

enum class EventResult : std::uint8_t { Ignored = 0, Consumed = 1 };

}  // namespace vexa::ui
