#include "store/account_list.h"

#include <gtest/gtest.h>

#include <fstream>

#include "temp_dir.h"

namespace mail::store {
namespace {

using vexa::accounts::AccountId;
using vexa::accounts::AccountRecord;
using vexa::accounts::AccountStore;
using vexa::accounts::AccountTypeId;
using vexa::accounts::SecretVault;

StoredConfig config_for(std::string email, AuthMethod auth, std::string secret) {
  return StoredConfig{.display_name = "",
                      .email = std::move(email),
                      .imap_host = "imap.example.com",
                      .smtp_host = "smtp.example.com",
                      .auth = auth,
                      .secret = std::move(secret)};
}

AccountEntry entry(std::string email, AuthMethod auth, std::string secret) {
  return AccountEntry{.id = account_id_for(email),
                      .config = config_for(email, auth, std::move(secret)),
                      .enabled = true,
                      .avatar_seed = false};
}

class AccountListTest : public ::testing::Test {
 protected:
  void SetUp() override { dir_ = temp_.path(); }

  LoadedAccounts reload() {
    auto store = AccountStore::load_in(dir_);
    auto vault = SecretVault::open_in(dir_);
    EXPECT_TRUE(store && vault);
    return load_accounts(*store, &*vault);
  }
  std::optional<std::string> vault_entry(const std::string& key) {
    return SecretVault::open_in(dir_)->get(key);
  }
  void put_vault(const std::string& key, const std::string& value) {
    auto vault = SecretVault::open_in(dir_);
    vault->put(key, value);
    ASSERT_TRUE(vault->try_save());
  }

