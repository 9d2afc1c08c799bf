#pragma once
// Folder contents, thread grouping and the reader's conversation, computed on demand from the
// message store so they always reflect its current contents.
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "mailbox/message_store.h"

namespace mail {

// Messages a folder shows, newest first (stable: same-minute messages keep store order).
// Starred shows every starred message outside Trash.
std::vector<const MailMessage*> folder_contents(const MessageStore& store, FolderRole folder);

// Header identifier without surrounding white space and every leading '<' / trailing '>'.
std::optional<std::string> normalized_identifier(const std::optional<std::string>& header);

// Subject without surrounding white space and any run of "re:", "fwd:", "fw:" prefixes.
std::string conversation_subject(std::string_view subject);

struct Conversation {
  std::string key;
  std::string subject;
  std::vector<MessageId> message_ids;  // oldest first
};

// The folder's threads, newest conversation first.
std::vector<Conversation> conversations(const MessageStore& store, FolderRole folder);

// Conversation key of each message of `contents` (same order), by the thread walk.
std::vector<std::string> conversation_keys(const std::vector<const MailMessage*>& contents,
                                           const MessageStore& store);

struct VisibleEntry {
  MessageId id{};
  std::size_t count = 0;
  friend bool operator==(const VisibleEntry&, const VisibleEntry&) = default;
};

// One entry per conversation: its newest message and its size.
std::vector<VisibleEntry> folder_entries(const MessageStore& store, FolderRole folder);

// The newest message of the folder's top conversation.
std::optional<MessageId> top_message(const MessageStore& store, FolderRole folder);

// Messages of the selected message's folder sharing its conversation subject, oldest first.
std::vector<const MailMessage*> reader_conversation(const MessageStore& store, const MessageId& id);

struct FolderCounts {
  std::size_t total = 0;
  std::size_t unread = 0;
};
FolderCounts folder_counts(const MessageStore& store, FolderRole folder);

}  // namespace mail
