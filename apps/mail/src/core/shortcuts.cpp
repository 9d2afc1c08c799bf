#include "core/shortcuts.h"

#include "mailbox/ascii_text.h"

namespace mail::core {
namespace {

// The bulk action's count text, only when it changed something.
bool bulk_with_status(BulkAction action, Commands& commands, MailState& state,
                      vexa::persist::Document& doc) {
  if (std::size_t n = commands.bulk_action(action, doc); n > 0) {
    state.set_status(bulk_status(action, n));
  }
  return true;
}

}  // namespace

std::optional<Shortcut> match_shortcut(const vexa::ui::KeyEvent& key) {
  const auto& m = key.modifiers;
  const bool chord = m.ctrl || m.alt || m.cmd;
  const std::string& k = key.key;
  if (k == "Enter") return chord ? std::nullopt : std::optional(Shortcut::Open);
  if (k == "Down") return Shortcut::Next;
  if (k == "Up") return Shortcut::Previous;
  if (k == "Delete" || k == "Backspace") {
    if (chord) return std::nullopt;
    return m.shift ? Shortcut::ShiftDelete : Shortcut::Delete;
  }
  if (k == "Escape") return Shortcut::LeaveBulk;
  if (k == "F5") return Shortcut::Refresh;
  if (k.size() != 1) return std::nullopt;
  const char c = ascii_lower(k[0]);
  if ((m.ctrl || m.cmd) && !m.alt) {
    if (c == 'f') return Shortcut::FocusSearch;
    if (c == 'a') return Shortcut::SelectAll;
  }
  if (chord) return std::nullopt;
  switch (c) {
    case 'p':
      return Shortcut::Preview;
    case '?':
      return Shortcut::Reference;
    case 'x':
      return Shortcut::ToggleBulk;
    case 'c':
      return Shortcut::Compose;
    case '/':
      return Shortcut::FocusSearch;
    case 'e':
      return Shortcut::Archive;
    case 's':
      return Shortcut::Star;
    case 'r':
      return Shortcut::Reply;
    case 'u':
      return Shortcut::Unread;
    default:
      return std::nullopt;
  }
}

bool run_shortcut(Shortcut shortcut, Commands& commands, MailState& state,
                  vexa::persist::Document& doc, const ShortcutHooks& hooks) {
  const std::optional<MessageId> selected = state.selected_message;
  switch (shortcut) {
    case Shortcut::Preview:
      if (state.bulk_mode || !selected) return false;
      commands.preview_message(*selected);
      state.set_status("Previewing without changing this message’s read state");
      return true;
    case Shortcut::Reference:
      if (hooks.open_reference) hooks.open_reference();
      return true;
    case Shortcut::ToggleBulk:
      commands.toggle_bulk_mode();
      return true;
    case Shortcut::Compose:
      if (hooks.compose_new) hooks.compose_new();
      return true;
    case Shortcut::FocusSearch:
      state.search_focus_request = true;
      state.changed = true;
      return true;
    case Shortcut::SelectAll:
      if (commands.reader_covers_list()) return false;
      commands.select_all_visible();
      return true;
    case Shortcut::Archive:
      if (state.bulk_mode) return bulk_with_status(BulkAction::Archive, commands, state, doc);
      if (!selected) return false;
      commands.message_action(*selected, MessageAction::Archive, doc);
      return true;
    case Shortcut::Star:
      if (!selected) return false;
      commands.message_action(*selected, MessageAction::ToggleStar, doc);
      return true;
    case Shortcut::Reply:
      if (!selected) return false;
      state.queue(intent::Reply{*selected});
      return true;
    case Shortcut::Unread:
      if (state.bulk_mode) return bulk_with_status(BulkAction::MarkUnread, commands, state, doc);
      if (!selected) return false;
      commands.mark_unread(*selected, doc);
      return true;
    case Shortcut::Open:
      if (state.bulk_mode || commands.reader_covers_list() || !selected) return false;
      commands.open_message(*selected, doc);
      return true;
    case Shortcut::Next:
    case Shortcut::Previous:
      commands.move_selection(shortcut == Shortcut::Next ? 1 : -1);
      return true;
    case Shortcut::Delete:
      if (state.bulk_mode) return bulk_with_status(BulkAction::MoveToTrash, commands, state, doc);
      if (!selected) return false;
      commands.message_action(*selected, MessageAction::Delete, doc);
      return true;
    case Shortcut::ShiftDelete:
      if (state.bulk_mode) {
        state.queue(intent::ConfirmBulkPurge{});
        return true;
      }
      if (!selected) return false;
      commands.message_action(*selected, MessageAction::Delete, doc);
      return true;
    case Shortcut::LeaveBulk:
      if (!state.bulk_mode) return false;
      commands.leave_bulk_mode();
      return true;
    case Shortcut::Refresh:
      if (hooks.refresh) hooks.refresh();
      return true;
  }
  return false;
}

}  // namespace mail::core
