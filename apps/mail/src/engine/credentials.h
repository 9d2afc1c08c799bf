#pragma once
// The credential a network command logs in with: the stored password, or an OAuth access token
// from the vault, refreshed first when it is about to expire.
#include <cstdint>
#include <expected>
#include <filesystem>
#include <optional>
#include <string>

#include "store/stored_config.h"

namespace mail::engine {

struct Credential {
  enum Kind : std::uint8_t { Password, OAuth };
  Kind kind = Password;
  std::string login;
  std::string secret;  // password or access token
  friend bool operator==(const Credential&, const Credential&) = default;
};

// Where resolution reads; every field defaults to the real thing.
struct CredentialSources {
  std::optional<std::filesystem::path> vault_dir;  // default: SecretVault::open()
  std::optional<std::string> token_endpoint;       // default: the provider's
  std::optional<std::uint64_t> now;                // default: the wall clock
};

// Runs on the worker thread; may block up to the token request's time limit.
std::expected<Credential, std::string> resolve_credential(const StoredConfig& config,
                                                          const CredentialSources& sources = {});

}  // namespace mail::engine
