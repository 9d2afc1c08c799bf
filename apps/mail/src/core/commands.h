#pragma once
// The root's mail commands: single-message and bulk actions, opening and previewing, folder
// and selection changes. Every change is local first: the message store, then the document
// with its MailAction record, and only then the worker command, queued for the dispatcher.
#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "automation/mail_action.h"
#include "core/mail_core.h"
#include "views/pane_host.h"

namespace mail::core {

using views::BulkAction;
using views::MessageAction;

// "Archived 3 messages" and the like: the success text of a bulk action.
std::string bulk_status(BulkAction action, std::size_t count);

class Commands : public views::PaneHost {
 public:
  explicit Commands(MailCore& core);

  void message_action(const MessageId& id, MessageAction action,
                      vexa::persist::Document& doc) override;
  void mark_unread(const MessageId& id, vexa::persist::Document& doc) override;
  std::size_t bulk_action(BulkAction action, vexa::persist::Document& doc) override;
  void open_message(const MessageId& id, vexa::persist::Document& doc) override;
  void open_folder(std::size_t account_index, FolderRole folder) override;
  void select_all_visible() override;
  std::vector<VisibleEntry> visible_list() const override;

  // Selects and shows the message but leaves its read state alone.
  void preview_message(const MessageId& id);
  // +1 (Down) or −1 (Up) through the visible list; read state is untouched.
  void move_selection(int delta);
  void toggle_bulk_mode();
  void leave_bulk_mode();
  // In bulk mode: adds the message to the selection, or removes it when already there.
  void toggle_bulk_member(const MessageId& id);
  // The selection after messages left the folder: the newest of its top conversation.
  void reselect_in_current_folder();
  // Whether the narrow layout shows the reader in place of the list.
  bool reader_covers_list() const;

 private:
  // The list is asked for on every list draw; grouping a large folder is not free, so the last
  // answer is kept until the store, the folder or the query changes.
  struct VisibleCache {
    bool valid = false;
    std::uint64_t store_changes = 0;
    FolderRole folder = FolderRole::Inbox;
    std::string query;
    std::vector<VisibleEntry> entries;
  };
  mutable VisibleCache visible_cache_;

  MailState& st() { return core_.state(); }
  const MailState& st() const { return core_.state(); }
  // The current account's configuration when it holds the message; none otherwise.
  std::optional<StoredConfig> owner_config(const MessageId& id) const;
  // Queues the command built for the account that holds the message, if the current one does.
  void submit_for(const MessageId& id,
                  const std::function<engine::WorkerCommand(const StoredConfig&)>& make);
  // Applies the action to the document and saves it, reporting the outcome to the action
  // history. A refused action or a document that cannot be saved leaves the document as it was
  // on disk and sets the status line; the caller then changes nothing else.
  std::expected<void, std::string> save(vexa::persist::Document& doc,
                                        const automation::MailAction& action);
  void submit(engine::WorkerCommand command);
  void set_read(const MessageId& id, bool read, vexa::persist::Document& doc);
  void set_starred(const MessageId& id, bool starred, vexa::persist::Document& doc);
  // Saves the flag change, then makes it in the store and tells the owning server.
  void set_flag(const MessageId& id, vexa::persist::Document& doc,
                const automation::MailAction& action,
                const std::function<void(MailMessage&)>& change);
  // False when nothing changed (the document could not take the change).
  bool move_to(const MessageId& id, FolderRole target, vexa::persist::Document& doc);
  bool purge(const MessageId& id, vexa::persist::Document& doc);
  void select(const MessageId& id, bool preview);

  MailCore& core_;
};

}  // namespace mail::core
