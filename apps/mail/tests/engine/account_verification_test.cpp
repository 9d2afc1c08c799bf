#include "engine/account_verification.h"

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <unistd.h>

#include <thread>

#include "engine/smtp_submission.h"
#include "loopback_listener.h"
#include "temp_dir.h"
#include "vexa/accounts/accounts.h"

namespace mail::engine {
namespace {

using namespace std::chrono_literals;

// Accepts connections and never says a word: the server that stalls a probe.
class SilentServer {
 public:
  SilentServer() : listener_(vexa::testing::listen_loopback(8)) {}
  ~SilentServer() { ::close(listener_.fd); }
  std::uint16_t port() const { return listener_.port; }

 private:
  vexa::testing::LoopbackListener listener_;
};

AccountForm form_at(std::uint16_t imap_port, std::uint16_t smtp_port) {
  AccountForm form;
  form.email = "ada@example.test";
  form.username = "ada";
  form.password = "secret";
  form.imap_host = "127.0.0.1";
  form.imap_port = imap_port;
  form.smtp_host = "127.0.0.1";
  form.smtp_port = smtp_port;
  return form;
}

TEST(AccountVerification, ChecksTheFormAndTheCredentialBeforeAnyConnection) {
  vexa::testing::TempDir vault_dir;
  {
    auto vault = vexa::accounts::SecretVault::open_in(vault_dir.path());
    ASSERT_TRUE(vault.has_value());
    vault->put("plain@example.test", "a password, not a token");
    vault->put("empty@example.test", R"({"access_token":"","refresh_token":null})");
    ASSERT_TRUE(vault->try_save().has_value());
  }
  // Port 1 on loopback refuses: reaching the network would give another text.
  const struct {
    const char* name;
    void (*change)(AccountForm&);
    std::string want;
  } cases[] = {
      {"no @", [](AccountForm& f) { f.email = "ada"; }, "Enter a valid email address"},
      {"user name of spaces", [](AccountForm& f) { f.username = "  "; }, "Username is required"},
      {"no password", [](AccountForm& f) { f.password.clear(); },
       "IMAP login failed: enter a password to verify the account"},
      {"no token", [](AccountForm& f) { f.auth = AuthMethod::OAuth; },
       "IMAP login failed: sign in first — no OAuth token stored yet"},
      {"not a token",
       [](AccountForm& f) {
         f.auth = AuthMethod::OAuth;
         f.email = "plain@example.test";
       },
       "IMAP login failed: stored credential is not an OAuth token"},
      {"empty token",
       [](AccountForm& f) {
         f.auth = AuthMethod::OAuth;
         f.email = "empty@example.test";
       },
       "IMAP login failed: stored OAuth token is empty; sign in again"},
  };
  for (const auto& c : cases) {
    AccountForm form = form_at(1, 1);
    c.change(form);
    std::atomic<bool> cancel{false};
    auto result = verify_account(form, cancel, {.vault_dir = vault_dir.path()});
    ASSERT_TRUE(result.has_value()) << c.name;
    ASSERT_FALSE(result->has_value()) << c.name;
    EXPECT_EQ(result->error(), c.want) << c.name;
  }
  std::atomic<bool> cancelled{true};
  EXPECT_EQ(verify_account(form_at(1, 1), cancelled)->error(), "Account verification cancelled");
}

TEST(AccountVerification, AStalledServerIsLetGoOnCancelOrAtTheBound) {
  SilentServer imap;
  // The probe's single waits are far longer than the test: only the watcher can end it.
  const VerificationOptions patient{.probe_bound = 20s, .step_timeout = 20s};
  std::atomic<bool> cancel{false};
  std::thread raise([&] {
    std::this_thread::sleep_for(200ms);
    cancel.store(true);
  });
  auto cancelled = verify_account(form_at(imap.port(), 1), cancel, patient);
  raise.join();
  ASSERT_TRUE(cancelled.has_value());
  EXPECT_EQ(cancelled->error(), "IMAP login failed: Account verification cancelled");

  std::atomic<bool> never{false};
  auto bounded =
      verify_account(form_at(imap.port(), 1), never, {.probe_bound = 300ms, .step_timeout = 20s});
  ASSERT_TRUE(bounded.has_value());
  EXPECT_EQ(bounded->error(), "IMAP login failed: Account verification timed out");
}

TEST(AccountVerification, TheSmtpLoginCheckStopsOnCancelOrDeadline) {
  SilentServer smtp;
  StoredConfig config;
  config.smtp_host = "127.0.0.1";
  config.smtp_port = smtp.port();
  const Credential login{Credential::Password, "ada", "secret"};
  const SmtpOptions options{.tls = {}, .step_timeout = 20s};

  std::atomic<bool> cancel{false};
  std::thread raise([&] {
    std::this_thread::sleep_for(200ms);
    cancel.store(true);
  });
  auto cancelled = verify_smtp_login(config, login, options, {.cancel = &cancel});
  raise.join();
  EXPECT_EQ(cancelled.error(), "Account verification cancelled");

  auto bounded = verify_smtp_login(config, login, options,
                                   {.deadline = std::chrono::steady_clock::now() + 300ms});
  EXPECT_EQ(bounded.error(), "Account verification timed out");
}

}  // namespace
}  // namespace mail::engine
