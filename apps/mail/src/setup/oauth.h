#pragma once
// OAuth providers (Google and Microsoft mail addresses), their client identifiers and endpoints,
// and the blocking token requests made on the mail worker thread.
#include <cstdint>
#include <expected>
#include <optional>
#include <string>
#include <string_view>

#include "setup/oauth_provider.h"
#include "setup/oauth_tokens.h"

namespace mail::setup {

struct ProviderInfo {
  std::string_view name;
  std::string_view client_id_variable;
  std::string_view authorize_endpoint;
  std::string_view token_endpoint;
  std::string_view scope;
};

const ProviderInfo& provider_info(OAuthProvider provider);

// Exact match of the lower-cased text after the first "@"; subdomains do not match.
std::optional<OAuthProvider> detect_provider(std::string_view email);

std::string_view client_id_variable(OAuthProvider provider);
// The environment variable's value; nullopt when it is unset or empty.
std::optional<std::string> client_id(OAuthProvider provider);

// `token_endpoint` replaces the provider's endpoint; tests point it at a loopback server.
std::expected<OAuthTokens, std::string> refresh(
    OAuthProvider provider, std::string_view client_id, std::string_view refresh_token,
    const std::optional<std::string>& token_endpoint = std::nullopt);

std::expected<OAuthTokens, std::string> exchange_code(
    OAuthProvider provider, std::string_view client_id, std::string_view redirect_uri,
    std::string_view code, std::string_view code_verifier,
    const std::optional<std::string>& token_endpoint = std::nullopt);

}  // namespace mail::setup
