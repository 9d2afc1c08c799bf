#include "overlays/context_menu.h"

#include <algorithm>

#include "mailbox/ascii_text.h"
#include "vexa/ui/theme.h"

namespace mail::core {
namespace {

using views::MessageAction;

double menu_scale(float text_scale) { return std::clamp<double>(text_scale, 0.75, 2.0); }

std::optional<std::size_t> index_of(const ContextMenuState& menu, MessageAction action) {
  auto it = std::find(menu.entries.begin(), menu.entries.end(), action);
  if (it == menu.entries.end()) return std::nullopt;
  return static_cast<std::size_t>(it - menu.entries.begin());
}

}  // namespace

std::vector<MessageAction> context_entries(const MailMessage* message) {
  std::vector<MessageAction> entries = {MessageAction::Reply,      MessageAction::ReplyAll,
                                        MessageAction::Forward,    MessageAction::ToggleRead,
                                        MessageAction::ToggleStar, MessageAction::Archive,
                                        MessageAction::Delete};
  if (message != nullptr && message->folder != FolderRole::Inbox) {
    entries.push_back(MessageAction::MoveToInbox);
  }
  entries.push_back(MessageAction::MarkJunk);
  return entries;
}

std::string context_entry_label(MessageAction action, const MailMessage* message) {
  switch (action) {
    case MessageAction::Reply:
      return "Reply";
    case MessageAction::ReplyAll:
      return "Reply all";
    case MessageAction::Forward:
      return "Forward";
    case MessageAction::ToggleRead:
      return message && message->seen ? "Mark unread" : "Mark read";
    case MessageAction::ToggleStar:
      return message && message->starred ? "Remove star" : "Star";
    case MessageAction::Archive:
      return "Archive";
    case MessageAction::Delete:
      return "Delete";
    case MessageAction::MoveToInbox:
      return "Move to Inbox";
    case MessageAction::MarkJunk:
      return "Mark as junk";
  }
  return {};
}

vexa::ui::Rect context_menu_rect(vexa::ui::Point at, std::size_t entries, vexa::ui::Rect window,
                                 float text_scale) {
  const double c = menu_scale(text_scale);
  const double width = 248 * c;
  const double height = c * (36.0 * static_cast<double>(entries) + 54);
  const double left = std::max(std::min(at.x, window.right - 8 - width), window.left + 4);
  const double top = std::max(std::min(at.y, window.bottom - 8 - height), window.top + 4);
  return {left, top, left + width, top + height};
}

vexa::ui::Rect context_menu_row(vexa::ui::Rect menu, std::size_t index, float text_scale) {
  const double s = text_scale;
  const double top = menu.top + 48 * s + 36 * s * static_cast<double>(index);
  return {menu.left + 6 * s, top, menu.right - 6 * s, top + 36 * s};
}

void ContextMenu::open(const MessageStore& messages, const MessageId& id, vexa::ui::Point at) {
  state_ = ContextMenuState{id, at, context_entries(messages.find(id)), 0};
}

std::optional<MessageAction> ContextMenu::take_entry(std::size_t index) {
  if (!state_ || index >= state_->entries.size()) return std::nullopt;
  MessageAction action = state_->entries[index];
  state_.reset();
  return action;
}

bool ContextMenu::focus(std::size_t index) {
  if (!state_ || index >= state_->entries.size()) return false;
  state_->focused = index;
  return true;
}

ContextMenu::Outcome ContextMenu::handle_event(const vexa::ui::Event& event, vexa::ui::Rect window,
                                               float text_scale) {
  if (!state_) return {};
  ContextMenuState& menu = *state_;
  const std::size_t n = menu.entries.size();
  if (const auto* key = std::get_if<vexa::ui::KeyEvent>(&event)) {
    if (!key->pressed) return {true, std::nullopt};
    const std::string& k = key->key;
    if (k == "Enter" || k == "Space") return {true, menu.focused};
    if (k == "Delete" || k == "Backspace") return {true, index_of(menu, MessageAction::Delete)};
    if (k == "Tab" || k == "Down") {
      menu.focused = (menu.focused + 1) % n;
    } else if (k == "Up") {
      menu.focused = (menu.focused + n - 1) % n;
    } else if (k == "Home") {
      menu.focused = 0;
    } else if (k == "End") {
      menu.focused = n - 1;
    } else if (k == "Escape") {
      state_.reset();
    } else if (k.size() == 1) {
      switch (ascii_lower(k[0])) {
        case 'r':
          return {true, index_of(menu, MessageAction::Reply)};
        case 'u':
          return {true, index_of(menu, MessageAction::ToggleRead)};
        case 's':
          return {true, index_of(menu, MessageAction::ToggleStar)};
        case 'e':
          return {true, index_of(menu, MessageAction::Archive)};
        case ' ':
          return {true, menu.focused};
        default:
          break;
      }
    }
    return {true, std::nullopt};
  }
  if (std::holds_alternative<vexa::ui::TextEvent>(event)) return {true, std::nullopt};
  if (std::holds_alternative<vexa::ui::ScrollEvent>(event)) return {true, std::nullopt};
  if (const auto* pointer = std::get_if<vexa::ui::PointerEvent>(&event)) {
    if (pointer->type != vexa::ui::PointerEvent::Type::Press) return {};
    if (pointer->button == vexa::ui::PointerButton::Primary) {
      const vexa::ui::Rect rect = context_menu_rect(menu.at, n, window, text_scale);
      for (std::size_t i = 0; i < n; ++i) {
        if (context_menu_row(rect, i, text_scale).contains({pointer->x, pointer->y})) {
          return {true, i};
        }
      }
    }
    state_.reset();
    return {true, std::nullopt};
  }
  return {};
}

void ContextMenu::draw(vexa::ui::Canvas& canvas, const MessageStore& messages,
                       vexa::ui::Rect window, float text_scale) const {
  if (!state_) return;
  const ContextMenuState& menu = *state_;
  const vexa::ui::Theme theme = vexa::ui::Theme::current().with_text_scale(text_scale);
  vexa::ui::TextRenderer text;
  text.set_text_scale(text_scale);
  const MailMessage* message = messages.find(menu.message);
  const vexa::ui::Rect rect = context_menu_rect(menu.at, menu.entries.size(), window, text_scale);
  canvas.fill_rounded_rect(rect, theme.corner_radius, theme.colors.surface_raised);
  canvas.stroke_rounded_rect(rect, theme.corner_radius, theme.colors.border);
  const double s = text_scale;
  text.draw_text_weighted(canvas, kContextMenuName, rect.left + 14 * s, rect.top + 14 * s,
                          theme.type.small, vexa::ui::FontWeight::Semibold,
                          theme.colors.text_muted);
  for (std::size_t i = 0; i < menu.entries.size(); ++i) {
    const vexa::ui::Rect row = context_menu_row(rect, i, text_scale);
    if (i == menu.focused) canvas.fill_rounded_rect(row, 6 * s, theme.colors.selection);
    const std::string label = context_entry_label(menu.entries[i], message);
    const auto metrics = text.measure(label, theme.type.body);
    const vexa::ui::Color color =
        menu.entries[i] == MessageAction::Delete ? theme.colors.danger : theme.colors.text;
    text.draw_text(canvas, label, row.left + 10 * s, row.top + (row.height() - metrics.height) / 2,
                   theme.type.body, color);
  }
}

vexa::ui::AccessNode ContextMenu::accessibility(const MessageStore& messages) const {
  vexa::ui::AccessNode node;
  node.role = "menu";
  node.name = std::string(kContextMenuName);
  node.description = std::string(kContextMenuDescription);
  if (!state_) return node;
  const MailMessage* message = messages.find(state_->message);
  for (std::size_t i = 0; i < state_->entries.size(); ++i) {
    vexa::ui::AccessNode item;
    item.role = "menu_item";
    item.name = context_entry_label(state_->entries[i], message);
    item.id = "mail.context:" + uuid_text(state_->message) + ":" + std::to_string(i);
    if (i == state_->focused) item.states.push_back("focused");
    node.children.push_back(std::move(item));
  }
  return node;
}

}  // namespace mail::core
