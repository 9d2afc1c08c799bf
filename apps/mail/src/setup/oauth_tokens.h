#pragma once
// The OAuth token record kept in the secret vault under the account's address, and the reading
// of token endpoint answers.
#include <cstdint>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <string_view>

namespace mail::setup {

struct OAuthTokens {
  std::string access_token;
  std::optional<std::string> refresh_token;
  std::uint64_t expires_in = 0;   // seconds; 0 when the provider gave none
  std::uint64_t obtained_at = 0;  // seconds since the Unix epoch
  friend bool operator==(const OAuthTokens&, const OAuthTokens&) = default;
};

// All four keys in the order access_token, refresh_token (null when absent), expires_in,
// obtained_at.
nlohmann::ordered_json to_json(const OAuthTokens& tokens);
std::string to_json_text(const OAuthTokens& tokens);
// A vault entry: "access_token" must be a string; "refresh_token" a string or null, the two
// numbers unsigned integers; the last three may be missing. nullopt for anything else.
std::optional<OAuthTokens> parse_oauth_tokens(std::string_view text);

// A token endpoint's answer: an object whose "access_token" is a string; "refresh_token" taken
// when it is a string, "expires_in" when it is a non-negative integer; obtained_at = now.
std::optional<OAuthTokens> read_token_response(std::string_view body, std::uint64_t now);

// Seconds since the Unix epoch; 0 when the clock reads earlier.
std::uint64_t unix_now();

// No lifetime, or less than 60 seconds of it left at `now`.
bool access_token_expired(const OAuthTokens& tokens, std::uint64_t now);

}  // namespace mail::setup
