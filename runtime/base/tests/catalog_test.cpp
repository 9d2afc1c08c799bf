#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <sstream>

#include "vexa/ui/i18n.h"

using vexa::ui::i18n::EmbeddedCatalog;

namespace {

std::string read_catalog_source() {
  const char* source_dir = std::getenv("VEXA_SOURCE_DIR");
  const std::string root = source_dir ? source_dir : ".";
  std::ifstream in(root + "/apps/mail/resources/en-US.ftl", std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

struct Entry {
  const char* key;
  const char* text;
};

// Every key of the shipped catalogue, in file order.
const std::vector<Entry> kEnUs = {
    {"mail-search-placeholder", "Search"},
    {"mail-setup-heading-add", "Add account"},
    {"mail-setup-heading-edit", "Account settings"},
    {"mail-setup-subtitle-add", "Enter your email — server details fill in automatically."},
    {"mail-setup-label-display-name", "Display name"},
    {"mail-setup-label-email", "Email"},
    {"mail-setup-label-username", "Username"},
    {"mail-setup-label-password", "Password"},
    {"mail-setup-label-imap-host", "IMAP host"},
    {"mail-setup-label-smtp-host", "SMTP host"},
    {"mail-setup-label-port", "Port"},
    {"mail-setup-label-sign-in", "Sign-in"},
    {"mail-setup-auth-password", "Password"},
    {"mail-setup-auth-oauth", "OAuth"},
    {"mail-setup-oauth-sign-in", "Sign in with {$provider}"},
    {"mail-setup-oauth-provider-fallback", "your provider"},
    {"mail-setup-oauth-note-available", "Opens your browser to authorize (OAuth2 + PKCE)."},
    {"mail-setup-oauth-note-unavailable",
     "Not available in this installation · Password sign-in is available."},
    {"mail-setup-tls", "TLS"},
    {"mail-setup-hint-verified", "Credentials are verified before the account is saved."},
    {"mail-setup-save", "Save & verify"},
    {"mail-setup-verifying", "Verifying…"},
    {"mail-setup-finding-provider", "Finding provider…"},
    {"mail-setup-cancel", "Cancel"},
    {"mail-setup-remove", "Remove"},
    {"mail-compose-label-to", "To"},
    {"mail-compose-label-cc", "Cc"},
    {"mail-compose-label-bcc", "Bcc"},
    {"mail-compose-label-subject", "Subject"},
    {"mail-compose-placeholder-to", "recipients"},
    {"mail-compose-cc-bcc", "Cc/Bcc"},
    {"mail-compose-attach", "📎 Attach"},
    {"mail-compose-send", "Send"},
    {"mail-compose-save-draft", "Save draft"},
    {"mail-compose-discard", "Discard"},
    {"mail-compose-prompt-attach", "Attach"},
    {"mail-compose-prompt-link", "Link"},
    {"mail-compose-prompt-add", "Add"},
    {"mail-compose-prompt-cancel", "Cancel"},
};

TEST(EnUsCatalog, ShipsEveryKeyWithItsText) {
  const auto catalog = EmbeddedCatalog::parse("en-US", read_catalog_source());
  ASSERT_TRUE(catalog) << catalog.error();
  EXPECT_EQ(catalog->locale(), "en-US");
  std::vector<std::string> expected_keys;
  for (const auto& e : kEnUs) {
    expected_keys.push_back(e.key);
    EXPECT_EQ(catalog->t(e.key), e.text) << e.key;
  }
  EXPECT_EQ(catalog->keys(), expected_keys);
  EXPECT_EQ(catalog->t_args("mail-setup-oauth-sign-in", {{"provider", "Google"}}),
            "Sign in with Google");
}

TEST(EmbeddedCatalog, LookupsNeverFail) {
  const auto catalog = EmbeddedCatalog::parse(
      "en-US", "# comment\r\ngreet = Hi { $name }, { $name } and {$other}!\r\n\r\nplain = x\n");
  ASSERT_TRUE(catalog) << catalog.error();
  EXPECT_EQ(catalog->t("no-such-key"), "no-such-key");
  EXPECT_EQ(catalog->t_args("greet", {{"name", "Ann"}, {"other", "Bo"}}), "Hi Ann, Ann and Bo!");
  EXPECT_EQ(catalog->t_args("greet", {{"name", "Ann"}}), "Hi Ann, Ann and {$other}!");
  // An argument value is inserted as text, never read as another placeable.
  EXPECT_EQ(catalog->t_args("greet", {{"name", "{ $other }"}, {"other", "x"}}),
            "Hi { $other }, { $other } and x!");
  EXPECT_EQ(catalog->t("plain"), "x");
}

TEST(EmbeddedCatalog, SyntaxErrorsNameTheLine) {
  struct Case {
    const char* source;
    const char* prefix;
  };
  const std::vector<Case> cases = {
      {"a = 1\nno equals sign\n", "line 2:"}, {"a = 1\n\n# c\nb =\n", "line 4:"},
      {"a = 1\na = 2\n", "line 2:"},          {"a = Hello { name }\n", "line 1:"},
      {"a = Hello { $name\n", "line 1:"},     {"a = stray } brace\n", "line 1:"},
      {"a = 1\n  continued\n", "line 2:"},    {"-x = 1\n", "line 1:"},
  };
  for (const auto& c : cases) {
    const auto catalog = EmbeddedCatalog::parse("en-US", c.source);
    ASSERT_FALSE(catalog) << c.source;
    EXPECT_TRUE(catalog.error().starts_with(c.prefix)) << c.source << " -> " << catalog.error();
  }
}

}  // namespace
