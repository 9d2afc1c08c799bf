#include "setup/oauth.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdlib>
#include <utility>
#include <vector>

#include "mailbox/ascii_text.h"
#include "vexa/net/net.h"

namespace mail::setup {

namespace {

constexpr ProviderInfo kGoogle{
    .name = "Google",
    .client_id_variable = "VEXA_MAIL_GOOGLE_CLIENT_ID",
    .authorize_endpoint = "https://accounts.google.com/o/oauth2/v2/auth",
    .token_endpoint = "https://oauth2.googleapis.com/token",
    .scope = "https://mail.google.com/",
};

constexpr ProviderInfo kMicrosoft{
    .name = "Microsoft",
    .client_id_variable = "VEXA_MAIL_MICROSOFT_CLIENT_ID",
    .authorize_endpoint = "https://login.microsoftonline.com/common/oauth2/v2.0/authorize",
    .token_endpoint = "https://login.microsoftonline.com/common/oauth2/v2.0/token",
    .scope =
        "offline_access https://outlook.office.com/IMAP.AccessAsUser.All "
        "https://outlook.office.com/SMTP.Send",
};

constexpr std::array<std::string_view, 2> kGoogleDomains = {"gmail.com", "googlemail.com"};
constexpr std::array<std::string_view, 5> kMicrosoftDomains = {
    "outlook.com", "hotmail.com", "live.com", "msn.com", "office365.com"};

constexpr auto kTokenTimeout = std::chrono::seconds(20);

using FormPairs = std::vector<std::pair<std::string, std::string>>;

// Posts the form and returns the body; the status is not examined because a rejection is
// recognised by the missing access token.
std::expected<std::string, std::string> post_token_form(OAuthProvider provider,
                                                        const std::optional<std::string>& endpoint,
                                                        const FormPairs& pairs) {
  auto client = vexa::net::http::blocking_client().timeout(kTokenTimeout).build();
  if (!client) return std::unexpected(client.error());
  const std::string url =
      endpoint ? *endpoint : std::string(provider_info(provider).token_endpoint);
  auto response = client->post_form(url, pairs);
  if (!response) return std::unexpected(response.error());
  return std::move(response->body);
}

}  // namespace

const ProviderInfo& provider_info(OAuthProvider provider) {
  return provider == OAuthProvider::Microsoft ? kMicrosoft : kGoogle;
}

std::optional<OAuthProvider> detect_provider(std::string_view email) {
  const auto at = email.find('@');
  if (at == std::string_view::npos) return std::nullopt;
  const std::string domain = ascii_lower(email.substr(at + 1));
  auto listed = [&](const auto& list) {
    return std::find(list.begin(), list.end(), domain) != list.end();
  };
  if (listed(kGoogleDomains)) return OAuthProvider::Google;
  if (listed(kMicrosoftDomains)) return OAuthProvider::Microsoft;
  return std::nullopt;
}

std::string_view client_id_variable(OAuthProvider provider) {
  return provider_info(provider).client_id_variable;
}

std::optional<std::string> client_id(OAuthProvider provider) {
  const std::string variable(client_id_variable(provider));
  const char* value = std::getenv(variable.c_str());
  if (value == nullptr || *value == '\0') return std::nullopt;
  return std::string(value);
}

std::expected<OAuthTokens, std::string> refresh(OAuthProvider provider, std::string_view client_id,
                                                std::string_view refresh_token,
                                                const std::optional<std::string>& token_endpoint) {
  auto body = post_token_form(provider, token_endpoint,
                              {{"grant_type", "refresh_token"},
                               {"client_id", std::string(client_id)},
                               {"refresh_token", std::string(refresh_token)}});
  if (!body) return std::unexpected(body.error());
  auto tokens = read_token_response(*body, unix_now());
  if (!tokens) return std::unexpected("token refresh rejected: " + *body);
  // Providers that do not rotate refresh tokens leave the member out: the old one stays valid.
  if (!tokens->refresh_token || tokens->refresh_token->empty()) {
    tokens->refresh_token = std::string(refresh_token);
  }
  return std::move(*tokens);
}

std::expected<OAuthTokens, std::string> exchange_code(
    OAuthProvider provider, std::string_view client_id, std::string_view redirect_uri,
    std::string_view code, std::string_view code_verifier,
    const std::optional<std::string>& token_endpoint) {
  auto body = post_token_form(provider, token_endpoint,
                              {{"grant_type", "authorization_code"},
                               {"client_id", std::string(client_id)},
                               {"redirect_uri", std::string(redirect_uri)},
                               {"code", std::string(code)},
                               {"code_verifier", std::string(code_verifier)}});
  if (!body) return std::unexpected(body.error());
  auto tokens = read_token_response(*body, unix_now());
  if (!tokens) return std::unexpected("token endpoint rejected exchange: " + *body);
  return std::move(*tokens);
}

}  // namespace mail::setup
