#include "setup/oauth.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <limits>

#include "loopback_token_server.h"

namespace mail::setup {
namespace {

TEST(DetectProvider, MatchesWholeLowerCasedDomainAfterFirstAt) {
  struct Case {
    const char* email;
    std::optional<OAuthProvider> provider;
  };
  const std::vector<Case> cases = {
      {"ann@gmail.com", OAuthProvider::Google},
      {"ann@GMail.COM", OAuthProvider::Google},
      {"ann@googlemail.com", OAuthProvider::Google},
      {"bo@outlook.com", OAuthProvider::Microsoft},
      {"bo@hotmail.com", OAuthProvider::Microsoft},
      {"bo@live.com", OAuthProvider::Microsoft},
      {"bo@msn.com", OAuthProvider::Microsoft},
      {"bo@office365.com", OAuthProvider::Microsoft},
      {"ann@mail.gmail.com", std::nullopt},
      {"ann@gmail.co.uk", std::nullopt},
      {"ann@outlook.de", std::nullopt},
      {"ann@example.com", std::nullopt},
      {"gmail.com", std::nullopt},
      {"a@b@gmail.com", std::nullopt},  // the domain starts after the first "@"
      {"", std::nullopt},
  };
  for (const auto& c : cases) EXPECT_EQ(detect_provider(c.email), c.provider) << c.email;
}

TEST(ClientId, UnsetOrEmptyVariableMeansNotConfigured) {
  ASSERT_EQ(client_id_variable(OAuthProvider::Google), "VEXA_MAIL_GOOGLE_CLIENT_ID");
  ASSERT_EQ(client_id_variable(OAuthProvider::Microsoft), "VEXA_MAIL_MICROSOFT_CLIENT_ID");
  ::unsetenv("VEXA_MAIL_GOOGLE_CLIENT_ID");
  EXPECT_EQ(client_id(OAuthProvider::Google), std::nullopt);
  ::setenv("VEXA_MAIL_GOOGLE_CLIENT_ID", "", 1);
  EXPECT_EQ(client_id(OAuthProvider::Google), std::nullopt);
  ::setenv("VEXA_MAIL_GOOGLE_CLIENT_ID", "google-app", 1);
  EXPECT_EQ(client_id(OAuthProvider::Google), "google-app");
  EXPECT_EQ(client_id(OAuthProvider::Microsoft), std::nullopt);
  ::unsetenv("VEXA_MAIL_GOOGLE_CLIENT_ID");
}

TEST(OAuthTokensJson, WritesAllFourKeysInOrderAndReadsBack) {
  const OAuthTokens without{.access_token = "at", .expires_in = 3600, .obtained_at = 17};
  EXPECT_EQ(to_json_text(without),
            R"({"access_token":"at","refresh_token":null,"expires_in":3600,"obtained_at":17})");
  EXPECT_EQ(parse_oauth_tokens(to_json_text(without)), without);
  const OAuthTokens with{.access_token = "at", .refresh_token = "rt"};
  EXPECT_EQ(parse_oauth_tokens(to_json_text(with)), with);
}

TEST(OAuthTokensJson, VaultEntryRules) {
  struct Case {
    const char* text;
    std::optional<OAuthTokens> tokens;
  };
  const std::vector<Case> cases = {
      {R"({"access_token":"a"})", OAuthTokens{.access_token = "a"}},
      {R"({"access_token":"a","refresh_token":null,"extra":1})", OAuthTokens{.access_token = "a"}},
      {R"({"access_token":"a","expires_in":5,"obtained_at":6})",
       OAuthTokens{.access_token = "a", .expires_in = 5, .obtained_at = 6}},
      {R"({"refresh_token":"r"})", std::nullopt},
      {R"({"access_token":7})", std::nullopt},
      {R"({"access_token":"a","refresh_token":3})", std::nullopt},
      {R"({"access_token":"a","expires_in":-1})", std::nullopt},
      {R"({"access_token":"a","obtained_at":1.5})", std::nullopt},
      {"hunter2", std::nullopt},  // a password stored under the same key
      {R"(["a"])", std::nullopt},
  };
  for (const auto& c : cases) EXPECT_EQ(parse_oauth_tokens(c.text), c.tokens) << c.text;
}

TEST(ReadTokenResponse, TakesOnlyWellTypedMembers) {
  struct Case {
    const char* body;
    std::optional<OAuthTokens> tokens;
  };
  const std::vector<Case> cases = {
      {R"({"access_token":"a","refresh_token":"r","expires_in":3599,"token_type":"Bearer"})",
       OAuthTokens{
           .access_token = "a", .refresh_token = "r", .expires_in = 3599, .obtained_at = 99}},
      {R"({"access_token":"a","refresh_token":5,"expires_in":-3})",
       OAuthTokens{.access_token = "a", .obtained_at = 99}},
      {R"({"access_token":"a","expires_in":"3600"})",
       OAuthTokens{.access_token = "a", .obtained_at = 99}},
      {R"({"error":"invalid_grant","error_description":"Bad Request"})", std::nullopt},
      {R"({"access_token":null})", std::nullopt},
      {"<html>502</html>", std::nullopt},
  };
  for (const auto& c : cases) EXPECT_EQ(read_token_response(c.body, 99), c.tokens) << c.body;
}

TEST(AccessTokenExpired, SixtySecondMarginAndNoLifetime) {
  const std::uint64_t max = std::numeric_limits<std::uint64_t>::max();
  struct Case {
    std::uint64_t expires_in, obtained_at, now;
    bool expired;
  };
  const std::vector<Case> cases = {
      {3600, 1000, 1000 + 3540, true},   // exactly 60 s left
      {3600, 1000, 1000 + 3539, false},  // 61 s left
      {3600, 1000, 1000 + 3541, true},   // 59 s left
      {0, 1000, 1000, true},
      {max, 1000, 5000, false},  // the sum saturates instead of wrapping to the past
      {10, max - 5, max - 1, true},
  };
  for (const auto& c : cases) {
    const OAuthTokens tokens{
        .access_token = "a", .expires_in = c.expires_in, .obtained_at = c.obtained_at};
    EXPECT_EQ(access_token_expired(tokens, c.now), c.expired)
        << c.expires_in << " " << c.obtained_at << " " << c.now;
  }
}

TEST(Refresh, PostsFormInOrderAndKeepsRefreshTokenWhenNoneReturned) {
  testing::LoopbackTokenServer server(R"({"access_token":"new-at","expires_in":3600})");
  const auto before = unix_now();
  auto tokens = refresh(OAuthProvider::Google, "client id", "old/rt", server.url());
  ASSERT_TRUE(tokens) << tokens.error();
  EXPECT_EQ(tokens->access_token, "new-at");
  EXPECT_EQ(tokens->refresh_token, "old/rt");
  EXPECT_EQ(tokens->expires_in, 3600u);
  EXPECT_GE(tokens->obtained_at, before);
  ASSERT_EQ(server.bodies().size(), 1u);
  EXPECT_EQ(server.bodies()[0],
            "grant_type=refresh_token&client_id=client+id&refresh_token=old%2Frt");
}

TEST(Refresh, RotatedRefreshTokenReplacesTheOldOne) {
  testing::LoopbackTokenServer server(R"({"access_token":"a","refresh_token":"rotated"})");
  auto tokens = refresh(OAuthProvider::Microsoft, "c", "old", server.url());
  ASSERT_TRUE(tokens) << tokens.error();
  EXPECT_EQ(tokens->refresh_token, "rotated");
}

TEST(Refresh, AnswerWithoutAccessTokenIsRejectedWithWholeBodyWhateverTheStatus) {
  const std::string body = R"({"error":"invalid_grant"})";
  for (int status : {400, 200}) {
    testing::LoopbackTokenServer server(body, status);
    auto tokens = refresh(OAuthProvider::Google, "c", "r", server.url());
    ASSERT_FALSE(tokens);
    EXPECT_EQ(tokens.error(), "token refresh rejected: " + body);
  }
}

TEST(ExchangeCode, PostsAuthorizationCodeGrant) {
  testing::LoopbackTokenServer server(R"({"error":"invalid_code"})");
  auto tokens = exchange_code(OAuthProvider::Google, "c", "http://127.0.0.1:5/oauth", "the code",
                              "verifier", server.url());
  ASSERT_FALSE(tokens);
  EXPECT_EQ(tokens.error(), R"(token endpoint rejected exchange: {"error":"invalid_code"})");
  ASSERT_EQ(server.bodies().size(), 1u);
  EXPECT_EQ(server.bodies()[0],
            "grant_type=authorization_code&client_id=c&redirect_uri=http%3A%2F%2F127.0.0.1%3A5%2F"
            "oauth&code=the+code&code_verifier=verifier");
}

}  // namespace
}  // namespace mail::setup
