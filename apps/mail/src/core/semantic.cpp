#include "core/semantic.h"

#include <algorithm>
#include <charconv>
#include <optional>

#include "core/shortcuts.h"

namespace mail::core {
namespace {

constexpr std::string_view kActivate = "activate";

bool take_prefix(std::string_view& text, std::string_view prefix) {
  if (!text.starts_with(prefix)) return false;
  text.remove_prefix(prefix.size());
  return true;
}

// Plain decimal digits only: "+1", " 1" and "1x" name no control.
std::optional<std::size_t> parse_index(std::string_view text) {
  if (text.empty() ||
      !std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; })) {
    return std::nullopt;
  }
  std::size_t value = 0;
  auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (ec != std::errc() || end != text.data() + text.size()) return std::nullopt;
  return value;
}

// "<uuid>:<rest>" → id and rest; the UUID is always 36 characters.
std::optional<std::pair<MessageId, std::string_view>> split_id(std::string_view text) {
  if (text.size() < 37 || text[36] != ':') return std::nullopt;
  auto id = parse_uuid(text.substr(0, 36));
  if (!id) return std::nullopt;
  return std::pair{*id, text.substr(37)};
}

bool context_control(SemanticHost& host, std::string_view rest, std::string_view action,
                     vexa::persist::Document& doc) {
  auto parts = split_id(rest);
  if (!parts) return false;
  auto index = parse_index(parts->second);
  const auto& menu = host.context_menu().state();
  if (!index || !menu || menu->message != parts->first || *index >= menu->entries.size()) {
    return false;
  }
  if (action == kActivate) {
    host.activate_context_entry(*index, doc);
    return true;
  }
  if (action == "focus") return host.context_menu().focus(*index);
  return false;
}

bool reader_control(SemanticHost& host, std::string_view rest, std::string_view action,
                    vexa::persist::Document& doc) {
  auto parts = split_id(rest);
  if (!parts || action != kActivate) return false;
  MailState& st = host.mail_state();
  const auto& [id, what] = *parts;
  if (st.selected_message != id || !st.messages.contains(id)) return false;
  std::optional<MessageAction> kind;
  if (what == "reply") kind = MessageAction::Reply;
  if (what == "archive") kind = MessageAction::Archive;
  if (what == "delete") kind = MessageAction::Delete;
  if (what == "star") kind = MessageAction::ToggleStar;
  if (what == "read") kind = MessageAction::ToggleRead;
  if (kind) {
    host.commands().message_action(id, *kind, doc);
    return true;
  }
  std::string_view index_text = what;
  if (!take_prefix(index_text, "save-attachment:")) return false;
  auto index = parse_index(index_text);
  if (!index || *index >= st.messages.find(id)->attachments.size()) return false;
  st.queue(intent::SaveAttachment{id, *index});
  return true;
}

bool account_control(SemanticHost& host, std::string_view rest, std::string_view action) {
  auto index = parse_index(rest);
  MailState& st = host.mail_state();
  if (!index || *index >= st.accounts.size()) return false;
  AccountSlot& account = st.accounts[*index];
  if (action == kActivate) {
    host.commands().open_folder(*index, FolderRole::Inbox);
    st.queue(intent::CloseDrawer{});
    return true;
  }
  if ((action == "expand" && account.collapsed) || (action == "collapse" && !account.collapsed)) {
    account.collapsed = !account.collapsed;
    st.changed = true;
    return true;
  }
  return false;
}

bool folder_control(SemanticHost& host, std::string_view rest, std::string_view action) {
  const std::size_t colon = rest.find(':');
  if (colon == std::string_view::npos || action != kActivate) return false;
  auto index = parse_index(rest.substr(0, colon));
  auto folder = parse_folder_key(rest.substr(colon + 1));
  MailState& st = host.mail_state();
  if (!index || !folder || *index >= st.accounts.size() || st.accounts[*index].collapsed) {
    return false;
  }
  host.commands().open_folder(*index, *folder);
  st.queue(intent::CloseDrawer{});
  return true;
}

bool bulk_control(SemanticHost& host, std::string_view rest, std::string_view action,
                  vexa::persist::Document& doc) {
  if (action != kActivate) return false;
  MailState& st = host.mail_state();
  Commands& commands = host.commands();
  if (rest == "toggle") {
    commands.toggle_bulk_mode();
    return true;
  }
  if (!st.bulk_mode) return false;
  if (rest == "select-all") {
    commands.select_all_visible();
    return true;
  }
  if (rest == "purge") {
    st.queue(intent::ConfirmBulkPurge{});
    return true;
  }
  std::optional<BulkAction> bulk;
  if (rest == "archive") bulk = BulkAction::Archive;
  if (rest == "delete") bulk = BulkAction::MoveToTrash;
  if (rest == "read") bulk = BulkAction::MarkRead;
  if (rest == "unread") bulk = BulkAction::MarkUnread;
  if (!bulk) return false;
  if (std::size_t n = commands.bulk_action(*bulk, doc); n > 0) st.set_status(bulk_status(*bulk, n));
  return true;
}

bool message_control(SemanticHost& host, std::string_view rest, std::string_view action,
                     vexa::persist::Document& doc) {
  auto id = parse_uuid(rest);
  if (!id || action != kActivate) return false;
  Commands& commands = host.commands();
  const auto rows = commands.visible_list();
  if (std::none_of(rows.begin(), rows.end(), [&](const VisibleEntry& e) { return e.id == *id; })) {
    return false;
  }
  MailState& st = host.mail_state();
  const MailMessage* m = st.messages.find(*id);
  if (m == nullptr) return false;
  if (st.bulk_mode) {
    commands.toggle_bulk_member(*id);
  } else if (m->folder == FolderRole::Drafts) {
    st.queue(intent::EditDraft{*id});
  } else {
    commands.open_message(*id, doc);
  }
  return true;
}

}  // namespace

bool perform_semantic_action(SemanticHost& host, std::string_view id, std::string_view action,
                             vexa::persist::Document& doc) {
  std::string_view rest = id;
  if (take_prefix(rest, "mail.context:")) return context_control(host, rest, action, doc);
  if (take_prefix(rest, "mail.bulk-purge:")) {
    if (action != kActivate || !host.purge_confirmation_open()) return false;
    if (rest == "confirm") {
      host.confirm_purge(doc);
      return true;
    }
    if (rest == "cancel") {
      host.cancel_purge();
      return true;
    }
    return false;
  }
  if (take_prefix(rest, "mail.reader:")) return reader_control(host, rest, action, doc);
  if (take_prefix(rest, "mail.account:")) return account_control(host, rest, action);
  if (take_prefix(rest, "mail.folder:")) return folder_control(host, rest, action);
  if (take_prefix(rest, "mail.bulk:")) return bulk_control(host, rest, action, doc);
  if (take_prefix(rest, "mail.message:")) return message_control(host, rest, action, doc);
  // The composer's and the setup sheet's controls arrive with those surfaces.
  return false;
}

}  // namespace mail::core
