#pragma once
// The shared in-memory mailbox state of one window: accounts and selection, loaded messages,
// view state and the one status line. Shared by the root and the panes on the UI thread.
#include <cstdint>
#include <deque>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "state/view_intent.h"
#include "mailbox/message_store.h"
#include "store/account_list.h"
#include "vexa/ui/geometry.h"

namespace vexa::ui {
class ImageStore;
}

namespace mail::core {

struct AccountSlot {
  store::AccountEntry entry;
  bool collapsed = false;
};

struct LayoutFlags {
  bool narrow = false;
  bool detail_shown = false;
  bool sidebar_shown = false;
};

struct MailState {
  std::shared_ptr<vexa::ui::ImageStore> images;
  MessageStore messages;
  std::vector<AccountSlot> accounts;
  std::size_t selected_account = 0;
  std::vector<MessageId> bulk_selection;
  std::string search_query;
  std::deque<ViewIntent> intents;
  std::optional<std::string> status;
  std::int64_t current_minute = 0;
  std::optional<MessageId> selected_message;
  // The message opened as a preview: the reader's "Preview" pill belongs to it alone, so moving
  // the selection or searching never carries it to another message.
  std::optional<MessageId> previewed;
  bool bulk_mode = false;
  FolderRole current_folder = FolderRole::Inbox;
  vexa::ui::Point pointer{};
  bool search_focus = false;
  bool search_focus_request = false;
  LayoutFlags layout;
  vexa::ui::Rect shell_control{};
  bool shell_control_present = false;
  bool loaded = false;
  bool changed = true;

  // Every user-facing report goes through here.
  void set_status(std::string text) {
    status = std::move(text);
    changed = true;
  }
  void clear_status() {
    status.reset();
    changed = true;
  }
  // The entry at the selected position, clamped to the last; none without accounts.
  const AccountSlot* current_account() const {
    if (accounts.empty()) return nullptr;
    return &accounts[std::min(selected_account, accounts.size() - 1)];
  }
  std::size_t current_account_index() const {
    return accounts.empty() ? 0 : std::min(selected_account, accounts.size() - 1);
  }
  std::optional<std::string> current_account_id() const {
    if (const AccountSlot* account = current_account()) return account->entry.id;
    return std::nullopt;
  }
  bool previewing() const { return previewed && previewed == selected_message; }
  // Makes the account at `index` current. The store then shows that account's messages only,
  // and nothing selected under another account carries over: a selection or a bulk selection
  // that crossed accounts would aim the next command at the wrong server.
  void select_account(std::size_t index) {
    if (index >= accounts.size()) return;
    const bool switched = index != current_account_index();
    selected_account = index;
    messages.set_scope(accounts[index].entry.id);
    if (switched) {
      selected_message.reset();
      previewed.reset();
      bulk_selection.clear();
    }
    changed = true;
  }
  // Keeps the store's scope on the current account (after accounts were added or removed).
  void follow_current_account() { messages.set_scope(current_account_id()); }
  void queue(ViewIntent intent) {
    intents.push_back(std::move(intent));
    changed = true;
  }
};

using SharedState = std::shared_ptr<MailState>;

// Whole minutes since the Unix epoch (0 before the epoch).
std::int64_t now_minutes();
std::uint64_t now_seconds();

}  // namespace mail::core
