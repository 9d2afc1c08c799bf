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
};

// The address when it is not empty, otherwise "account-" and a fresh random UUID.
std::string account_id_for(std::string_view email);
// Display name, else address, else "New account".
std::string account_label(const StoredConfig& config);

// Records whose settings do not read as a configuration are skipped. The active index is the
// position of the store's active account, 0 when there is none or it is not listed.
LoadedAccounts load_accounts(const vexa::accounts::AccountStore& store,
                             const vexa::accounts::SecretVault& vault);

// Replaces the stored account set in `dir` with `entries` and makes `selected` the active one
// (when in range). The vault is written first; the store only when that succeeded.
std::expected<void, std::string> save_accounts(const std::vector<AccountEntry>& entries,
                                               std::size_t selected,
                                               const std::filesystem::path& dir);

}  // namespace mail::store
