// The root's side of the worker conversation: which replies are accepted, what each does to the
// state and the status line, and the busy flag.
#include "core/mail_core.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "engine/offline_backend.h"
#include "store/mail_document.h"
#include "temp_dir.h"
#include "vexa/log.h"

namespace mail::core {
namespace {

using namespace mail::engine;

StoredConfig account_config() {
  StoredConfig c;
  c.display_name = "Ada";
  c.email = "ada@example.com";
  c.imap_host = "imap.example.com";
  c.smtp_host = "smtp.example.com";
  c.secret = "pw";
  return c;
}

MailMessage message(std::uint8_t n, std::int64_t time, bool seen = false) {
  MailMessage m;
  m.id[15] = n;
  m.time = time;
  m.seen = seen;
  m.subject = "s" + std::to_string(n);
  m.message_id = "m" + std::to_string(n) + "@example.com";
  return m;
}

// A worker whose events the test writes itself: the command channel's receiver is kept so
// that submit succeeds, and the test feeds the event channel directly.
struct Fixture : ::testing::Test {
  void SetUp() override {
    config_home = temp.path();
    setenv("XDG_CONFIG_HOME", config_home.c_str(), 1);
    auto [cmd_tx, cmd_rx] = vexa::make_channel<WorkerCommand>();
    auto [ev_tx, ev_rx] = vexa::make_channel<WorkerEvent>();
    commands = std::move(cmd_rx);
    events = ev_tx;
    WorkerHandle handle;
    handle.commands = cmd_tx;
    handle.events = std::move(ev_rx);
    state = std::make_shared<MailState>();
    state->accounts.push_back(
        AccountSlot{store::AccountEntry{"ada@example.com", account_config(), true, false}});
    core = std::make_unique<MailCore>(state, std::move(handle), PersistenceLocation{});
    doc = vexa::persist::open_memory();
    log_token =
        vexa::log::add_sink([this](const vexa::log::Event& e) { logs.push_back(e.message); });
  }
  void TearDown() override { vexa::log::remove_sink(log_token); }

  RequestId submit(WorkerCommand command) {
    auto id = core->submit(std::move(command));
    EXPECT_TRUE(id.has_value());
    return *id;
  }

