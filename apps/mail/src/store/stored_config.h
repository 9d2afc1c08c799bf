#pragma once
// The connection settings of one account, as stored in the account service (JSON) and carried
// by every worker command (with the in-memory secret, which is never serialised).
#include <cstdint>
#include <expected>
#include <string>

#include <nlohmann/json.hpp>

namespace mail {

enum class AuthMethod : std::uint8_t { Password = 0, OAuth = 1 };

struct StoredConfig {
  std::string display_name;
  std::string email;
  std::string imap_host;
  std::uint16_t imap_port = 993;
  bool imap_tls = true;
  std::string smtp_host;
  std::uint16_t smtp_port = 465;
  bool smtp_tls = true;
  std::string username;
  AuthMethod auth = AuthMethod::Password;
  std::string secret;  // in memory only
  friend bool operator==(const StoredConfig&, const StoredConfig&) = default;
};

// Keys in order: display_name, email, imap_host, imap_port, imap_tls, smtp_host, smtp_port,
// smtp_tls, username, auth. The secret is never written.
nlohmann::json to_json(const StoredConfig& config);
// Every key but "auth" is required; unknown keys are ignored; a duplicate key is an error (the
// caller parses the text with duplicate detection, see parse_stored_config).
std::expected<StoredConfig, std::string> stored_config_from_json(const nlohmann::json& value);
std::expected<StoredConfig, std::string> parse_stored_config(std::string_view text);

}  // namespace mail
