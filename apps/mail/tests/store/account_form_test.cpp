#include "store/account_form.h"

#include <gtest/gtest.h>

namespace mail {
namespace {

AccountForm valid_form() {
  AccountForm form;
  form.email = "ada@example.test";
  form.imap_host = "imap.example.test";
  form.smtp_host = "smtp.example.test";
  form.username = "ada";
  return form;
}

TEST(AccountForm, ValidationReportsEveryFailureInOrder) {
  const struct {
    const char* name;
    void (*change)(AccountForm&);
    std::vector<std::string> fields;
  } cases[] = {
      {"valid", [](AccountForm&) {}, {}},
      {"one letter and @ is an address", [](AccountForm& f) { f.email = "a@"; }, {}},
      {"no @", [](AccountForm& f) { f.email = "ada.example.test"; }, {"email"}},
      {"blank IMAP host", [](AccountForm& f) { f.imap_host = " \u00A0\t"; }, {"imap_host"}},
      {"blank SMTP host", [](AccountForm& f) { f.smtp_host = ""; }, {"smtp_host"}},
      {"user name of spaces", [](AccountForm& f) { f.username = "   "; }, {"username"}},
      {"port 0", [](AccountForm& f) { f.imap_port = 0; }, {"imap_port"}},
      {"SMTP port 0", [](AccountForm& f) { f.smtp_port = 0; }, {"smtp_port"}},
      {"everything wrong",
       [](AccountForm& f) {
         f = AccountForm{};
         f.imap_port = 0;
         f.smtp_port = 0;
       },
       {"email", "imap_host", "smtp_host", "username", "imap_port", "smtp_port"}},
  };
  for (const auto& c : cases) {
    AccountForm form = valid_form();
    c.change(form);
    std::vector<std::string> fields;
    for (const FieldError& e : validate(form)) fields.push_back(e.field);
    EXPECT_EQ(fields, c.fields) << c.name;
  }
  AccountForm empty;
  empty.imap_port = 0;
  const auto errors = validate(empty);
  ASSERT_EQ(errors.size(), 5u);
  EXPECT_EQ(errors[0].message, "Enter a valid email address");
  EXPECT_EQ(errors[1].message, "IMAP host is required");
  EXPECT_EQ(errors[2].message, "SMTP host is required");
  EXPECT_EQ(errors[3].message, "Username is required");
  EXPECT_EQ(errors[4].message, "Port must be 1-65535");
}

TEST(AccountForm, PortTextsParseOrFallBack) {
  const struct {
    std::string_view text;
    std::uint16_t want;
  } cases[] = {
      {"993", 993}, {" 587 ", 587}, {"+143", 143}, {"0", 0},           {"65535", 65535},
      {"65536", 1}, {"", 1},        {"abc", 1},    {"12a", 1},         {"-5", 1},
      {"++1", 1},   {"+", 1},       {"1 2", 1},    {"99999999999", 1},
  };
  for (const auto& c : cases) EXPECT_EQ(parse_port(c.text, 1), c.want) << c.text;
}

TEST(AccountForm, FallbackGuessFillsFromTheDomain) {
  AccountForm form;
  form.email = " Ada@Example.TEST ";
  form.imap_port = 143;
  form.smtp_tls = false;
  apply_fallback_guess(form);
  EXPECT_EQ(form.imap_host, "imap.example.test");
  EXPECT_EQ(form.smtp_host, "smtp.example.test");
  EXPECT_EQ(form.imap_port, 993);
  EXPECT_EQ(form.smtp_port, 465);
  EXPECT_TRUE(form.imap_tls && form.smtp_tls);
  EXPECT_EQ(form.display_name, " Ada");
  EXPECT_EQ(form.username, " Ada@Example.TEST ");

  AccountForm named = form;
  named.display_name = "Ada Lovelace";
  named.username = "ada";
  apply_fallback_guess(named);
  EXPECT_EQ(named.display_name, "Ada Lovelace");
  EXPECT_EQ(named.username, "ada");

  AccountForm no_at;
  no_at.email = "nobody";
  apply_fallback_guess(no_at);
  EXPECT_EQ(no_at, [] {
    AccountForm f;
    f.email = "nobody";
    return f;
  }());
}

TEST(AccountForm, TheStoredConfigurationCarriesThePasswordOnlyUnderPasswordSignIn) {
  AccountForm form = valid_form();
  form.password = "hunter2";
  EXPECT_EQ(config_from_form(form).secret, "hunter2");
  EXPECT_EQ(form_for_account(config_from_form(form)).password, "");
  form.auth = AuthMethod::OAuth;
  EXPECT_EQ(config_from_form(form).secret, "");
  AccountForm round = form_for_account(config_from_form(form));
  round.password = form.password;
  EXPECT_EQ(round, form);
}

}  // namespace
}  // namespace mail
