#include "engine/credentials.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>

#include "../setup/loopback_token_server.h"
#include "setup/oauth_tokens.h"
#include "temp_dir.h"
#include "vexa/accounts/accounts.h"

namespace mail::engine {
namespace {

using vexa::accounts::SecretVault;

constexpr std::uint64_t kNow = 1'700'000'000;

class CredentialsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = temp_.path();
    set_client_ids();
  }
  static void set_client_ids() {
    ::setenv("VEXA_MAIL_GOOGLE_CLIENT_ID", "google-app", 1);
    ::setenv("VEXA_MAIL_MICROSOFT_CLIENT_ID", "microsoft-app", 1);
  }
  void TearDown() override {
    ::unsetenv("VEXA_MAIL_GOOGLE_CLIENT_ID");
    ::unsetenv("VEXA_MAIL_MICROSOFT_CLIENT_ID");
  }

  static StoredConfig oauth(std::string email, std::string username = "") {
    return StoredConfig{
        .email = std::move(email), .username = std::move(username), .auth = AuthMethod::OAuth};
  }
  void store(const std::string& key, const std::string& value) {
    auto vault = SecretVault::open_in(dir_);
    ASSERT_TRUE(vault) << vault.error();
    vault->put(key, value);
    ASSERT_TRUE(vault->try_save());
  }
  void store_tokens(const std::string& key, const setup::OAuthTokens& tokens) {
    store(key, setup::to_json_text(tokens));
  }
  std::optional<setup::OAuthTokens> stored_tokens(const std::string& key) {
    auto text = SecretVault::open_in(dir_)->get(key);
    return text ? setup::parse_oauth_tokens(*text) : std::nullopt;
  }
  CredentialSources sources(const std::optional<std::string>& endpoint = std::nullopt) {
    return CredentialSources{.vault_dir = dir_, .token_endpoint = endpoint, .now = kNow};
  }
  static setup::OAuthTokens tokens_left(std::uint64_t seconds_left, const char* refresh = "rt") {
    setup::OAuthTokens tokens{
        .access_token = "old-at", .expires_in = 3600, .obtained_at = kNow + seconds_left - 3600};
    if (refresh) tokens.refresh_token = refresh;
    return tokens;
  }

  vexa::testing::TempDir temp_{"mail-credentials"};
  std::filesystem::path dir_;
};

TEST_F(CredentialsTest, PasswordAccounts) {
  struct Case {
    std::string username, secret;
    std::optional<Credential> credential;
    std::string error;
  };
  const std::vector<Case> cases = {
      {"  ann  ", "pw", Credential{Credential::Password, "ann", "pw"}, ""},
      {" \t ", "pw", Credential{Credential::Password, "ann@example.com", "pw"}, ""},
      {"", "pw", Credential{Credential::Password, "ann@example.com", "pw"}, ""},
      {"ann", "", std::nullopt, "no password set for this account"},
  };
  for (const auto& c : cases) {
    StoredConfig config{.email = "ann@example.com", .username = c.username, .secret = c.secret};
    auto got = resolve_credential(config, sources());
    if (c.credential) {
      ASSERT_TRUE(got) << got.error();
      EXPECT_EQ(*got, *c.credential);
    } else {
      ASSERT_FALSE(got);
      EXPECT_EQ(got.error(), c.error);
    }
  }
}

TEST_F(CredentialsTest, OAuthVaultEntryMissingOrNotATokenRecord) {
  auto missing = resolve_credential(oauth("ann@gmail.com"), sources());
  ASSERT_FALSE(missing);
  EXPECT_EQ(missing.error(), "not signed in (no OAuth token in vault)");

  store("ann@gmail.com", "hunter2");
  auto password = resolve_credential(oauth("ann@gmail.com"), sources());
  ASSERT_FALSE(password);
  EXPECT_EQ(password.error(), "stored credential is not an OAuth token");
}

TEST_F(CredentialsTest, TokenWithMoreThanAMinuteLeftIsUsedWithoutRequest) {
  testing::LoopbackTokenServer server(R"({"access_token":"new-at"})");
  store_tokens("ann@gmail.com", tokens_left(61));
  auto got = resolve_credential(oauth("ann@gmail.com", "login"), sources(server.url()));
  ASSERT_TRUE(got) << got.error();
  EXPECT_EQ(*got, (Credential{Credential::OAuth, "login", "old-at"}));
  EXPECT_TRUE(server.bodies().empty());
}

