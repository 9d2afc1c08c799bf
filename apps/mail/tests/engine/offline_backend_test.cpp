#include "engine/offline_backend.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/outgoing.h"

namespace mail::engine {
namespace {

StoredConfig account() {
  StoredConfig c;
  c.display_name = "Ana Lima";
  c.email = "ana@example.com";
  c.smtp_host = "smtp.example.com";
  return c;
}

DraftData deliverable_draft() {
  DraftData d;
  d.to = "ben@example.org";
  d.subject = "Hello";
  d.body = "Just checking in.";
  return d;
}

class OfflineWorker : public ::testing::Test {
 protected:
  // The answer to one command: exactly one Failed, then Finished, both for that command.
  Failed run(WorkerCommand command) {
    const std::uint8_t command_kind = kind(command);
    const RequestId id = request_id(command);
    EXPECT_TRUE(worker_.commands.send(std::move(command)));
    std::optional<WorkerEvent> first = worker_.events.recv();
    std::optional<WorkerEvent> second = worker_.events.recv();
    EXPECT_TRUE(first && std::holds_alternative<Failed>(*first));
    EXPECT_TRUE(second && std::holds_alternative<Finished>(*second));
    if (!first || !second || !std::holds_alternative<Failed>(*first) ||
        !std::holds_alternative<Finished>(*second)) {
      return {};
    }
    const Finished& finished = std::get<Finished>(*second);
    EXPECT_EQ(finished.command_kind, command_kind);
    EXPECT_EQ(finished.request_id, id);
    Failed failed = std::get<Failed>(*first);
    EXPECT_EQ(failed.command_kind, command_kind);
    EXPECT_EQ(failed.request_id, id);
    return failed;
  }

  WorkerHandle worker_ = start_worker(std::make_unique<OfflineBackend>());
};

TEST_F(OfflineWorker, AnswersEveryCommandWithItsExplanation) {
  struct Case {
    WorkerCommand command;
    std::string label;
    std::string message;
  };
  MailMessage message;
  message.subject = "Hi";
  std::vector<Case> cases;
  cases.push_back({make_connect(account()), "offline",
                   "IMAP is unavailable for ana@example.com; rebuild with the live mail backend "
                   "to connect"});
  cases.push_back({make_sync_folder(account(), FolderRole::Archive), "offline",
                   "Cannot refresh Archive for ana@example.com while IMAP is offline"});
  cases.push_back({make_store_flags(account(), message), "offline",
                   "Local change saved; it was not synchronized to IMAP"});
  cases.push_back({make_move_message(account(), message, FolderRole::Trash), "offline",
                   "Local change saved; it was not synchronized to IMAP"});
  cases.push_back({make_purge_message(account(), message), "offline",
                   "Local change saved; it was not synchronized to IMAP"});
  cases.push_back({make_oauth_sign_in("new@example.net", OAuthProvider::Google), "oauth",
                   "OAuth sign-in for new@example.net requires the live build"});
  for (Case& c : cases) {
    Failed failed = run(std::move(c.command));
    EXPECT_EQ(failed.label, c.label);
    EXPECT_EQ(failed.message, c.message);
  }
}

TEST_F(OfflineWorker, SendValidatesTheMessageItWouldHaveSent) {
  std::expected<std::string, std::string> built =
      assemble_outgoing(account(), deliverable_draft());
  ASSERT_TRUE(built) << built.error();
  Failed ok = run(make_send(account(), deliverable_draft()));
  EXPECT_EQ(ok.label, "send");
  // Date and Message-ID are fresh on every build, so compare the shape and a plausible size.
  const std::string prefix = "SMTP is offline; validated ";
  const std::string suffix = " MIME bytes locally but did not send";
  ASSERT_TRUE(ok.message.starts_with(prefix)) << ok.message;
  ASSERT_TRUE(ok.message.ends_with(suffix)) << ok.message;
  const std::string count =
      ok.message.substr(prefix.size(), ok.message.size() - prefix.size() - suffix.size());
  const long long bytes = std::stoll(count);
  EXPECT_NEAR(static_cast<double>(bytes), static_cast<double>(built->size()), 8.0);

  DraftData broken = deliverable_draft();
  broken.attachments.push_back(
      {"mail-attachment:blake3:not-a-hash", "plan.pdf", "application/pdf", 3});
  std::expected<std::string, std::string> refused =
      assemble_outgoing(account(), broken);
  ASSERT_FALSE(refused);
  Failed failed = run(make_send(account(), broken));
  EXPECT_EQ(failed.label, "send");
  EXPECT_EQ(failed.message, refused.error());
}

}  // namespace
}  // namespace mail::engine
