#pragma once
// The account service: account records per account type, the active account per type, a
// secret vault and a sync-status reporter. Files live in the configuration root:
//   accounts.json  {"accounts":[{"id","type","label","settings","enabled","avatar_seed"}],
//                   "active":{"<type>":"<id>"}}
//   vault.json     {"<key>":"<secret>"}  mode 0600, written atomically
//   sync-status.json {"<address>":{"state":"started|succeeded|needs_authentication|failed","at":s}}
#include <expected>
#include <filesystem>
#include <map>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <vector>

namespace vexa::accounts {

// $XDG_CONFIG_HOME/vexa/accounts (default ~/.config/vexa/accounts); none when neither
// XDG_CONFIG_HOME nor HOME is set.
std::optional<std::filesystem::path> config_root();

struct AccountTypeId {
  std::string value;
  static AccountTypeId from(std::string text) { return AccountTypeId{std::move(text)}; }
  friend bool operator==(const AccountTypeId&, const AccountTypeId&) = default;
};

struct AccountId {
  std::string value;
  const std::string& text() const { return value; }
  friend bool operator==(const AccountId&, const AccountId&) = default;
};

struct AccountRecord {
  AccountId id;
  AccountTypeId type;
  std::string label;
  nlohmann::json settings = nlohmann::json::object();
  bool enabled = false;
  bool avatar_seed = false;
};

class AccountStore {
 public:
  // From the configuration root; an empty store when there is no root or no file yet. A file
  // that cannot be read as a whole (not JSON, a wrong type, a key twice outside the records) is
  // an error and is never replaced. A record that cannot be read is only left out of `list`:
  // it is kept exactly as written and saved back so, and reported by `unreadable`.
  static std::expected<AccountStore, std::string> load();
  static std::expected<AccountStore, std::string> load_in(const std::filesystem::path& dir);

  std::vector<AccountRecord> list(const AccountTypeId& type) const;
  std::optional<AccountId> active_id(const AccountTypeId& type) const;
  void upsert(AccountRecord record);
  void remove(const AccountId& id);
  void set_active(const AccountTypeId& type, const AccountId& id);
  std::expected<void, std::string> save_in(const std::filesystem::path& dir) const;

  struct Unreadable {
    std::string name;    // its id when one can be read, else "account N"
    std::string reason;  // "could not read PATH: account N: ..."
  };
  const std::vector<Unreadable>& unreadable() const { return unreadable_; }

 private:
  // A record, or the text of one that could not be read.
  struct Slot {
    std::optional<AccountRecord> record;
    std::string raw;
  };
  std::vector<Slot> slots_;
  std::map<std::string, std::string> active_;
  std::vector<Unreadable> unreadable_;
};

class SecretVault {
 public:
  static std::expected<SecretVault, std::string> open();
  static std::expected<SecretVault, std::string> open_in(const std::filesystem::path& dir);

  std::optional<std::string> get(const std::string& key) const;
  void put(const std::string& key, std::string secret);
  void remove(const std::string& key);
  // Writes the vault (mode 0600, atomically) where it was opened. Only the keys this handle
  // put or removed are applied over the file's current content, so handles held by different
  // threads never undo each other's secrets.
  std::expected<void, std::string> try_save() const;

 private:
  std::optional<std::filesystem::path> dir_;
  mutable std::map<std::string, std::string> secrets_;
  // Key -> new secret, or nullopt for a removal; cleared by a successful save.
  mutable std::map<std::string, std::optional<std::string>> changes_;
};

class AccountSyncReporter {
 public:
  AccountSyncReporter(std::filesystem::path root, std::string address);
  std::expected<void, std::string> started() const;
  std::expected<void, std::string> succeeded() const;
  std::expected<void, std::string> needs_authentication() const;
  std::expected<void, std::string> failed() const;

 private:
  std::expected<void, std::string> write(const char* state) const;
  std::filesystem::path root_;
  std::string address_;
};

}  // namespace vexa::accounts
