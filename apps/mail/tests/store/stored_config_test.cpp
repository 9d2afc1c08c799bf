#include "store/stored_config.h"

#include <gtest/gtest.h>

namespace mail {
namespace {

StoredConfig sample() {
  return StoredConfig{.display_name = "Ann Example",
                      .email = "ann@example.com",
                      .imap_host = "imap.example.com",
                      .imap_port = 993,
                      .imap_tls = true,
                      .smtp_host = "smtp.example.com",
                      .smtp_port = 587,
                      .smtp_tls = false,
                      .username = "ann",
                      .auth = AuthMethod::OAuth,
                      .secret = "never written"};
}

const char* kFull =
    R"({"display_name":"Ann","email":"a@x","imap_host":"i","imap_port":993,"imap_tls":true,)"
    R"("smtp_host":"s","smtp_port":465,"smtp_tls":true,"username":"")";

std::string with(const std::string& tail) { return std::string(kFull) + tail + "}"; }

TEST(StoredConfig, RoundTripsWithoutTheSecret) {
  const auto json = to_json(sample());
  EXPECT_FALSE(json.contains("secret"));
  EXPECT_EQ(json.size(), 10u);
  EXPECT_EQ(json["auth"], "OAuth");
  auto back = parse_stored_config(json.dump());
  ASSERT_TRUE(back) << back.error();
  auto expected = sample();
  expected.secret.clear();
  EXPECT_EQ(*back, expected);
}

TEST(StoredConfig, ParseRules) {
  struct Case {
    std::string text;
    bool ok;
    AuthMethod auth = AuthMethod::Password;
  };
  const std::vector<Case> cases = {
      {with(""), true, AuthMethod::Password},
      {with(R"(,"auth":"Password")"), true, AuthMethod::Password},
      {with(R"(,"auth":"OAuth")"), true, AuthMethod::OAuth},
      {with(R"(,"auth":"oauth")"), false},
      {with(R"(,"auth":null)"), false},
      {with(R"(,"unknown":[1,{"x":2}])"), true},
      {with(R"(,"email":"b@x")"), false},                     // duplicate key
      {with(R"(,"auth":"OAuth","auth":"Password")"), false},  // duplicate key
      {with(R"(,"extra":{"k":1},"other":{"k":2})"), true},    // same key, different objects
      {with(R"(,"extra":{"k":1,"k":2})"), false},             // duplicate in a nested object
      {R"({"display_name":"A","email":"a@x","imap_host":"i","imap_port":993,"imap_tls":true,)"
       R"("smtp_host":"s","smtp_port":465,"smtp_tls":true})",
       false},  // no username
      {std::string(kFull).replace(std::string(kFull).find("993"), 3, "-1") + "}", false},
      {std::string(kFull).replace(std::string(kFull).find("993"), 3, "65536") + "}", false},
      {std::string(kFull).replace(std::string(kFull).find("993"), 3, "993.0") + "}", false},
      {std::string(kFull).replace(std::string(kFull).find("993"), 3, "\"993\"") + "}", false},
      {std::string(kFull).replace(std::string(kFull).find("993"), 3, "65535") + "}", true},
      {std::string(kFull).replace(std::string(kFull).find("true"), 4, "1") + "}", false},
      {"[]", false},
      {"{", false},
  };
  for (const auto& c : cases) {
    auto parsed = parse_stored_config(c.text);
    EXPECT_EQ(parsed.has_value(), c.ok) << c.text;
    if (parsed && c.ok) {
      EXPECT_EQ(parsed->auth, c.auth) << c.text;
      EXPECT_TRUE(parsed->secret.empty());
    }
  }
}

TEST(StoredConfig, EveryKeyButAuthIsRequired) {
  const auto full = to_json(sample());
  for (const auto& [key, value] : full.items()) {
    if (key == "auth") continue;
    auto partial = full;
    partial.erase(key);
    EXPECT_FALSE(stored_config_from_json(partial)) << key;
  }
}

}  // namespace
}  // namespace mail
