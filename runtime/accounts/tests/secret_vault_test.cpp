#include <gtest/gtest.h>
#include <sys/stat.h>

#include "test_support.h"
#include "vexa/accounts/accounts.h"

namespace vexa::accounts {
namespace {

using testing::ScopedEnv;

class SecretVaultTest : public testing::TempDirTest {
 protected:
  SecretVault open_ok() {
    auto vault = SecretVault::open_in(dir_ / "root");
    EXPECT_TRUE(vault) << vault.error();
    return vault ? std::move(*vault) : SecretVault{};
  }
};

TEST_F(SecretVaultTest, SavesPrivatelyAndReopens) {
  auto vault = open_ok();
  EXPECT_FALSE(vault.get("acct-1"));
  vault.put("acct-1", "hunter2");
  vault.put("me@example.com", R"({"access_token":"t"})");
  vault.put("gone", "x");
  vault.remove("gone");
  EXPECT_EQ(vault.get("acct-1"), "hunter2");
  ASSERT_TRUE(vault.try_save());

  struct stat st {};
  ASSERT_EQ(stat((dir_ / "root" / "vault.json").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);
  ASSERT_EQ(stat((dir_ / "root").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0077, 0u) << "a directory created for the vault is private";

  auto reopened = open_ok();
  EXPECT_EQ(reopened.get("acct-1"), "hunter2");
  EXPECT_EQ(reopened.get("me@example.com"), R"({"access_token":"t"})");
  EXPECT_FALSE(reopened.get("gone"));
}

TEST_F(SecretVaultTest, HandlesDoNotUndoEachOthersSaves) {
  auto window = open_ok();
  auto worker = open_ok();
  window.put("acct-1", "password");
  ASSERT_TRUE(window.try_save());
  worker.put("me@example.com", "tokens");
  worker.remove("stale");
  ASSERT_TRUE(worker.try_save());
  // The worker's handle now also sees the window's password.
  EXPECT_EQ(worker.get("acct-1"), "password");
  window.remove("acct-1");
  ASSERT_TRUE(window.try_save());

  auto reopened = open_ok();
  EXPECT_FALSE(reopened.get("acct-1"));
  EXPECT_EQ(reopened.get("me@example.com"), "tokens");
}

TEST_F(SecretVaultTest, DamagedVaultIsReportedWithoutItsContent) {
  std::filesystem::create_directories(dir_ / "root");
  for (const char* text :
       {R"({"a":"hunter2",)", R"({"a":"hunter2","a":"x"})", R"({"a":7})", R"(["hunter2"])"}) {
    SCOPED_TRACE(text);
    write_text(dir_ / "root" / "vault.json", text);
    auto vault = SecretVault::open_in(dir_ / "root");
    ASSERT_FALSE(vault);
    EXPECT_NE(vault.error().find("vault.json"), std::string::npos) << vault.error();
    EXPECT_EQ(vault.error().find("hunter2"), std::string::npos) << vault.error();
    EXPECT_EQ(read_text(dir_ / "root" / "vault.json"), text);
  }
}

TEST_F(SecretVaultTest, AVaultReadableByOthersIsMadePrivateWhenOpened) {
  std::filesystem::create_directories(dir_ / "root");
  const auto path = dir_ / "root" / "vault.json";
  write_text(path, R"({"a":"hunter2"})");
  std::filesystem::permissions(
      path, std::filesystem::perms::owner_read | std::filesystem::perms::owner_write |
                std::filesystem::perms::group_read | std::filesystem::perms::others_read);
  auto vault = SecretVault::open_in(dir_ / "root");
  ASSERT_TRUE(vault) << vault.error();
  EXPECT_EQ(vault->get("a"), "hunter2");
  const auto perms = std::filesystem::status(path).permissions();
  EXPECT_EQ(perms & (std::filesystem::perms::group_all | std::filesystem::perms::others_all),
            std::filesystem::perms::none);
}

TEST_F(SecretVaultTest, DefaultPlaceFollowsTheConfigurationRoot) {
  {
    ScopedEnv xdg("XDG_CONFIG_HOME", dir_.string());
    auto vault = SecretVault::open();
    ASSERT_TRUE(vault) << vault.error();
    vault->put("k", "v");
    ASSERT_TRUE(vault->try_save());
    EXPECT_TRUE(std::filesystem::exists(dir_ / "vexa" / "accounts" / "vault.json"));
  }
  ScopedEnv xdg("XDG_CONFIG_HOME", std::nullopt);
  ScopedEnv home("HOME", std::nullopt);
  auto vault = SecretVault::open();
  ASSERT_TRUE(vault);
  vault->put("k", "v");
  EXPECT_EQ(vault->get("k"), "v");
  auto saved = vault->try_save();
  ASSERT_FALSE(saved);
  EXPECT_NE(saved.error().find("no configuration directory"), std::string::npos);
}

}  // namespace
}  // namespace vexa::accounts
