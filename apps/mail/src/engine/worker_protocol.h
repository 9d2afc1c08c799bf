#pragma once
// Commands the window side sends to the mail worker, and the events it answers with. Every
// command is followed by exactly one Finished, after all other events for it.
#include <cstdint>
#include <string>
#include <variant>
#include <vector>

#include "compose/draft.h"
#include "mailbox/types.h"
#include "setup/oauth_provider.h"
#include "store/stored_config.h"

namespace mail::engine {

using RequestId = Uuid;

using setup::OAuthProvider;

struct Connect {
  RequestId request_id;
  StoredConfig config;
};
struct SyncFolder {
  RequestId request_id;
  StoredConfig config;
  FolderRole folder;
};
struct StoreFlags {
  RequestId request_id;
  StoredConfig config;
  MailMessage message;
};
struct MoveMessage {
  RequestId request_id;
  StoredConfig config;
  MailMessage message;
  FolderRole target;
};
struct PurgeMessage {
  RequestId request_id;
  StoredConfig config;
  MailMessage message;
};
struct Send {
  RequestId request_id;
  StoredConfig config;
  DraftData draft;
};
struct OAuthSignIn {
  RequestId request_id;
  std::string account_key;
  std::string login_hint;
  OAuthProvider provider;
};

using WorkerCommand =
    std::variant<Connect, SyncFolder, StoreFlags, MoveMessage, PurgeMessage, Send, OAuthSignIn>;

// Kind codes 0..6 in the order above.
std::uint8_t kind(const WorkerCommand& command);
const RequestId& request_id(const WorkerCommand& command);

// Constructors draw a fresh version-4 request id.
WorkerCommand make_connect(StoredConfig config);
WorkerCommand make_sync_folder(StoredConfig config, FolderRole folder);
WorkerCommand make_store_flags(StoredConfig config, MailMessage message);
WorkerCommand make_move_message(StoredConfig config, MailMessage message, FolderRole target);
WorkerCommand make_purge_message(StoredConfig config, MailMessage message);
WorkerCommand make_send(StoredConfig config, DraftData draft);
WorkerCommand make_oauth_sign_in(std::string account_key, OAuthProvider provider);

struct MailboxEntry {
  std::string name;
  std::string delimiter;
  std::vector<std::string> attributes;
};

struct Connected {
  RequestId request_id;
  std::string email;
};
struct FoldersListed {
  RequestId request_id;
  std::string email;
  std::vector<MailboxEntry> mailboxes;
};
struct Synced {
  FolderRole folder;
  RequestId request_id;
  std::string email;
  std::vector<MailMessage> messages;
};
struct Delivered {
  RequestId request_id;
  std::uint64_t bytes;
};
struct SignedIn {
  RequestId request_id;
  std::string account_key;
};
struct Failed {
  std::uint8_t command_kind;
  RequestId request_id;
  std::string label;
  std::string message;
};
struct Finished {
  std::uint8_t command_kind;
  RequestId request_id;
};

using WorkerEvent =
    std::variant<Connected, FoldersListed, Synced, Delivered, SignedIn, Failed, Finished>;

// Tag codes 0..6 in the order above.
inline std::uint8_t tag(const WorkerEvent& event) {
  return static_cast<std::uint8_t>(event.index());
}
const RequestId& request_id(const WorkerEvent& event);

}  // namespace mail::engine
