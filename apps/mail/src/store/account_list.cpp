#include "store/account_list.h"

#include <fmt/format.h>

#include <algorithm>

#include "mailbox/types.h"

namespace mail::store {

namespace {

using vexa::accounts::AccountId;
using vexa::accounts::AccountRecord;
using vexa::accounts::AccountStore;
using vexa::accounts::AccountTypeId;
using vexa::accounts::SecretVault;

AccountTypeId mail_type() { return AccountTypeId::from(std::string(kAccountType)); }

}  // namespace

std::string account_id_for(std::string_view email) {
  if (!email.empty()) return std::string(email);
  return "account-" + uuid_text(new_uuid_v4());
}

std::string account_label(const StoredConfig& config) {
  if (!config.display_name.empty()) return config.display_name;
  if (!config.email.empty()) return config.email;
  return "New account";
}

LoadedAccounts load_accounts(const AccountStore& store, const SecretVault* vault) {
  LoadedAccounts loaded;
  for (const AccountStore::Unreadable& bad : store.unreadable()) {
    loaded.problems.push_back({bad.name, bad.reason});
  }
  const auto records = store.list(mail_type());
  for (const auto& record : records) {
    auto config = stored_config_from_json(record.settings);
    if (!config) {
      loaded.problems.push_back(
          {record.id.text(), fmt::format("the account \"{}\" has settings that cannot be read: {}",
                                         record.id.text(), config.error())});
      continue;
    }
    if (vault) {
      if (auto secret = vault->get(record.id.text())) config->secret = *secret;
    }
    loaded.entries.push_back(AccountEntry{.id = record.id.text(),
                                          .config = std::move(*config),
                                          .enabled = record.enabled,
                                          .avatar_seed = record.avatar_seed});
  }
  if (auto active = store.active_id(mail_type())) {
    auto it = std::find_if(loaded.entries.begin(), loaded.entries.end(),
                           [&](const AccountEntry& entry) { return entry.id == active->text(); });
    if (it != loaded.entries.end()) {
      loaded.active = static_cast<std::size_t>(it - loaded.entries.begin());
    }
  }
  return loaded;
}

std::expected<void, std::string> save_accounts(const std::vector<AccountEntry>& entries,
                                               std::size_t selected,
                                               const std::filesystem::path& dir,
                                               const std::vector<std::string>& removed) {
  auto store = AccountStore::load_in(dir);
  if (!store) return std::unexpected(store.error());
  auto vault = SecretVault::open_in(dir);
  if (!vault) return std::unexpected(vault.error());

  for (const std::string& id : removed) {
    store->remove(AccountId{id});
    vault->remove(id);
  }

  for (const auto& entry : entries) {
    store->upsert(AccountRecord{.id = AccountId{entry.id},
                                .type = mail_type(),
                                .label = account_label(entry.config),
                                .settings = to_json(entry.config),
                                .enabled = entry.enabled,
                                .avatar_seed = entry.avatar_seed});
    if (entry.config.auth == AuthMethod::OAuth) {
      // The vault entry of an OAuth account is its token record, written only by sign-in and
      // refresh. The in-memory copy may be older than a refresh the worker just stored (and
      // refresh tokens rotate), so writing it back would undo that refresh.
      continue;
    }
    if (!entry.config.secret.empty()) {
      vault->put(entry.id, entry.config.secret);
    } else {
      vault->remove(entry.id);
    }
  }

  if (selected < entries.size()) store->set_active(mail_type(), AccountId{entries[selected].id});

  if (auto saved = vault->try_save(); !saved) return std::unexpected(saved.error());
  return store->save_in(dir);
}

}  // namespace mail::store