TEST_F(CredentialsTest, ExpiringTokenIsRefreshedStoredAndKeepsRefreshToken) {
  for (const std::uint64_t left : {59u, 60u}) {
    testing::LoopbackTokenServer server(R"({"access_token":"new-at","expires_in":3599})");
    store_tokens("ann@gmail.com", tokens_left(left));
    auto got = resolve_credential(oauth("ann@gmail.com"), sources(server.url()));
    ASSERT_TRUE(got) << got.error();
    EXPECT_EQ(*got, (Credential{Credential::OAuth, "ann@gmail.com", "new-at"}));
    ASSERT_EQ(server.bodies().size(), 1u);
    EXPECT_EQ(server.bodies()[0], "grant_type=refresh_token&client_id=google-app&refresh_token=rt");

    auto saved = stored_tokens("ann@gmail.com");
    ASSERT_TRUE(saved);
    EXPECT_EQ(saved->access_token, "new-at");
    EXPECT_EQ(saved->refresh_token, "rt");
    EXPECT_EQ(saved->expires_in, 3599u);
    EXPECT_GT(saved->obtained_at, 0u);
  }
}

TEST_F(CredentialsTest, NoLifetimeAlwaysRefreshesAndRotatedTokenIsStored) {
  testing::LoopbackTokenServer server(R"({"access_token":"new-at","refresh_token":"rt2"})");
  store_tokens("Bo@Outlook.com",
               {.access_token = "old-at", .refresh_token = "rt", .obtained_at = kNow});
  // The Microsoft client identifier is chosen by the capitalised domain, the vault key is the
  // address as typed.
  auto got = resolve_credential(oauth("Bo@Outlook.com"), sources(server.url()));
  ASSERT_TRUE(got) << got.error();
  EXPECT_EQ(got->secret, "new-at");
  EXPECT_NE(server.bodies().at(0).find("client_id=microsoft-app"), std::string::npos);
  EXPECT_EQ(stored_tokens("Bo@Outlook.com")->refresh_token, "rt2");
}

TEST_F(CredentialsTest, RefreshRefusalsBeforeAnyRequest) {
  struct Case {
    std::string email;
    setup::OAuthTokens tokens;
    const char* unset_variable;
    std::string error;
  };
  const std::vector<Case> cases = {
      {"ann@example.com", tokens_left(10), nullptr, "cannot refresh: unknown OAuth provider"},
      {"ann@mail.gmail.com", tokens_left(10), nullptr, "cannot refresh: unknown OAuth provider"},
      {"ann@gmail.com", tokens_left(10), "VEXA_MAIL_GOOGLE_CLIENT_ID",
       "set VEXA_MAIL_GOOGLE_CLIENT_ID to refresh the token"},
      {"bo@hotmail.com", tokens_left(10), "VEXA_MAIL_MICROSOFT_CLIENT_ID",
       "set VEXA_MAIL_MICROSOFT_CLIENT_ID to refresh the token"},
      {"ann@gmail.com", tokens_left(10, nullptr), nullptr,
       "access token expired and no refresh token; sign in again"},
      {"ann@gmail.com", tokens_left(10, ""), nullptr,
       "access token expired and no refresh token; sign in again"},
  };
  for (const auto& c : cases) {
    set_client_ids();
    testing::LoopbackTokenServer server(R"({"access_token":"new-at"})");
    if (c.unset_variable) ::unsetenv(c.unset_variable);
    store_tokens(c.email, c.tokens);
    auto got = resolve_credential(oauth(c.email), sources(server.url()));
    ASSERT_FALSE(got) << c.email;
    EXPECT_EQ(got.error(), c.error);
    EXPECT_TRUE(server.bodies().empty());
    EXPECT_EQ(stored_tokens(c.email), c.tokens);
  }
}

TEST_F(CredentialsTest, RejectedRefreshReportsBodyAndLeavesVaultUnchanged) {
  const std::string body = R"({"error":"invalid_grant","error_description":"revoked"})";
  testing::LoopbackTokenServer server(body, 400);
  store_tokens("ann@gmail.com", tokens_left(0));
  auto got = resolve_credential(oauth("ann@gmail.com"), sources(server.url()));
  ASSERT_FALSE(got);
  EXPECT_EQ(got.error(), "token refresh rejected: " + body);
  EXPECT_EQ(stored_tokens("ann@gmail.com"), tokens_left(0));
}

TEST_F(CredentialsTest, RefreshedTokensThatCannotBeSavedFail) {
  store_tokens("ann@gmail.com", tokens_left(0));
  // The vault's directory turns into a file while the request is in flight.
  testing::LoopbackTokenServer server(R"({"access_token":"new-at"})", 200, [this] {
    std::filesystem::remove_all(dir_);
    std::ofstream(dir_) << "not a directory";
  });
  auto got = resolve_credential(oauth("ann@gmail.com"), sources(server.url()));
  ASSERT_FALSE(got);
  EXPECT_EQ(got.error().rfind("could not save refreshed sign-in credentials: ", 0), 0u)
      << got.error();
  std::filesystem::remove(dir_);
  std::filesystem::create_directory(dir_);
}

}  // namespace
}  // namespace mail::engine
