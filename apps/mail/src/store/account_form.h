#pragma once
// What the account setup sheet edits: the stored configuration's fields plus the password,
// exactly as typed. Checks trim where they say so; nothing is trimmed on the way to storage.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "store/stored_config.h"

namespace mail {

inline constexpr std::uint16_t kDefaultImapPort = 993;
inline constexpr std::uint16_t kDefaultSmtpPort = 465;

struct AccountForm {
  std::string display_name;
  std::string email;
  std::string imap_host;
  std::string smtp_host;
  std::string username;
  std::string password;  // never stored in the configuration; empty under OAuth
  std::uint16_t imap_port = kDefaultImapPort;
  std::uint16_t smtp_port = kDefaultSmtpPort;
  bool imap_tls = true;
  bool smtp_tls = true;
  AuthMethod auth = AuthMethod::Password;
  friend bool operator==(const AccountForm&, const AccountForm&) = default;
};

// An existing account's settings with an empty password: a stored password is never loaded
// back into the sheet.
AccountForm form_for_account(const StoredConfig& config);
// The configuration to store; its secret is the password under password sign-in, else empty.
StoredConfig config_from_form(const AccountForm& form);

// Trimmed decimal with an optional leading "+", 0 to 65535; anything else is `fallback`.
std::uint16_t parse_port(std::string_view text, std::uint16_t fallback);

struct FieldError {
  std::string field;  // "email", "imap_host", "smtp_host", "username", "imap_port", "smtp_port"
  std::string message;
  friend bool operator==(const FieldError&, const FieldError&) = default;
};
// Every failed check in order; empty when the form is valid. Callers show the first.
std::vector<FieldError> validate(const AccountForm& form);

// The user name when it is not blank, otherwise the address.
std::string login_name(const AccountForm& form);

// The part of the address before the first "@" (all of it without one).
std::string_view local_part(std::string_view email);

// When nothing better is known: "imap." and "smtp." before the lowercased domain on the standard
// ports with TLS, and blank names filled from the address. An address without "@" is left alone.
void apply_fallback_guess(AccountForm& form);

}  // namespace mail
