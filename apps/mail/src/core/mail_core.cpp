#include "core/mail_core.h"

#include <fmt/format.h>

#include <algorithm>
#include <chrono>

#include "compose/draft_message.h"
#include "engine/outgoing.h"
#include "mailbox/ascii_text.h"
#include "mailbox/conversations.h"
#include "store/mail_document.h"
#include "store/preferences.h"
#include "vexa/accounts/accounts.h"
#include "vexa/log.h"

namespace mail::core {

namespace {

constexpr std::uint8_t kConnect = 0;
constexpr std::uint8_t kSyncFolder = 1;
constexpr std::uint8_t kSend = 5;
constexpr std::uint8_t kOAuthSignIn = 6;

// The command kind an event answers.
std::uint8_t answered_kind(const engine::WorkerEvent& event) {
  return std::visit(
      [](const auto& e) -> std::uint8_t {
        using E = std::decay_t<decltype(e)>;
        if constexpr (std::is_same_v<E, engine::Connected> ||
                      std::is_same_v<E, engine::FoldersListed>) {
          return kConnect;
        } else if constexpr (std::is_same_v<E, engine::Synced>) {
          return kSyncFolder;
        } else if constexpr (std::is_same_v<E, engine::Delivered>) {
          return kSend;
        } else if constexpr (std::is_same_v<E, engine::SignedIn>) {
          return kOAuthSignIn;
        } else {
          return e.command_kind;
        }
      },
      event);
}

bool blank(std::string_view s) {
  return std::all_of(s.begin(), s.end(), [](unsigned char c) { return std::isspace(c); });
}

}  // namespace

MailAddress sender_of(const StoredConfig& config) {
  return MailAddress{config.email, config.display_name.empty()
                                       ? std::nullopt
                                       : std::optional<std::string>(config.display_name)};
}

std::optional<std::filesystem::path> PersistenceLocation::resolve() const {
  switch (kind) {
    case Kind::None:
      return std::nullopt;
    case Kind::ConfigRoot:
      return vexa::accounts::config_root();
    case Kind::Directory:
      return directory;
  }
  return std::nullopt;
}

MailCore::MailCore(SharedState state, std::optional<engine::WorkerHandle> worker,
                   PersistenceLocation location)
    : state_(std::move(state)), worker_(std::move(worker)), location_(std::move(location)) {}

std::optional<engine::RequestId> MailCore::submit(engine::WorkerCommand command,
                                                  std::optional<std::string> account) {
  if (!worker_) return std::nullopt;
  engine::RequestId id = engine::request_id(command);
  std::uint8_t k = engine::kind(command);
  vexa::log::debug("mail::app", "mail: command submitted",
                   {{"kind", std::to_string(k)}, {"request_id", uuid_text(id)}});
  if (!worker_->commands.send(std::move(command))) {
    state_->set_status("Mail worker is unavailable");
    return std::nullopt;
  }
  pending_[id] = k;
  if (account) request_accounts_[id] = std::move(*account);
  busy_ = true;
  return id;
}

const AccountSlot* MailCore::account_of(const engine::RequestId& id) const {
  auto it = request_accounts_.find(id);
  if (it == request_accounts_.end()) return nullptr;
  for (const AccountSlot& slot : state_->accounts) {
    if (slot.entry.id == it->second) return &slot;
  }
  return nullptr;
}

std::optional<engine::RequestId> MailCore::start_refresh() {
  if (!worker_) return std::nullopt;
  const AccountSlot* account = state_->current_account();
  if (account == nullptr || blank(account->entry.config.email)) return std::nullopt;
  auto id = submit(engine::make_sync_folder(account->entry.config, state_->current_folder),
                   account->entry.id);
  if (!id) return std::nullopt;
  report_sync_status(account->entry.config.email, 1);
  last_refresh_minute = state_->current_minute;
  state_->set_status("Syncing…");
  return id;
}

bool MailCore::drain_events(vexa::persist::Document& doc) {
  if (!worker_) return false;
  std::vector<engine::WorkerEvent> batch;
  for (;;) {
    std::optional<engine::WorkerEvent> event;
    if (worker_->events.try_recv(event) != vexa::TryRecv::Value) break;
    batch.push_back(std::move(*event));
  }
  if (batch.empty()) return false;
  apply_events(std::move(batch), doc);
  return true;
}

void MailCore::apply_events(std::vector<engine::WorkerEvent> batch, vexa::persist::Document& doc) {
  if (batch.empty()) return;
  for (auto& event : batch) {
    const engine::RequestId& id = engine::request_id(event);
    auto it = pending_.find(id);
    if (it == pending_.end() || it->second != answered_kind(event)) {
      vexa::log::warn("mail::app", "mail: ignoring unmatched or wrong-kind engine event",
                      {{"request_id", uuid_text(id)}});
      continue;
    }
    apply_event(event, doc);
  }
  state_->changed = true;
  busy_ = !pending_.empty();
}

void MailCore::apply_event(engine::WorkerEvent& event, vexa::persist::Document& doc) {
  MailState& st = *state_;
  if (auto* e = std::get_if<engine::Connected>(&event)) {
    st.set_status(fmt::format("Connected {}", e->email));
    report_sync_status(e->email, 1);
  } else if (auto* e = std::get_if<engine::FoldersListed>(&event)) {
    vexa::log::info("mail::app", "mail: server folders listed",
                    {{"count", std::to_string(e->mailboxes.size())}});
  } else if (auto* e = std::get_if<engine::Synced>(&event)) {
    std::size_t count = e->messages.size();
    // Each record remembers the account that fetched it: commands for it go to that account's
    // server only, and another account's list never shows it.
    auto owner = request_accounts_.find(e->request_id);
    std::optional<std::string_view> account;
    if (owner != request_accounts_.end()) account = owner->second;
    for (auto& message : e->messages) {
      // Starred is a view of the Inbox's flag; the message itself lives in the Inbox.
      if (message.folder == FolderRole::Starred) message.folder = FolderRole::Inbox;
      store::record_fetched(doc, message);
      st.messages.merge(std::move(message), account);
    }
    const bool current = !account || account == st.current_account_id();
    if (current && e->folder == st.current_folder && !st.selected_message) {
      st.selected_message = top_message(st.messages, st.current_folder);
    }
    if (count > 0) {
      st.set_status(fmt::format("Synced {} messages", count));
    } else {
      st.set_status(fmt::format("{} up to date", display_name(e->folder)));
    }
    report_sync_status(e->email, 2);
    if (automation_refresh_ && *automation_refresh_ == e->request_id) {
      automation_refresh_.reset();
      if (auto reply = std::exchange(automation_reply_, nullptr)) reply({true, {}, {}});
    }
  } else if (auto* e = std::get_if<engine::Delivered>(&event)) {
    if (!in_flight_ || in_flight_->request_id != e->request_id) return;
    InFlightSend sent = std::move(*in_flight_);
    in_flight_.reset();
    if (sent.from_stored_draft) {
      if (sent.draft_id) st.messages.remove(*sent.draft_id);
      // The stored draft became this message; keeping it would list it in Drafts again.
      store::clear_draft(doc);
    }
    store::record_fetched(doc, sent.prepared);
    st.messages.merge(std::move(sent.prepared), sent.account);
    composer_.reset();
    st.set_status(fmt::format("Delivered ({} bytes)", e->bytes));
  } else if (auto* e = std::get_if<engine::SignedIn>(&event)) {
    st.set_status(fmt::format("Signed in as {}", e->account_key));
    report_sync_status(e->account_key, 2);
  } else if (auto* e = std::get_if<engine::Failed>(&event)) {
    st.set_status(fmt::format("{}: {}", e->label, e->message));
    std::string lower = ascii_lower(e->message);
    int code = 5;
    for (const char* word : {"auth", "login", "password", "oauth", "credential"}) {
      if (lower.find(word) != std::string::npos) {
        code = 4;
        break;
      }
    }
    // The account the request was for, which may no longer be the current one.
    const AccountSlot* account = account_of(e->request_id);
    if (account == nullptr) account = st.current_account();
    if (account != nullptr) report_sync_status(account->entry.config.email, code);
    if (in_flight_ && in_flight_->request_id == e->request_id) in_flight_.reset();
    if (automation_refresh_ && *automation_refresh_ == e->request_id) {
      automation_refresh_.reset();
      if (auto reply = std::exchange(automation_reply_, nullptr)) {
        reply({false, "mail.refresh_failed", fmt::format("{}: {}", e->label, e->message)});
      }
    }
  } else if (auto* e = std::get_if<engine::Finished>(&event)) {
    vexa::log::debug(
        "mail::app", "mail: request finished",
        {{"kind", std::to_string(e->command_kind)}, {"request_id", uuid_text(e->request_id)}});
    pending_.erase(e->request_id);
    request_accounts_.erase(e->request_id);
  }
}

void MailCore::send(vexa::persist::Document& doc) {
  (void)doc;
  save_compose_format();
  MailState& st = *state_;
  if (in_flight_) {
    st.set_status("Message is still sending…");
    return;
  }
  DraftData draft = composer_.draft;
  const AccountSlot* account = st.current_account();
  if (account == nullptr || blank(account->entry.config.email)) {
    st.set_status("Add a sending account before sending this message");
    return;
  }
  if (!worker_) {
    st.set_status("Sending is unavailable in this offline preview; save a draft instead");
    return;
  }
  const StoredConfig& config = account->entry.config;
  if (auto built = engine::assemble_outgoing(config, draft); !built) {
    st.set_status(fmt::format("Send failed: {}", built.error()));
    return;
  }
  MailMessage prepared = compose::message_from_draft(draft, sender_of(config), FolderRole::Sent,
                                                     new_uuid_v4(), st.current_minute);
  auto id = submit(engine::make_send(config, draft), account->entry.id);
  if (!id) return;
  in_flight_ = InFlightSend{std::move(prepared), account->entry.id, *id, composer_.editing_draft,
                            composer_.editing_draft.has_value()};
  st.set_status("Sending…");
}

void MailCore::save_compose_format() {
  if (composer_.plain_text == saved_plain_text) return;
  auto format = composer_.plain_text ? store::ComposeFormat::Text : store::ComposeFormat::Html;
  if (auto saved = store::save_compose_format(location_.resolve(), format); !saved) {
    state_->set_status(fmt::format("Compose format changed, but could not save that preference: {}",
                                   saved.error()));
    return;
  }
  saved_plain_text = composer_.plain_text;
}

std::optional<std::string> MailCore::automation_refusal() const {
  if (busy_ || automation_refresh_) return std::string("a mail operation is already running");
  return std::nullopt;
}

std::expected<void, std::string> MailCore::automation_refresh(
    std::function<void(AutomationOutcome)> reply) {
  if (auto refusal = automation_refusal()) return std::unexpected(*refusal);
  auto id = start_refresh();
  if (!id) return std::unexpected(std::string("mail refresh could not be queued"));
  automation_refresh_ = *id;
  automation_reply_ = std::move(reply);
  return {};
}

void MailCore::report_sync_status(const std::string& address, int code) {
  if (blank(address)) return;
  auto root = vexa::accounts::config_root();
  if (!root) return;
  vexa::accounts::AccountSyncReporter reporter(*root, address);
  std::expected<void, std::string> result;
  switch (code) {
    case 1:
      result = reporter.started();
      break;
    case 2:
      result = reporter.succeeded();
      break;
    case 4:
      result = reporter.needs_authentication();
      break;
    default:
      result = reporter.failed();
      break;
  }
  if (!result) {
    vexa::log::warn("mail::app", "mail: could not persist sync status",
                    {{"error", result.error()}, {"account", address}});
  }
}

void MailCore::mark_busy_for_scene() {
  pending_[new_uuid_v4()] = kSyncFolder;
  busy_ = true;
}

}  // namespace mail::core
