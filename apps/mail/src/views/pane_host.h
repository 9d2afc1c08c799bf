#pragma once
// What the panes ask the root to do. The panes own no mailbox logic: changes that go through
// the store, the document and the worker (opening, flags, moves, bulk actions) are the root's,
// reached through this interface so the views stay below the core.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "mailbox/conversations.h"
#include "mailbox/types.h"
#include "vexa/ui/persist.h"

namespace mail::views {

// Kinds 0..8: reply, reply all, forward, read toggle, star toggle, archive, delete, move to
// Inbox, mark as junk.
enum class MessageAction : std::uint8_t {
  Reply = 0,
  ReplyAll = 1,
  Forward = 2,
  ToggleRead = 3,
  ToggleStar = 4,
  Archive = 5,
  Delete = 6,
  MoveToInbox = 7,
  MarkJunk = 8,
};

// Codes 0..4: archive, move to Trash, delete permanently, mark read, mark unread.
enum class BulkAction : std::uint8_t {
  Archive = 0,
  MoveToTrash = 1,
  DeletePermanently = 2,
  MarkRead = 3,
  MarkUnread = 4,
};

class PaneHost {
 public:
  virtual ~PaneHost() = default;
  virtual void message_action(const MessageId& id, MessageAction action,
                              vexa::persist::Document& doc) = 0;
  // Mark unread from the reader's toolbar: clears the read flag (never sets it).
  virtual void mark_unread(const MessageId& id, vexa::persist::Document& doc) = 0;
  // The number of messages changed; the caller sets the count status when it is not zero.
  virtual std::size_t bulk_action(BulkAction action, vexa::persist::Document& doc) = 0;
  // Opening selects, switches to the message's folder, clears the search and marks it read.
  virtual void open_message(const MessageId& id, vexa::persist::Document& doc) = 0;
  // Makes account `index` selected (when in range) and opens `folder`.
  virtual void open_folder(std::size_t account_index, FolderRole folder) = 0;
  // Selects every visible message and turns bulk mode on.
  virtual void select_all_visible() = 0;
  // The rows of the list: search results while the trimmed query is not empty, otherwise the
  // current folder's conversations.
  virtual std::vector<VisibleEntry> visible_list() const = 0;
};

}  // namespace mail::views
