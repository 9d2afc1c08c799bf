#include "store/account_form.h"

#include <charconv>

#include "mailbox/ascii_text.h"
#include "vexa/utf8.h"

namespace mail {
namespace {

bool blank(std::string_view text) { return vexa::utf8::trim_space(text).empty(); }

}  // namespace

AccountForm form_for_account(const StoredConfig& config) {
  AccountForm form;
  form.display_name = config.display_name;
  form.email = config.email;
  form.imap_host = config.imap_host;
  form.smtp_host = config.smtp_host;
  form.username = config.username;
  form.imap_port = config.imap_port;
  form.smtp_port = config.smtp_port;
  form.imap_tls = config.imap_tls;
  form.smtp_tls = config.smtp_tls;
  form.auth = config.auth;
  return form;
}

StoredConfig config_from_form(const AccountForm& form) {
  StoredConfig config;
  config.display_name = form.display_name;
  config.email = form.email;
  config.imap_host = form.imap_host;
  config.imap_port = form.imap_port;
  config.imap_tls = form.imap_tls;
  config.smtp_host = form.smtp_host;
  config.smtp_port = form.smtp_port;
  config.smtp_tls = form.smtp_tls;
  config.username = form.username;
  config.auth = form.auth;
  if (form.auth == AuthMethod::Password) config.secret = form.password;
  return config;
}

std::uint16_t parse_port(std::string_view text, std::uint16_t fallback) {
  text = vexa::utf8::trim_space(text);
  if (text.starts_with('+')) text.remove_prefix(1);
  if (text.empty()) return fallback;
  unsigned value = 0;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (ec != std::errc() || end != text.data() + text.size() || value > 65535) return fallback;
  return static_cast<std::uint16_t>(value);
}

std::vector<FieldError> validate(const AccountForm& form) {
  std::vector<FieldError> errors;
  if (form.email.find('@') == std::string::npos) {
    errors.push_back({"email", "Enter a valid email address"});
  }
  if (blank(form.imap_host)) errors.push_back({"imap_host", "IMAP host is required"});
  if (blank(form.smtp_host)) errors.push_back({"smtp_host", "SMTP host is required"});
  if (blank(form.username)) errors.push_back({"username", "Username is required"});
  if (form.imap_port == 0) errors.push_back({"imap_port", "Port must be 1-65535"});
  if (form.smtp_port == 0) errors.push_back({"smtp_port", "Port must be 1-65535"});
  return errors;
}

std::string login_name(const AccountForm& form) {
  return blank(form.username) ? form.email : form.username;
}

std::string_view local_part(std::string_view email) { return email.substr(0, email.find('@')); }

void apply_fallback_guess(AccountForm& form) {
  const std::string_view email = vexa::utf8::trim_space(form.email);
  const auto at = email.find('@');
  if (at == std::string_view::npos) return;
  if (blank(form.display_name)) form.display_name = std::string(local_part(form.email));
  if (blank(form.username)) form.username = form.email;
  const std::string domain = ascii_lower(email.substr(at + 1));
  form.imap_host = "imap." + domain;
  form.smtp_host = "smtp." + domain;
  form.imap_port = kDefaultImapPort;
  form.smtp_port = kDefaultSmtpPort;
  form.imap_tls = true;
  form.smtp_tls = true;
}

}  // namespace mail
