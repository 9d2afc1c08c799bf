#include "store/mail_document.h"

#include <algorithm>
#include <array>

#include "compose/attachments.h"
#include "compose/invitation_check.h"

namespace mail::store {
namespace {

// A message's folder as the document holds it. "starred" is not a place a message lives in (it
// is the Inbox's view of the flag): older documents recorded it for messages fetched through
// that view, and such a message lives in the Inbox.
std::optional<FolderRole> stored_folder(std::string_view key) {
  std::optional<FolderRole> role = parse_folder_key(key);
  if (role == FolderRole::Starred) return FolderRole::Inbox;
  return role;
}

using vexa::persist::kRoot;
using vexa::persist::NodeId;

constexpr std::string_view kFlags = "flags";
constexpr std::string_view kMessages = "messages";
constexpr std::string_view kFolders = "folders";
constexpr std::string_view kDraft = "draft";
constexpr std::string_view kLabels = "labels";
constexpr std::array<std::string_view, 5> kDraftTexts = {"to", "cc", "bcc", "subject", "body"};

std::optional<NodeId> message_flags(const Document& doc, std::string_view key) {
  const auto flags = doc.get_map(kRoot, kFlags);
  return flags ? doc.get_map(*flags, key) : std::nullopt;
}

NodeId ensure_message_flags(Document& doc, std::string_view key) {
  return doc.ensure_map(doc.ensure_map(kRoot, kFlags), key);
}

std::optional<NodeId> presence(const Document& doc, std::string_view key) {
  const auto messages = doc.get_map(kRoot, kMessages);
  return messages ? doc.get_map(*messages, key) : std::nullopt;
}

std::vector<std::string> string_elements(const Document& doc, NodeId list) {
  std::vector<std::string> out;
  for (NodeId element : doc.elements(list)) {
    if (auto text = doc.string_value(element)) out.push_back(std::move(*text));
  }
  return out;
}

std::optional<bool> message_bool(const Document& doc, std::string_view key,
                                 std::string_view field) {
  const auto map = message_flags(doc, key);
  return map ? doc.get_bool(*map, field) : std::nullopt;
}

}  // namespace

std::string message_key(const MessageId& id) { return uuid_text(id); }

std::optional<bool> read_flag(const Document& doc, std::string_view key) {
  return message_bool(doc, key, "read");
}

std::optional<bool> starred_flag(const Document& doc, std::string_view key) {
  return message_bool(doc, key, "starred");
}

std::optional<FolderRole> folder(const Document& doc, std::string_view key) {
  const auto map = message_flags(doc, key);
  if (!map) return std::nullopt;
  const auto text = doc.get_string(*map, "folder");
  return text ? stored_folder(*text) : std::nullopt;
}

void set_read(Document& doc, std::string_view key, bool read) {
  doc.put_bool(ensure_message_flags(doc, key), "read", read);
}

void set_starred(Document& doc, std::string_view key, bool starred) {
  doc.put_bool(ensure_message_flags(doc, key), "starred", starred);
}

void set_folder(Document& doc, std::string_view key, FolderRole role) {
  doc.put_string(ensure_message_flags(doc, key), "folder", folder_key(role));
}

std::optional<std::vector<std::string>> labels(const Document& doc, std::string_view key) {
  const auto map = message_flags(doc, key);
  if (!map) return std::nullopt;
  const auto list = doc.get_list(*map, kLabels);
  if (!list) return std::nullopt;
  return string_elements(doc, *list);
}

void add_label(Document& doc, std::string_view key, std::string_view label) {
  const NodeId list = doc.ensure_list(ensure_message_flags(doc, key), kLabels);
  if (label.empty()) return;
  const auto current = string_elements(doc, list);
  if (std::find(current.begin(), current.end(), label) != current.end()) return;
  doc.list_push_string(list, label);
}

void remove_label(Document& doc, std::string_view key, std::string_view label) {
  const NodeId list = doc.ensure_list(ensure_message_flags(doc, key), kLabels);
  // Index among all elements, non-strings included, since that is what deletion addresses.
  const auto elements = doc.elements(list);
  for (std::size_t i = 0; i < elements.size(); ++i) {
    if (doc.string_value(elements[i]) == label) {
      doc.list_remove(list, i);
      return;
    }
  }
}

void record_present(Document& doc, std::string_view key) {
  if (key.empty()) return;
  const NodeId map = doc.ensure_map(doc.ensure_map(kRoot, kMessages), key);
  if (doc.get_bool(map, "purged") == true) return;
  doc.put_bool(map, "present", true);
  ensure_message_flags(doc, key);
}

void mark_purged(Document& doc, std::string_view key) {
  const NodeId map = doc.ensure_map(doc.ensure_map(kRoot, kMessages), key);
  doc.put_bool(map, "purged", true);
  doc.put_bool(map, "present", false);
}

bool is_present(const Document& doc, std::string_view key) {
  if (const auto map = presence(doc, key)) {
    return doc.get_bool(*map, "purged") != true && doc.get_bool(*map, "present") == true;
  }
  return message_flags(doc, key).has_value();
}

bool is_purged(const Document& doc, std::string_view key) {
  const auto map = presence(doc, key);
  return map && doc.get_bool(*map, "purged") == true;
}

void record_fetched(Document& doc, const MailMessage& message) {
  const std::string key = message_key(message.id);
  record_present(doc, key);
  const NodeId map = ensure_message_flags(doc, key);
  if (!doc.get_bool(map, "read")) doc.put_bool(map, "read", message.seen);
  if (!doc.get_bool(map, "starred")) doc.put_bool(map, "starred", message.starred);
  // A folder text that names no folder counts as absent and is replaced.
  const auto stored = doc.get_string(map, "folder");
  if (!stored || !parse_folder_key(*stored)) {
    doc.put_string(map, "folder", folder_key(message.folder));
  }
}

bool apply_document_to(const Document& doc, MailMessage& message) {
  const auto map = message_flags(doc, message_key(message.id));
  if (!map) return false;
  bool changed = false;
  const auto take = [&changed](auto& field, const auto& value) {
    if (value && field != *value) {
      field = *value;
      changed = true;
    }
  };
  take(message.seen, doc.get_bool(*map, "read"));
  take(message.starred, doc.get_bool(*map, "starred"));
  const auto folder_text = doc.get_string(*map, "folder");
  take(message.folder, folder_text ? stored_folder(*folder_text) : std::nullopt);
  const auto list = doc.get_list(*map, kLabels);
  take(message.labels, list ? std::optional(string_elements(doc, *list)) : std::nullopt);
  return changed;
}

bool reconcile(const Document& doc, MessageStore& messages) {
  bool changed = false;
  for (const MessageId& id : messages.order()) {
    if (MailMessage* message = messages.find_any_mut(id)) {
      changed = apply_document_to(doc, *message) || changed;
    }
  }
  if (changed) messages.touch();
  return changed;
}

std::vector<UserFolder> list_folders(const Document& doc) {
  std::vector<UserFolder> out;
  const auto map = doc.get_map(kRoot, kFolders);
  if (!map) return out;
  for (const std::string& id : doc.keys(*map)) {
    if (auto name = doc.get_string(*map, id)) out.push_back({id, std::move(*name)});
  }
  // keys() is already in byte order; sorting keeps the contract independent of it.
  std::sort(out.begin(), out.end(),
            [](const UserFolder& a, const UserFolder& b) { return a.id < b.id; });
  return out;
}

void create_folder(Document& doc, std::string_view id, std::string_view name) {
  if (id.empty()) return;
  doc.put_string(doc.ensure_map(kRoot, kFolders), id, name);
}

void rename_folder(Document& doc, std::string_view id, std::string_view name) {
  const NodeId map = doc.ensure_map(kRoot, kFolders);
  if (doc.get(map, id)) doc.put_string(map, id, name);
}

void delete_folder(Document& doc, std::string_view id) {
  const NodeId map = doc.ensure_map(kRoot, kFolders);
  if (doc.get(map, id)) doc.remove(map, id);
}

DraftData load_draft(const Document& doc) {
  DraftData draft;
  const auto map = doc.get_map(kRoot, kDraft);
  if (!map) return draft;
  std::string* texts[] = {&draft.to, &draft.cc, &draft.bcc, &draft.subject, &draft.body};
  for (std::size_t i = 0; i < kDraftTexts.size(); ++i) {
    *texts[i] = doc.get_string(*map, kDraftTexts[i]).value_or("");
  }
  draft.html_body = doc.get_string(*map, "html_body");
  if (auto ics = doc.get_string(*map, "calendar_ics"); ics && compose::invitation_accepted(*ics)) {
    draft.calendar_ics = std::move(ics);
  }
  if (const auto text = doc.get_string(*map, "attachments")) {
    if (auto list = attachments_from_json_text(*text)) {
      draft.attachments = compose::normalize_attachments(std::move(*list));
    }
  }
  return draft;
}

void save_draft(Document& doc, const DraftData& draft) {
  const NodeId map = doc.ensure_map(kRoot, kDraft);
  const std::string* texts[] = {&draft.to, &draft.cc, &draft.bcc, &draft.subject, &draft.body};
  for (std::size_t i = 0; i < kDraftTexts.size(); ++i) {
    doc.put_string(map, kDraftTexts[i], *texts[i]);
  }
  if (draft.html_body) doc.put_string(map, "html_body", *draft.html_body);
  if (draft.calendar_ics) {
    doc.put_string(map, "calendar_ics", *draft.calendar_ics);
  } else {
    doc.remove(map, "calendar_ics");
  }
  doc.put_string(map, "attachments", attachments_to_json_text(draft.attachments));
}

void clear_draft(Document& doc) {
  const NodeId map = doc.ensure_map(kRoot, kDraft);
  for (std::string_view key :
       {"to", "cc", "bcc", "subject", "body", "html_body", "calendar_ics", "attachments"}) {
    if (doc.get(map, key)) doc.remove(map, key);
  }
}

}  // namespace mail::store
