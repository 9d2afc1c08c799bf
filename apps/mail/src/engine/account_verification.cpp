#include "engine/account_verification.h"

#include <fmt/format.h>

#include <asio/co_spawn.hpp>
#include <asio/detached.hpp>
#include <asio/io_context.hpp>
#include <asio/steady_timer.hpp>
#include <asio/use_awaitable.hpp>
#include <exception>
#include <utility>

#include "engine/credentials.h"
#include "engine/imap_session.h"
#include "engine/smtp_submission.h"
#include "engine/tls_context.h"
#include "setup/oauth_tokens.h"
#include "vexa/accounts/accounts.h"
#include "vexa/utf8.h"

namespace mail::engine {
namespace {

using Clock = std::chrono::steady_clock;
constexpr auto kWatchInterval = std::chrono::milliseconds(50);

// The login the probes use. Unlike the worker's, it never refreshes an OAuth token: the sheet
// checks what sign-in stored.
std::expected<Credential, std::string> probe_credential(const AccountForm& form,
                                                        const VerificationOptions& options) {
  std::string login = login_name(form);
  if (form.auth == AuthMethod::Password) {
    if (form.password.empty()) {
      return std::unexpected(std::string("enter a password to verify the account"));
    }
    return Credential{Credential::Password, std::move(login), form.password};
  }
  auto vault = options.vault_dir ? vexa::accounts::SecretVault::open_in(*options.vault_dir)
                                 : vexa::accounts::SecretVault::open();
  if (!vault) return std::unexpected(vault.error());
  const std::optional<std::string> stored = vault->get(form.email);
  if (!stored) return std::unexpected(std::string("sign in first — no OAuth token stored yet"));
  std::optional<setup::OAuthTokens> tokens = setup::parse_oauth_tokens(*stored);
  if (!tokens) return std::unexpected(std::string("stored credential is not an OAuth token"));
  if (tokens->access_token.empty()) {
    return std::unexpected(std::string("stored OAuth token is empty; sign in again"));
  }
  return Credential{Credential::OAuth, std::move(login), std::move(tokens->access_token)};
}

// The IMAP login on a runtime of its own, raced against the cancel flag and the bound. Whoever
// finishes first stops the runtime; what is still pending is destroyed with it, which closes
// the connection however far it got.
std::optional<VerificationResult> imap_probe(const StoredConfig& config,
                                             const Credential& credential,
                                             const std::atomic<bool>& cancel,
                                             const VerificationOptions& options) {
  try {
    asio::ssl::context tls = make_tls_context(vexa::net::client_config());
    std::optional<VerificationResult> outcome;
    asio::io_context io(1);
    auto finish = [&](VerificationResult result) {
      if (outcome) return;
      outcome = std::move(result);
      io.stop();
    };
    const ImapSettings settings{.tls = &tls, .timeout = options.step_timeout, .build_executor = {}};
    asio::co_spawn(
        io,
        [&]() -> asio::awaitable<void> {
          auto session = co_await ImapSession::open(config, credential, settings);
          if (!session) {
            finish(std::unexpected(session.error()));
            co_return;
          }
          co_await session->close();
          finish({});
        },
        asio::detached);
    const Clock::time_point deadline = Clock::now() + options.probe_bound;
    asio::co_spawn(
        io,
        [&]() -> asio::awaitable<void> {
          asio::steady_timer timer(io);
          for (;;) {
            if (cancel.load()) {
              finish(std::unexpected(std::string(kProbeCancelled)));
              co_return;
            }
            const Clock::time_point now = Clock::now();
            if (now >= deadline) {
              finish(std::unexpected(std::string(kProbeTimedOut)));
              co_return;
            }
            timer.expires_after(std::min<Clock::duration>(kWatchInterval, deadline - now));
            co_await timer.async_wait(asio::use_awaitable);
          }
        },
        asio::detached);
    io.run();
    return outcome;
  } catch (const std::exception&) {
    // No runtime (no threads, no memory, no TLS library): no result at all.
    return std::nullopt;
  }
}

}  // namespace

std::optional<VerificationResult> verify_account(const AccountForm& form,
                                                 const std::atomic<bool>& cancel,
                                                 const VerificationOptions& options) {
  if (cancel.load()) return std::unexpected(std::string(kProbeCancelled));
  const std::vector<FieldError> errors = validate(form);
  if (!errors.empty()) return std::unexpected(errors.front().message);

  const StoredConfig config = config_from_form(form);
  auto credential = probe_credential(form, options);

  std::optional<VerificationResult> imap;
  if (!credential) {
    imap = std::unexpected(credential.error());
  } else {
    imap = imap_probe(config, *credential, cancel, options);
    if (!imap) return std::nullopt;
  }
  if (!*imap) return std::unexpected(fmt::format("IMAP login failed: {}", imap->error()));

  const SmtpOptions smtp{.tls = vexa::net::client_config(), .step_timeout = options.step_timeout};
  const ProbeControl control{.cancel = &cancel, .deadline = Clock::now() + options.probe_bound};
  if (auto sent = verify_smtp_login(config, *credential, smtp, control); !sent) {
    return std::unexpected(fmt::format("SMTP handshake failed: {}", sent.error()));
  }
  return VerificationResult{};
}

std::expected<VerificationTask, std::string> start_verification(AccountForm form,
                                                                VerificationOptions options) {
  return VerificationTask::spawn(
      "mail-account-validation",
      [form = std::move(form), options = std::move(options)](const std::atomic<bool>& cancel) {
        return verify_account(form, cancel, options);
      });
}

}  // namespace mail::engine