  vexa::testing::TempDir temp{"vexa-core-test"};
  std::filesystem::path config_home;
  vexa::Receiver<WorkerCommand> commands;
  vexa::Sender<WorkerEvent> events;
  SharedState state;
  std::unique_ptr<MailCore> core;
  std::unique_ptr<vexa::persist::Document> doc;
  std::vector<std::string> logs;
  int log_token = 0;
};

TEST_F(Fixture, SyncedStatusCountsWithoutSingular) {
  struct Case {
    std::size_t records;
    const char* status;
  };
  for (const Case& c : std::vector<Case>{
           {0, "Inbox up to date"}, {1, "Synced 1 messages"}, {12, "Synced 12 messages"}}) {
    auto id = submit(make_sync_folder(account_config(), FolderRole::Inbox));
    std::vector<MailMessage> batch;
    for (std::size_t i = 0; i < c.records; ++i)
      batch.push_back(message(static_cast<std::uint8_t>(i + 1), 100 + i));
    core->apply_events({Synced{FolderRole::Inbox, id, "ada@example.com", batch}, Finished{1, id}},
                       *doc);
    EXPECT_EQ(state->status, c.status);
    EXPECT_FALSE(core->busy());
  }
}

TEST_F(Fixture, SyncedSelectsTopConversationOnlyForCurrentFolder) {
  auto id = submit(make_sync_folder(account_config(), FolderRole::Archive));
  auto archived = message(1, 10);
  archived.folder = FolderRole::Archive;
  core->apply_events({Synced{FolderRole::Archive, id, "ada@example.com", {archived}}}, *doc);
  EXPECT_FALSE(state->selected_message.has_value());

  auto id2 = submit(make_sync_folder(account_config(), FolderRole::Inbox));
  core->apply_events(
      {Synced{FolderRole::Inbox, id2, "ada@example.com", {message(2, 10), message(3, 20)}}}, *doc);
  EXPECT_EQ(state->selected_message, message(3, 20).id);
  // Fetched values are recorded in the document as present.
  EXPECT_TRUE(store::is_present(*doc, uuid_text(message(2, 10).id)));
  EXPECT_TRUE(core->busy());
}

TEST_F(Fixture, UnmatchedOrWrongKindEventsAreDropped) {
  auto id = submit(make_connect(account_config()));
  core->apply_events({Synced{FolderRole::Inbox, id, "ada@example.com", {message(1, 1)}}}, *doc);
  EXPECT_EQ(state->messages.size(), 0u);
  core->apply_events({Finished{0, id}}, *doc);
  EXPECT_FALSE(core->busy());
  auto before = state->status;
  core->apply_events({Connected{id, "ada@example.com"}}, *doc);
  EXPECT_EQ(state->status, before);
  EXPECT_EQ(
      std::count(logs.begin(), logs.end(), "mail: ignoring unmatched or wrong-kind engine event"),
      2);
}

TEST_F(Fixture, FailedSetsLabelledStatusAndClassifiesAccount) {
  struct Case {
    const char* message;
    const char* state;
  };
  for (const Case& c : std::vector<Case>{{"Wrong PASSWORD given", "needs_authentication"},
                                         {"connection timeout", "failed"}}) {
    auto id = submit(make_sync_folder(account_config(), FolderRole::Inbox));
    core->apply_events({Failed{1, id, "fetch", c.message}, Finished{1, id}}, *doc);
    EXPECT_EQ(*state->status, std::string("fetch: ") + c.message);
    auto status =
        nlohmann::json::parse(std::ifstream(config_home / "vexa/accounts/sync-status.json"));
    EXPECT_EQ(status["ada@example.com"]["state"], c.state);
  }
}

TEST_F(Fixture, ClosedWorkerReportsUnavailableAndStaysIdle) {
  commands.reset();
  EXPECT_FALSE(core->submit(make_connect(account_config())).has_value());
  EXPECT_EQ(state->status, "Mail worker is unavailable");
  EXPECT_FALSE(core->busy());
}

TEST_F(Fixture, SecondSendWhileInFlightSubmitsNothing) {
  core->composer().draft.to = "bob@example.org";
  core->composer().draft.subject = "Hi";
  core->send(*doc);
  EXPECT_EQ(state->status, "Sending…");
  ASSERT_TRUE(core->in_flight().has_value());
  core->send(*doc);
  EXPECT_EQ(state->status, "Message is still sending…");
  EXPECT_EQ(core->pending_count(), 1u);

  auto id = core->in_flight()->request_id;
  core->apply_events({Delivered{id, 321}, Finished{5, id}}, *doc);
  EXPECT_EQ(state->status, "Delivered (321 bytes)");
  EXPECT_FALSE(core->in_flight().has_value());
  ASSERT_EQ(state->messages.size(), 1u);
  EXPECT_EQ(state->messages.find(state->messages.order()[0])->folder, FolderRole::Sent);
}

TEST_F(Fixture, FailedSendKeepsComposerContent) {
  core->composer().draft.to = "bob@example.org";
  core->send(*doc);
  auto id = core->in_flight()->request_id;
  core->apply_events({Failed{5, id, "smtp", "no route"}, Finished{5, id}}, *doc);
  EXPECT_FALSE(core->in_flight().has_value());
  EXPECT_EQ(core->composer().draft.to, "bob@example.org");
  EXPECT_EQ(state->status, "smtp: no route");
}

TEST_F(Fixture, AutomationRefreshIsRefusedWhileBusyAndReported) {
  std::optional<AutomationOutcome> outcome;
  ASSERT_TRUE(core->automation_refresh([&](AutomationOutcome o) { outcome = o; }).has_value());
  EXPECT_EQ(core->automation_refusal(), "a mail operation is already running");
  std::optional<WorkerCommand> sent;
  ASSERT_EQ(commands.try_recv(sent), vexa::TryRecv::Value);
  auto id = request_id(*sent);
  core->apply_events({Failed{1, id, "fetch", "boom"}, Finished{1, id}}, *doc);
  ASSERT_TRUE(outcome.has_value());
  EXPECT_FALSE(outcome->ok);
  EXPECT_EQ(outcome->code, "mail.refresh_failed");
  EXPECT_FALSE(core->automation_refusal().has_value());
}

}  // namespace
}  // namespace mail::core
