// The live backend's outcomes that need no mail server: input refused before any traffic, and
// the bounded waits against loopback peers that refuse or never speak. Real-server paths are
// covered by the integration tests.
#include "engine/live_backend.h"

#include <gtest/gtest.h>
#include <loopback_listener.h>
#include <stdlib.h>

#include <chrono>
#include <functional>
#include <string>
#include <vector>

#include "engine/worker.h"

namespace mail::engine {
namespace {

using namespace std::chrono_literals;

StoredConfig account() {
  StoredConfig c;
  c.display_name = "Ana";
  c.email = "ana@example.com";
  c.imap_host = "127.0.0.1";
  c.smtp_host = "127.0.0.1";
  c.secret = "pw";
  return c;
}

std::vector<WorkerEvent> run_one(WorkerHandle& worker, WorkerCommand command) {
  EXPECT_TRUE(worker.commands.send(std::move(command)));
  std::vector<WorkerEvent> out;
  while (auto event = worker.events.recv()) {
    out.push_back(std::move(*event));
    if (std::holds_alternative<Finished>(out.back())) break;
  }
  return out;
}

struct RefusedCase {
  std::string name;
  std::function<WorkerCommand()> command;
  std::string label;
  std::string message_prefix;
};

TEST(LiveBackend, RefusesBadInputBeforeAnyTraffic) {
  ::unsetenv("VEXA_MAIL_GOOGLE_CLIENT_ID");
  const std::vector<RefusedCase> cases = {
      {"empty IMAP host",
       [] {
         auto c = account();
         c.imap_host = "  ";
         return make_connect(c);
       },
       "connect", "no IMAP host"},
      {"no password",
       [] {
         auto c = account();
         c.secret.clear();
         return make_sync_folder(c, FolderRole::Inbox);
       },
       "fetch", "no password set for this account"},
      {"host unusable as a TLS name",
       [] {
         auto c = account();
         c.imap_host = "mail server.example";
         return make_move_message(c, MailMessage{}, FolderRole::Archive);
       },
       "move", "invalid IMAP host name: "},
      {"empty SMTP host",
       [] {
         auto c = account();
         c.smtp_host = "";
         DraftData d;
         d.to = "bo@example.com";
         return make_send(c, d);
       },
       "smtp", "no SMTP host"},
      {"no recipients",
       [] {
         DraftData d;
         d.to = "nobody; , not an address";
         return make_send(account(), d);
       },
       "smtp", "no valid recipients"},
      {"OAuth client id unset",
       [] { return make_oauth_sign_in("ana@gmail.com", OAuthProvider::Google); }, "oauth",
       "set VEXA_MAIL_GOOGLE_CLIENT_ID to sign in"},
  };
  auto backend = make_live_backend();
  ASSERT_TRUE(backend.has_value()) << backend.error();
  WorkerHandle worker = start_worker(std::move(*backend));
  for (const RefusedCase& c : cases) {
    SCOPED_TRACE(c.name);
    WorkerCommand command = c.command();
    const std::uint8_t command_kind = kind(command);
    std::vector<WorkerEvent> events = run_one(worker, std::move(command));
    ASSERT_EQ(events.size(), 2u);
    const Failed& failed = std::get<Failed>(events[0]);
    EXPECT_EQ(failed.label, c.label);
    EXPECT_TRUE(failed.message.starts_with(c.message_prefix)) << failed.message;
    EXPECT_EQ(std::get<Finished>(events[1]).command_kind, command_kind);
  }
}

TEST(LiveBackend, LoopbackPeersThatRefuseOrStallEndWithinTheBound) {
  auto backend = make_live_backend(LiveOptions{.timeout = 300ms});
  ASSERT_TRUE(backend.has_value()) << backend.error();
  WorkerHandle worker = start_worker(std::move(*backend));

  // Nobody listens on a port whose listener was just closed.
  vexa::testing::LoopbackListener closed = vexa::testing::listen_loopback(1);
  ::close(closed.fd);
  // This one accepts (the kernel completes the handshake) but never says anything.
  vexa::testing::LoopbackListener silent = vexa::testing::listen_loopback(4);

  struct Case {
    std::uint16_t port;
    std::string expected;
  };
  for (const Case& c : {Case{closed.port, "connection refused — check the host and port"},
                        Case{silent.port, "connection timed out — the server didn't respond"}}) {
    auto config = account();
    config.imap_port = c.port;
    const auto started = std::chrono::steady_clock::now();
    std::vector<WorkerEvent> events = run_one(worker, make_connect(config));
    EXPECT_LT(std::chrono::steady_clock::now() - started, 5s);
    ASSERT_EQ(events.size(), 2u);
    EXPECT_EQ(std::get<Failed>(events[0]).message, c.expected);
  }
  ::close(silent.fd);
}

}  // namespace
}  // namespace mail::engine
