#include "engine/worker_protocol.h"

#include <utility>

namespace mail::engine {

std::uint8_t kind(const WorkerCommand& command) {
  return static_cast<std::uint8_t>(command.index());
}

const RequestId& request_id(const WorkerCommand& command) {
  return std::visit([](const auto& c) -> const RequestId& { return c.request_id; }, command);
}

const RequestId& request_id(const WorkerEvent& event) {
  return std::visit([](const auto& e) -> const RequestId& { return e.request_id; }, event);
}

WorkerCommand make_connect(StoredConfig config) {
  return Connect{new_uuid_v4(), std::move(config)};
}

WorkerCommand make_sync_folder(StoredConfig config, FolderRole folder) {
  return SyncFolder{new_uuid_v4(), std::move(config), folder};
}

WorkerCommand make_store_flags(StoredConfig config, MailMessage message) {
  return StoreFlags{new_uuid_v4(), std::move(config), std::move(message)};
}

WorkerCommand make_move_message(StoredConfig config, MailMessage message, FolderRole target) {
  return MoveMessage{new_uuid_v4(), std::move(config), std::move(message), target};
}

WorkerCommand make_purge_message(StoredConfig config, MailMessage message) {
  return PurgeMessage{new_uuid_v4(), std::move(config), std::move(message)};
}

WorkerCommand make_send(StoredConfig config, DraftData draft) {
  return Send{new_uuid_v4(), std::move(config), std::move(draft)};
}

WorkerCommand make_oauth_sign_in(std::string account_key, OAuthProvider provider) {
  // The address typed in the setup sheet both keys the stored tokens and pre-fills the
  // provider's sign-in page.
  std::string login_hint = account_key;
  return OAuthSignIn{new_uuid_v4(), std::move(account_key), std::move(login_hint), provider};
}

}  // namespace mail::engine
