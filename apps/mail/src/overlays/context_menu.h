#pragma once
// The message context menu: which actions it offers for a message, where it sits, how keys and
// presses move its focus or pick an entry, and how it is drawn and described.
#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "mailbox/message_store.h"
#include "vexa/ui/canvas.h"
#include "vexa/ui/event.h"
#include "vexa/ui/text.h"
#include "vexa/ui/widget.h"
#include "views/pane_host.h"

namespace mail::core {

inline constexpr std::string_view kContextMenuName = "Message actions";
inline constexpr std::string_view kContextMenuDescription =
    "Use Up and Down Arrow to choose an action, Enter to activate, or Escape to close.";

// Reply, reply all, forward, read, star, archive, delete, "Move to Inbox" (only for a known
// message outside the Inbox), junk.
std::vector<views::MessageAction> context_entries(const MailMessage* message);
// The label reflects the message's current read and star state.
std::string context_entry_label(views::MessageAction action, const MailMessage* message);

// Against the window rectangle: at the point, pushed back to end 8 inside the right and bottom
// edges but never nearer than 4 to the left and top.
vexa::ui::Rect context_menu_rect(vexa::ui::Point at, std::size_t entries, vexa::ui::Rect window,
                                 float text_scale);
vexa::ui::Rect context_menu_row(vexa::ui::Rect menu, std::size_t index, float text_scale);

struct ContextMenuState {
  MessageId message{};
  vexa::ui::Point at{};
  std::vector<views::MessageAction> entries;
  std::size_t focused = 0;
};

class ContextMenu {
 public:
  // What an input did while the menu was open.
  struct Outcome {
    bool consumed = false;
    std::optional<std::size_t> activate;  // the entry to run (the menu is already closed)
  };

  void open(const MessageStore& messages, const MessageId& id, vexa::ui::Point at);
  void close() { state_.reset(); }
  bool is_open() const { return state_.has_value(); }
  const std::optional<ContextMenuState>& state() const { return state_; }
  // Closes the menu and gives the entry's action, when the index exists.
  std::optional<views::MessageAction> take_entry(std::size_t index);
  bool focus(std::size_t index);

  Outcome handle_event(const vexa::ui::Event& event, vexa::ui::Rect window, float text_scale);
  void draw(vexa::ui::Canvas& canvas, const MessageStore& messages, vexa::ui::Rect window,
            float text_scale) const;
  vexa::ui::AccessNode accessibility(const MessageStore& messages) const;

 private:
  std::optional<ContextMenuState> state_;
};

}  // namespace mail::core