  vexa::testing::TempDir temp_{"mail-accounts"};
  std::filesystem::path dir_;
};

TEST(AccountIdentity, IdAndLabel) {
  EXPECT_EQ(account_id_for("ann@example.com"), "ann@example.com");
  const auto generated = account_id_for("");
  ASSERT_EQ(generated.size(), std::string("account-").size() + 36);
  EXPECT_EQ(generated.rfind("account-", 0), 0u);
  EXPECT_EQ(generated[8 + 14], '4');  // version 4
  EXPECT_NE(generated, account_id_for(""));

  StoredConfig config;
  EXPECT_EQ(account_label(config), "New account");
  config.email = "ann@example.com";
  EXPECT_EQ(account_label(config), "ann@example.com");
  config.display_name = "Ann";
  EXPECT_EQ(account_label(config), "Ann");
}

TEST_F(AccountListTest, SaveThenLoadKeepsOrderSecretsFlagsAndSelection) {
  std::vector<AccountEntry> entries = {entry("ann@example.com", AuthMethod::Password, "pw1"),
                                       entry("", AuthMethod::Password, "pw2"),
                                       entry("bo@example.com", AuthMethod::Password, "pw3")};
  entries[1].enabled = false;
  entries[1].avatar_seed = true;
  ASSERT_TRUE(save_accounts(entries, 2, dir_));

  const auto loaded = reload();
  EXPECT_EQ(loaded.entries, entries);
  EXPECT_EQ(loaded.active, 2u);

  auto store = AccountStore::load_in(dir_);
  const auto records = store->list(AccountTypeId::from("email"));
  ASSERT_EQ(records.size(), 3u);
  EXPECT_EQ(records[0].label, "ann@example.com");
  EXPECT_EQ(records[1].label, "New account");
  EXPECT_FALSE(records[0].settings.contains("secret"));
}

TEST_F(AccountListTest, SelectionOutOfRangeKeepsPreviousActiveAccount) {
  std::vector<AccountEntry> entries = {entry("ann@example.com", AuthMethod::Password, "pw"),
                                       entry("bo@example.com", AuthMethod::Password, "pw")};
  ASSERT_TRUE(save_accounts(entries, 1, dir_));
  ASSERT_TRUE(save_accounts(entries, 7, dir_));
  EXPECT_EQ(reload().active, 1u);
}

TEST_F(AccountListTest, OnlyAccountsTheUserRemovedLoseRecordAndSecret) {
  ASSERT_TRUE(save_accounts({entry("ann@example.com", AuthMethod::Password, "pw1"),
                             entry("bo@example.com", AuthMethod::Password, "pw2")},
                            0, dir_));
  put_vault("unrelated", "kept");
  // Saving a list that lacks an account does not delete it: only a removal does.
  ASSERT_TRUE(save_accounts({entry("bo@example.com", AuthMethod::Password, "pw2")}, 0, dir_));
  EXPECT_EQ(reload().entries.size(), 2u);
  EXPECT_EQ(vault_entry("ann@example.com"), "pw1");

  ASSERT_TRUE(save_accounts({entry("bo@example.com", AuthMethod::Password, "pw2")}, 0, dir_,
                            {"ann@example.com"}));
  const auto loaded = reload();
  ASSERT_EQ(loaded.entries.size(), 1u);
  EXPECT_EQ(loaded.entries[0].id, "bo@example.com");
  EXPECT_EQ(vault_entry("ann@example.com"), std::nullopt);
  EXPECT_EQ(vault_entry("unrelated"), "kept");
}

TEST_F(AccountListTest, AccountsThatCannotBeReadSurviveASaveWithTheirSecrets) {
  const std::string typo =
      R"({"id":"typo@example.com","type":"email","settings":{"email":"typo@example.com",)"
      R"("imap_port":"993"}})";
  std::ofstream(dir_ / "accounts.json")
      << R"({"accounts":[)" << typo
      << R"(,{"id":"dup@example.com","type":"email","settings":{"x":1,"x":2}}]})";
  put_vault("typo@example.com", "pw-typo");
  put_vault("dup@example.com", "pw-dup");
  const auto loaded = reload();
  EXPECT_TRUE(loaded.entries.empty());
  ASSERT_EQ(loaded.problems.size(), 2u);
  EXPECT_EQ(loaded.problems[0].account, "dup@example.com");  // the store's own, first
  EXPECT_EQ(loaded.problems[1].account, "typo@example.com");
  EXPECT_NE(loaded.problems[1].reason.find("cannot be read"), std::string::npos);

  ASSERT_TRUE(save_accounts({entry("new@example.com", AuthMethod::Password, "pw")}, 0, dir_));
  std::ifstream in(dir_ / "accounts.json");
  const std::string saved(std::istreambuf_iterator<char>(in), {});
  EXPECT_NE(saved.find(R"({"id":"dup@example.com","type":"email","settings":{"x":1,"x":2}})"),
            std::string::npos)
      << saved;
  EXPECT_NE(saved.find("typo@example.com"), std::string::npos) << saved;
  EXPECT_EQ(vault_entry("typo@example.com"), "pw-typo");
  EXPECT_EQ(vault_entry("dup@example.com"), "pw-dup");
  EXPECT_EQ(reload().entries.size(), 1u);
}

TEST_F(AccountListTest, WithoutAVaultAccountsLoadWithoutSecrets) {
  ASSERT_TRUE(save_accounts({entry("ann@example.com", AuthMethod::Password, "pw")}, 0, dir_));
  auto store = AccountStore::load_in(dir_);
  ASSERT_TRUE(store);
  const auto loaded = load_accounts(*store, nullptr);
  ASSERT_EQ(loaded.entries.size(), 1u);
  EXPECT_EQ(loaded.entries[0].config.secret, "");
}

TEST_F(AccountListTest, EmptySecretRemovesPasswordButKeepsOAuthTokens) {
  ASSERT_TRUE(save_accounts({entry("pw@example.com", AuthMethod::Password, "old")}, 0, dir_));
  put_vault("oa@gmail.com", R"({"access_token":"at"})");

  ASSERT_TRUE(save_accounts({entry("pw@example.com", AuthMethod::Password, ""),
                             entry("oa@gmail.com", AuthMethod::OAuth, "")},
                            0, dir_));
  EXPECT_EQ(vault_entry("pw@example.com"), std::nullopt);
  EXPECT_EQ(vault_entry("oa@gmail.com"), R"({"access_token":"at"})");
}

TEST_F(AccountListTest, StaleOAuthSecretInMemoryDoesNotUndoARefresh) {
  // Loading fills an OAuth account's secret with the token record of that moment; the worker
  // may refresh (and rotate) the tokens before the window side saves the list again.
  put_vault("oa@gmail.com", R"({"access_token":"old","refresh_token":"r1"})");
  ASSERT_TRUE(save_accounts({entry("oa@gmail.com", AuthMethod::OAuth, "")}, 0, dir_));
  auto loaded = reload();
  ASSERT_EQ(loaded.entries.size(), 1u);
  put_vault("oa@gmail.com", R"({"access_token":"new","refresh_token":"r2"})");

  ASSERT_TRUE(save_accounts(loaded.entries, 0, dir_));
  EXPECT_EQ(vault_entry("oa@gmail.com"), R"({"access_token":"new","refresh_token":"r2"})");
}

TEST_F(AccountListTest, LoadSkipsUnreadableSettingsAndDefaultsActiveToFirst) {
  auto store = AccountStore::load_in(dir_);
  ASSERT_TRUE(store);
  const auto type = AccountTypeId::from("email");
  store->upsert(AccountRecord{
      .id = AccountId{"broken"}, .type = type, .label = "x", .settings = {{"email", "broken"}}});
  store->upsert(
      AccountRecord{.id = AccountId{"ann@example.com"},
                    .type = type,
                    .label = "Ann",
                    .settings = to_json(config_for("ann@example.com", AuthMethod::Password, ""))});
  store->upsert(
      AccountRecord{.id = AccountId{"other"},
                    .type = AccountTypeId::from("chat"),
                    .label = "chat",
                    .settings = to_json(config_for("c@example.com", AuthMethod::Password, ""))});
  store->set_active(type, AccountId{"broken"});
  auto vault = SecretVault::open_in(dir_);
  vault->put("ann@example.com", "secret");

  const auto loaded = load_accounts(*store, &*vault);
  ASSERT_EQ(loaded.entries.size(), 1u);
  EXPECT_EQ(loaded.entries[0].config.secret, "secret");
  EXPECT_EQ(loaded.active, 0u);
}

TEST_F(AccountListTest, AStoreOrVaultThatCannotBeReadRefusesTheSaveAndIsNotReplaced) {
  for (const char* file : {"accounts.json", "vault.json"}) {
    SCOPED_TRACE(file);
    std::filesystem::remove(dir_ / "accounts.json");
    std::filesystem::remove(dir_ / "vault.json");
    std::ofstream(dir_ / file) << "{ not json";
    auto saved = save_accounts({entry("ann@example.com", AuthMethod::Password, "pw")}, 0, dir_);
    ASSERT_FALSE(saved);
    EXPECT_NE(saved.error().find((dir_ / file).string()), std::string::npos) << saved.error();
    std::ifstream in(dir_ / file);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), "{ not json");
  }
}

}  // namespace
}  // namespace mail::store
