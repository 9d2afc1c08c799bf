#pragma once
// The root's non-visual side: the conversation with the mail worker (numbered requests, the
// pending table and busy flag, applying event batches), sending, sync-status publishing and the
// automation busy rule. The root widget owns one and drives it from its per-frame sync.
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>

#include "compose/draft.h"
#include "state/mail_state.h"
#include "engine/worker.h"
#include "vexa/ui/persist.h"

namespace mail::core {

// Where preferences and account settings are read and written.
struct PersistenceLocation {
  enum class Kind { None, ConfigRoot, Directory } kind = Kind::None;
  std::filesystem::path directory;  // for Directory
  // The directory to use now, if any (ConfigRoot asks the account service).
  std::optional<std::filesystem::path> resolve() const;
};

// What the composer holds while open (the editor surfaces come later).
struct ComposerState {
  bool open = false;
  bool plain_text = false;
  DraftData draft;
  std::optional<MessageId> editing_draft;  // the stored draft being edited
  void reset() {
    open = false;
    draft = DraftData{};
    editing_draft.reset();
  }
};

struct InFlightSend {
  MailMessage prepared;
  std::string account;  // the sending account, which the filed copy belongs to
  engine::RequestId request_id;
  std::optional<MessageId> draft_id;
  bool from_stored_draft = false;
};

// Outcome of an automation refresh, reported to whoever asked.
struct AutomationOutcome {
  bool ok = false;
  std::string code;     // "mail.refresh_failed" on failure
  std::string message;  // the failure text
};

// The sender of the account's outgoing mail: its address and display name.
MailAddress sender_of(const StoredConfig& config);

class MailCore {
 public:
  MailCore(SharedState state, std::optional<engine::WorkerHandle> worker,
           PersistenceLocation location);

  MailState& state() { return *state_; }
  const SharedState& shared_state() const { return state_; }
  bool has_worker() const { return worker_.has_value(); }
  bool busy() const { return busy_; }
  std::size_t pending_count() const { return pending_.size(); }
  ComposerState& composer() { return composer_; }
  const std::optional<InFlightSend>& in_flight() const { return in_flight_; }
  const PersistenceLocation& location() const { return location_; }

  // Sends the command to the worker; its id enters the pending table on success. `account`
  // names the account the command is for, so its replies are filed under that account even
  // when another one has become current meanwhile.
  std::optional<engine::RequestId> submit(engine::WorkerCommand command,
                                          std::optional<std::string> account = std::nullopt);
  // SyncFolder of the current folder for the current account; "Syncing…".
  std::optional<engine::RequestId> start_refresh();
  // Drains and applies every waiting worker event; false when there were none.
  bool drain_events(vexa::persist::Document& doc);
  // Applies one batch (exposed for tests).
  void apply_events(std::vector<engine::WorkerEvent> batch, vexa::persist::Document& doc);

  // The composer's send command.
  void send(vexa::persist::Document& doc);

  // Automation: refused while busy or while an automation refresh is tracked.
  std::optional<std::string> automation_refusal() const;
  std::expected<void, std::string> automation_refresh(std::function<void(AutomationOutcome)> reply);

  // Account sync status for the platform account service (1, 2, 4, 5).
  void report_sync_status(const std::string& address, int code);

  // Compose-format preference as last saved; saving on change.
  bool saved_plain_text = false;
  std::int64_t last_refresh_minute = 0;

  // Test hook: pretends a request is outstanding (the "loading" scene shows a busy app).
  void mark_busy_for_scene();

 private:
  void apply_event(engine::WorkerEvent& event, vexa::persist::Document& doc);
  void save_compose_format();

  SharedState state_;
  std::optional<engine::WorkerHandle> worker_;
  PersistenceLocation location_;
  // The account a request was made for, when it was made for one.
  const AccountSlot* account_of(const engine::RequestId& id) const;

  std::unordered_map<engine::RequestId, std::uint8_t, UuidHash> pending_;
  std::unordered_map<engine::RequestId, std::string, UuidHash> request_accounts_;
  bool busy_ = false;
  ComposerState composer_;
  std::optional<InFlightSend> in_flight_;
  std::optional<engine::RequestId> automation_refresh_;
  std::function<void(AutomationOutcome)> automation_reply_;
};

}  // namespace mail::core
