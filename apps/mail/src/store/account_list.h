#pragma once
// The application's mail accounts as kept in the platform account service: records of the
// account type "email" with the configuration as settings, passwords in the secret vault.
#include <cstddef>
#include <expected>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "store/stored_config.h"
#include "vexa/accounts/accounts.h"

namespace mail::store {

inline constexpr std::string_view kAccountType = "email";

struct AccountEntry {
  std::string id;
  StoredConfig config;  // secret included
  // The platform record's two flags, passed back unchanged.
  bool enabled = false;
  bool avatar_seed = false;
  friend bool operator==(const AccountEntry&, const AccountEntry&) = default;
};

struct LoadedAccounts {
  std::vector<AccountEntry> entries;
  std::size_t active = 0;
  // Each account that could not be read, named, with the reason. The store keeps such records
  // as they are; nothing here removes them.
  struct Problem {
    std::string account;
    std::string reason;
  };
  std::vector<Problem> problems;
};

// The address when it is not empty, otherwise "account-" and a fresh random UUID.
std::string account_id_for(std::string_view email);
// Display name, else address, else "New account".
std::string account_label(const StoredConfig& config);

// Records the store could not read, and records whose settings do not read as a configuration,
// are left out and reported. Without a vault (it could not be read) the accounts load without
// their secrets. The active index is the position of the store's active account, 0 when there
// is none or it is not listed.
LoadedAccounts load_accounts(const vexa::accounts::AccountStore& store,
                             const vexa::accounts::SecretVault* vault);

// Writes `entries` into the stored account set in `dir` and makes `selected` the active one
// (when in range). Only the accounts named in `removed` (the user removed them) lose their
// record and secrets; every other stored record, including those that could not be read, stays
// as it is. The vault is written first; the store only when that succeeded. A store or vault
// that cannot be read refuses the save, naming the file.
std::expected<void, std::string> save_accounts(const std::vector<AccountEntry>& entries,
                                               std::size_t selected,
                                               const std::filesystem::path& dir,
                                               const std::vector<std::string>& removed = {});

}  // namespace mail::store
