#pragma once
// The application's schema inside the persistent document: per-message flags and labels,
// presence and purge tombstones, user folder names and the one saved draft. Reads never create
// anything; writes create the containers they need, replacing any of the wrong type.
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "compose/draft.h"
#include "mailbox/message_store.h"
#include "mailbox/types.h"
#include "vexa/ui/persist.h"

namespace mail::store {

using vexa::persist::Document;

// The message's key in the document: its id as hyphenated lower-case UUID text.
std::string message_key(const MessageId& id);

// --- per-message flags ---
std::optional<bool> read_flag(const Document& doc, std::string_view key);
std::optional<bool> starred_flag(const Document& doc, std::string_view key);
std::optional<FolderRole> folder(const Document& doc, std::string_view key);
void set_read(Document& doc, std::string_view key, bool read);
void set_starred(Document& doc, std::string_view key, bool starred);
void set_folder(Document& doc, std::string_view key, FolderRole role);

// The stored labels in order; nullopt when there is no label list.
std::optional<std::vector<std::string>> labels(const Document& doc, std::string_view key);
// Empty labels and labels already held are ignored.
void add_label(Document& doc, std::string_view key, std::string_view label);
void remove_label(Document& doc, std::string_view key, std::string_view label);

// --- presence ---
// A purged message stays unpresent for good.
void record_present(Document& doc, std::string_view key);
void mark_purged(Document& doc, std::string_view key);
bool is_present(const Document& doc, std::string_view key);
// The user deleted the message permanently; it is never shown again.
bool is_purged(const Document& doc, std::string_view key);

// Records a fetched message; the server's read, star and folder fill in only what the
// document does not hold yet, so local changes survive later fetches.
void record_fetched(Document& doc, const MailMessage& message);

// Copies the document's values for this message into it; true when anything changed.
bool apply_document_to(const Document& doc, MailMessage& message);
// The same for every loaded message; advances the store's change counter when any changed.
bool reconcile(const Document& doc, MessageStore& messages);

// --- user folders (names only, never sent to the server) ---
struct UserFolder {
  std::string id;
  std::string name;
  friend bool operator==(const UserFolder&, const UserFolder&) = default;
};
// Sorted by id in ascending byte order.
std::vector<UserFolder> list_folders(const Document& doc);
void create_folder(Document& doc, std::string_view id, std::string_view name);
// Only renames an existing folder.
void rename_folder(Document& doc, std::string_view id, std::string_view name);
void delete_folder(Document& doc, std::string_view id);

// --- the saved draft ---
// A stored invitation that fails the invitation check loads as absent and an unreadable
// attachment list as empty; the stored values stay untouched until the next save.
DraftData load_draft(const Document& doc);
// A draft without a rich-text body keeps the stored one; one without an invitation removes it.
void save_draft(Document& doc, const DraftData& draft);
void clear_draft(Document& doc);

}  // namespace mail::store
