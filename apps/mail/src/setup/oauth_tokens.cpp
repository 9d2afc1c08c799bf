#include "setup/oauth_tokens.h"

#include <chrono>
#include <limits>

namespace mail::setup {

namespace {

std::uint64_t saturating_add(std::uint64_t a, std::uint64_t b) {
  return b > std::numeric_limits<std::uint64_t>::max() - a
             ? std::numeric_limits<std::uint64_t>::max()
             : a + b;
}

// Missing is fine (the default stays); present with another type is not.
bool read_unsigned(const nlohmann::json& object, const char* key, std::uint64_t& out) {
  auto it = object.find(key);
  if (it == object.end()) return true;
  if (!it->is_number_unsigned()) return false;
  out = it->get<std::uint64_t>();
  return true;
}

}  // namespace

nlohmann::ordered_json to_json(const OAuthTokens& tokens) {
  nlohmann::ordered_json out = nlohmann::ordered_json::object();
  out["access_token"] = tokens.access_token;
  out["refresh_token"] =
      tokens.refresh_token ? nlohmann::ordered_json(*tokens.refresh_token) : nullptr;
  out["expires_in"] = tokens.expires_in;
  out["obtained_at"] = tokens.obtained_at;
  return out;
}

std::string to_json_text(const OAuthTokens& tokens) { return to_json(tokens).dump(); }

std::optional<OAuthTokens> parse_oauth_tokens(std::string_view text) {
  auto value = nlohmann::json::parse(text.begin(), text.end(), nullptr, false);
  if (!value.is_object()) return std::nullopt;
  OAuthTokens tokens;
  auto access = value.find("access_token");
  if (access == value.end() || !access->is_string()) return std::nullopt;
  tokens.access_token = access->get<std::string>();
  if (auto refresh = value.find("refresh_token"); refresh != value.end()) {
    if (refresh->is_string()) {
      tokens.refresh_token = refresh->get<std::string>();
    } else if (!refresh->is_null()) {
      return std::nullopt;
    }
  }
  if (!read_unsigned(value, "expires_in", tokens.expires_in)) return std::nullopt;
  if (!read_unsigned(value, "obtained_at", tokens.obtained_at)) return std::nullopt;
  return tokens;
}

std::optional<OAuthTokens> read_token_response(std::string_view body, std::uint64_t now) {
  auto value = nlohmann::json::parse(body.begin(), body.end(), nullptr, false);
  if (!value.is_object()) return std::nullopt;
  auto access = value.find("access_token");
  if (access == value.end() || !access->is_string()) return std::nullopt;
  OAuthTokens tokens{.access_token = access->get<std::string>(), .obtained_at = now};
  if (auto refresh = value.find("refresh_token"); refresh != value.end() && refresh->is_string()) {
    tokens.refresh_token = refresh->get<std::string>();
  }
  // A negative or fractional lifetime is ignored, which leaves the token "expired" and makes
  // the next connection refresh it rather than trust a made-up lifetime.
  if (auto expires = value.find("expires_in");
      expires != value.end() && expires->is_number_unsigned()) {
    tokens.expires_in = expires->get<std::uint64_t>();
  }
  return tokens;
}

std::uint64_t unix_now() {
  const auto since = std::chrono::system_clock::now().time_since_epoch();
  const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(since).count();
  return seconds < 0 ? 0 : static_cast<std::uint64_t>(seconds);
}

bool access_token_expired(const OAuthTokens& tokens, std::uint64_t now) {
  if (tokens.expires_in == 0) return true;
  return saturating_add(now, 60) >= saturating_add(tokens.obtained_at, tokens.expires_in);
}

}  // namespace mail::setup
