#include "engine/credentials.h"

#include <fmt/format.h>

#include <string_view>

#include "mailbox/ascii_text.h"
#include "setup/oauth.h"
#include "vexa/accounts/accounts.h"

namespace mail::engine {

namespace {}  // namespace

std::expected<Credential, std::string> resolve_credential(const StoredConfig& config,
                                                          const CredentialSources& sources) {
  const auto username = trim_ascii(config.username);
  std::string login = username.empty() ? config.email : std::string(username);

  if (config.auth == AuthMethod::Password) {
    if (config.secret.empty()) {
      return std::unexpected(std::string("no password set for this account"));
    }
    return Credential{Credential::Password, std::move(login), config.secret};
  }

  auto vault = sources.vault_dir ? vexa::accounts::SecretVault::open_in(*sources.vault_dir)
                                 : vexa::accounts::SecretVault::open();
  if (!vault) return std::unexpected(vault.error());
  auto stored = vault->get(config.email);
  if (!stored) return std::unexpected(std::string("not signed in (no OAuth token in vault)"));
  auto tokens = setup::parse_oauth_tokens(*stored);
  if (!tokens) return std::unexpected(std::string("stored credential is not an OAuth token"));

  const std::uint64_t now = sources.now ? *sources.now : setup::unix_now();
  if (!setup::access_token_expired(*tokens, now)) {
    return Credential{Credential::OAuth, std::move(login), std::move(tokens->access_token)};
  }

  auto provider = setup::detect_provider(config.email);
  if (!provider) return std::unexpected(std::string("cannot refresh: unknown OAuth provider"));
  auto client_id = setup::client_id(*provider);
  if (!client_id) {
    return std::unexpected(
        fmt::format("set {} to refresh the token", setup::client_id_variable(*provider)));
  }
  if (!tokens->refresh_token || tokens->refresh_token->empty()) {
    return std::unexpected(std::string("access token expired and no refresh token; sign in again"));
  }

  auto fresh =
      setup::refresh(*provider, *client_id, *tokens->refresh_token, sources.token_endpoint);
  if (!fresh) return std::unexpected(fresh.error());
  if (!fresh->refresh_token || fresh->refresh_token->empty()) {
    fresh->refresh_token = tokens->refresh_token;
  }
  vault->put(config.email, setup::to_json_text(*fresh));
  if (auto saved = vault->try_save(); !saved) {
    return std::unexpected(
        fmt::format("could not save refreshed sign-in credentials: {}", saved.error()));
  }
  return Credential{Credential::OAuth, std::move(login), std::move(fresh->access_token)};
}

}  // namespace mail::engine
