#pragma once
// The main view's keyboard shortcuts: which key press means what, and what it does when its
// condition holds. Keys that match nothing, or whose condition fails, are left unconsumed.
#include <functional>
#include <optional>

#include "core/commands.h"
#include "vexa/ui/event.h"

namespace mail::core {

enum class Shortcut : std::uint8_t {
  Preview,
  Reference,
  ToggleBulk,
  Compose,
  FocusSearch,
  SelectAll,
  Archive,
  Star,
  Reply,
  Unread,
  Open,
  Next,
  Previous,
  Delete,
  ShiftDelete,
  LeaveBulk,
  Refresh,
};

// The shortcut a key press names, before any condition on the state. Letters match in either
// case ("E" with Shift is "e").
std::optional<Shortcut> match_shortcut(const vexa::ui::KeyEvent& key);

// What the shortcuts reach outside the mail commands.
struct ShortcutHooks {
  std::function<void()> open_reference;
  std::function<void()> compose_new;
  std::function<void()> refresh;
};

// Runs the shortcut when its condition holds; true when it did (the key is consumed).
bool run_shortcut(Shortcut shortcut, Commands& commands, MailState& state,
                  vexa::persist::Document& doc, const ShortcutHooks& hooks);

}  // namespace mail::core
