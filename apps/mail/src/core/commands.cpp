#include "core/commands.h"

#include <fmt/format.h>

#include <algorithm>

#include "mailbox/local_search.h"
#include "store/mail_document.h"
#include "vexa/ui/launch.h"

namespace mail::core {
namespace {

std::string_view plural(std::size_t n) { return n == 1 ? "" : "s"; }

constexpr std::string_view kMessageGone = "That message is no longer available.";

std::vector<std::string> keys_of(const std::vector<MessageId>& ids) {
  std::vector<std::string> keys;
  keys.reserve(ids.size());
  for (const auto& id : ids) keys.push_back(store::message_key(id));
  return keys;
}

}  // namespace

std::string bulk_status(BulkAction action, std::size_t count) {
  switch (action) {
    case BulkAction::Archive:
      return fmt::format("Archived {} message{}", count, plural(count));
    case BulkAction::MoveToTrash:
      return fmt::format("Moved {} message{} to Trash", count, plural(count));
    case BulkAction::DeletePermanently:
      return fmt::format("Permanently deleted {} trashed message{}", count, plural(count));
    case BulkAction::MarkRead:
      return fmt::format("Marked {} message{} read", count, plural(count));
    case BulkAction::MarkUnread:
      return fmt::format("Marked {} message{} unread", count, plural(count));
  }
  return {};
}

Commands::Commands(MailCore& core) : core_(core) {}

std::optional<StoredConfig> Commands::owner_config(const MessageId& id) const {
  const AccountSlot* account = st().current_account();
  // Commands locate messages by Message-ID on the server they are sent to; only an account that
  // fetched the message may be told to change it. Local records (a draft) go nowhere.
  if (account == nullptr || !st().messages.owned_by(id, account->entry.id)) return std::nullopt;
  return account->entry.config;
}

void Commands::submit_for(const MessageId& id,
                          const std::function<engine::WorkerCommand(const StoredConfig&)>& make) {
  if (std::optional<StoredConfig> config = owner_config(id)) submit(make(*config));
}

std::expected<void, std::string> Commands::save(vexa::persist::Document& doc,
                                                const automation::MailAction& action) {
  std::expected<void, std::string> outcome = automation::apply_mail_action(doc, action);
  // Nothing may look done, nor reach the server, before it is on disk: a change that cannot be
  // saved is taken back whole.
  if (outcome) {
    if (auto committed = doc.commit(); !committed) {
      doc.discard_pending();
      outcome = std::unexpected(fmt::format("Couldn’t save your change: {}", committed.error()));
    }
  }
  if (!outcome) st().set_status(outcome.error());
  // Local changes share the automation history, so a client sees what the user did too.
  if (vexa::ui::App* app = vexa::ui::App::current()) {
    app->action_registry_mut().report_typed_action(automation::encode(action), outcome.has_value(),
                                                   outcome ? std::string() : outcome.error());
  }
  return outcome;
}

void Commands::submit(engine::WorkerCommand command) {
  st().queue(intent::Command{std::move(command)});
}

bool Commands::reader_covers_list() const { return st().layout.narrow && st().layout.detail_shown; }

void Commands::set_read(const MessageId& id, bool read, vexa::persist::Document& doc) {
  set_flag(id, doc, automation::SetRead{{store::message_key(id)}, read},
           [read](MailMessage& m) { m.seen = read; });
}

void Commands::set_starred(const MessageId& id, bool starred, vexa::persist::Document& doc) {
  set_flag(id, doc, automation::SetStarred{{store::message_key(id)}, starred},
           [starred](MailMessage& m) { m.starred = starred; });
}

void Commands::set_flag(const MessageId& id, vexa::persist::Document& doc,
                        const automation::MailAction& action,
                        const std::function<void(MailMessage&)>& change) {
  const MailMessage* m = st().messages.find(id);
  if (m == nullptr) return;
  store::record_fetched(doc, *m);
  if (!save(doc, action)) return;
  MailMessage* target = st().messages.find_mut(id);
  change(*target);
  st().messages.touch();
  st().changed = true;
  const MailMessage changed = *target;
  submit_for(id, [&](const StoredConfig& c) { return engine::make_store_flags(c, changed); });
}

bool Commands::move_to(const MessageId& id, FolderRole target, vexa::persist::Document& doc) {
  const MailMessage* m = st().messages.find(id);
  if (m == nullptr) return false;
  store::record_fetched(doc, *m);
  const MailMessage before = *m;
  if (!save(doc, automation::Move{{store::message_key(id)}, std::string(folder_key(target))})) {
    return false;
  }
  st().messages.find_mut(id)->folder = target;
  st().messages.touch();
  st().changed = true;
  submit_for(id,
             [&](const StoredConfig& c) { return engine::make_move_message(c, before, target); });
  return true;
}

bool Commands::purge(const MessageId& id, vexa::persist::Document& doc) {
  const MailMessage* m = st().messages.find(id);
  if (m == nullptr) return false;
  store::record_fetched(doc, *m);
  const MailMessage before = *m;
  // The document is the authority: when it does not hold the message in Trash, deleting it on
  // the server would destroy mail the user still sees elsewhere.
  if (!save(doc, automation::Purge{{store::message_key(id)}})) return false;
  submit_for(id, [&](const StoredConfig& c) { return engine::make_purge_message(c, before); });
  st().messages.remove(id);
  st().changed = true;
  return true;
}

void Commands::message_action(const MessageId& id, MessageAction action,
                              vexa::persist::Document& doc) {
  MailState& s = st();
  const MailMessage* m = s.messages.find(id);
  if (m == nullptr) {
    s.set_status(std::string(kMessageGone));
    return;
  }
  switch (action) {
    case MessageAction::Reply:
      s.queue(intent::Reply{id});
      return;
    case MessageAction::ReplyAll:
      s.queue(intent::ReplyAll{id});
      return;
    case MessageAction::Forward:
      s.queue(intent::Forward{id});
      return;
    case MessageAction::ToggleRead:
      set_read(id, !m->seen, doc);
      return;
    case MessageAction::ToggleStar:
      set_starred(id, !m->starred, doc);
      return;
    case MessageAction::Archive:
      if (!move_to(id, FolderRole::Archive, doc)) return;
      break;
    case MessageAction::Delete:
      if (m->folder == FolderRole::Trash) {
        if (!purge(id, doc)) return;
      } else if (!move_to(id, FolderRole::Trash, doc)) {
        return;
      }
      break;
    case MessageAction::MoveToInbox:
      if (!move_to(id, FolderRole::Inbox, doc)) return;
      break;
    case MessageAction::MarkJunk:
      if (!move_to(id, FolderRole::Junk, doc)) return;
      break;
  }
  const bool was_selected = s.selected_message == id;
  reselect_in_current_folder();
  if (was_selected && reader_covers_list()) s.queue(intent::ShowList{});
}

void Commands::mark_unread(const MessageId& id, vexa::persist::Document& doc) {
  set_read(id, false, doc);
}

std::size_t Commands::bulk_action(BulkAction action, vexa::persist::Document& doc) {
  MailState& s = st();
  std::vector<MessageId> ids;
  for (const auto& id : s.bulk_selection) {
    if (s.messages.contains(id)) ids.push_back(id);
  }
  if (ids.empty()) return 0;
  auto in_trash = [&](const MessageId& id) {
    return s.messages.find(id)->folder == FolderRole::Trash;
  };
  if (action == BulkAction::DeletePermanently && !std::all_of(ids.begin(), ids.end(), in_trash)) {
    return 0;
  }
  for (const auto& id : ids) store::record_fetched(doc, *s.messages.find(id));

  auto move_all = [&](const std::vector<MessageId>& moving, FolderRole target) {
    if (!save(doc, automation::Move{keys_of(moving), std::string(folder_key(target))})) {
      return false;
    }
    std::vector<MailMessage> before;
    for (const auto& id : moving) {
      MailMessage* m = s.messages.find_mut(id);
      before.push_back(*m);
      m->folder = target;
    }
    s.messages.touch();
    for (const MailMessage& m : before) {
      submit_for(m.id,
                 [&](const StoredConfig& c) { return engine::make_move_message(c, m, target); });
    }
    return true;
  };

  std::size_t count = ids.size();
  switch (action) {
    case BulkAction::Archive:
      if (!move_all(ids, FolderRole::Archive)) return 0;
      break;
    case BulkAction::MoveToTrash: {
      std::vector<MessageId> moving;
      std::copy_if(ids.begin(), ids.end(), std::back_inserter(moving),
                   [&](const MessageId& id) { return !in_trash(id); });
      count = moving.size();
      // Nothing moved: the selection is left as the user made it.
      if (count == 0) return 0;
      if (!move_all(moving, FolderRole::Trash)) return 0;
      break;
    }
    case BulkAction::DeletePermanently: {
      if (!save(doc, automation::Purge{keys_of(ids)})) return 0;
      for (const auto& id : ids) {
        const MailMessage before = *s.messages.find(id);
        submit_for(id,
                   [&](const StoredConfig& c) { return engine::make_purge_message(c, before); });
        s.messages.remove(id);
      }
      break;
    }
    case BulkAction::MarkRead:
    case BulkAction::MarkUnread: {
      const bool read = action == BulkAction::MarkRead;
      if (!save(doc, automation::SetRead{keys_of(ids), read})) return 0;
      for (const auto& id : ids) s.messages.find_mut(id)->seen = read;
      s.messages.touch();
      for (const auto& id : ids) {
        const MailMessage& m = *s.messages.find(id);
        submit_for(id, [&](const StoredConfig& c) { return engine::make_store_flags(c, m); });
      }
      s.changed = true;
      return count;
    }
  }
  s.bulk_selection.clear();
  reselect_in_current_folder();
  s.changed = true;
  return count;
}

void Commands::select(const MessageId& id, bool preview) {
  MailState& s = st();
  const MailMessage* m = s.messages.find(id);
  if (m == nullptr) return;
  s.selected_message = id;
  s.current_folder = m->folder;
  s.search_query.clear();
  if (preview) {
    s.previewed = id;
  } else {
    s.previewed.reset();
  }
  s.queue(intent::ShowReader{});
}

void Commands::open_message(const MessageId& id, vexa::persist::Document& doc) {
  const MailMessage* m = st().messages.find(id);
  if (m == nullptr) return;
  const bool unread = !m->seen;
  select(id, false);
  if (unread) set_read(id, true, doc);
}

void Commands::preview_message(const MessageId& id) { select(id, true); }

void Commands::open_folder(std::size_t account_index, FolderRole folder) {
  MailState& s = st();
  const bool switching =
      account_index < s.accounts.size() && account_index != s.current_account_index();
  s.select_account(account_index);
  s.current_folder = folder;
  s.selected_message = top_message(s.messages, folder);
  s.previewed.reset();
  s.changed = true;
  // An account not fetched since start shows its mail without waiting for the next refresh.
  if (switching && s.messages.size() == 0) core_.start_refresh();
}

std::vector<VisibleEntry> Commands::visible_list() const {
  const MailState& s = st();
  VisibleCache& c = visible_cache_;
  if (c.valid && c.store_changes == s.messages.change_counter() && c.folder == s.current_folder &&
      c.query == s.search_query) {
    return c.entries;
  }
  c.entries = search_query_blank(s.search_query) ? folder_entries(s.messages, s.current_folder)
                                                 : local_search(s.messages, s.search_query);
  c.store_changes = s.messages.change_counter();
  c.folder = s.current_folder;
  c.query = s.search_query;
  c.valid = true;
  return c.entries;
}

void Commands::select_all_visible() {
  MailState& s = st();
  s.bulk_selection.clear();
  for (const auto& entry : visible_list()) s.bulk_selection.push_back(entry.id);
  if (!s.bulk_mode) s.search_focus = false;
  s.bulk_mode = true;
  s.changed = true;
}

void Commands::move_selection(int delta) {
  MailState& s = st();
  const std::vector<VisibleEntry> rows = visible_list();
  if (rows.empty()) return;
  std::size_t position = 0;
  if (s.selected_message) {
    const MailMessage* selected = s.messages.find(*s.selected_message);
    const std::string key = selected ? conversation_subject(selected->subject) : std::string();
    for (std::size_t i = 0; i < rows.size(); ++i) {
      const MailMessage* row = s.messages.find(rows[i].id);
      if (rows[i].id == *s.selected_message ||
          (selected && row && conversation_subject(row->subject) == key)) {
        position = i;
        break;
      }
    }
  }
  const auto last = static_cast<std::ptrdiff_t>(rows.size()) - 1;
  const std::ptrdiff_t next =
      std::clamp<std::ptrdiff_t>(static_cast<std::ptrdiff_t>(position) + delta, 0, last);
  s.selected_message = rows[static_cast<std::size_t>(next)].id;
  s.changed = true;
}

void Commands::toggle_bulk_mode() {
  MailState& s = st();
  if (s.bulk_mode) {
    leave_bulk_mode();
    return;
  }
  s.bulk_mode = true;
  s.search_focus = false;
  s.changed = true;
}

void Commands::leave_bulk_mode() {
  MailState& s = st();
  s.bulk_mode = false;
  s.bulk_selection.clear();
  s.changed = true;
}

void Commands::toggle_bulk_member(const MessageId& id) {
  auto& selection = st().bulk_selection;
  if (auto it = std::find(selection.begin(), selection.end(), id); it != selection.end()) {
    selection.erase(it);
  } else {
    selection.push_back(id);
  }
  st().changed = true;
}

void Commands::reselect_in_current_folder() {
  MailState& s = st();
  std::optional<MessageId> next = top_message(s.messages, s.current_folder);
  if (next != s.selected_message) s.previewed.reset();
  s.selected_message = next;
  s.changed = true;
}

}  // namespace mail::core
