#include "engine/worker.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <pthread.h>
#include <vexa/log.h>

#include <future>
#include <stdexcept>
#include <string>
#include <vector>

namespace mail::engine {
namespace {

using ::testing::ElementsAre;

std::vector<WorkerEvent> events_until_finished(vexa::Receiver<WorkerEvent>& events) {
  std::vector<WorkerEvent> out;
  while (std::optional<WorkerEvent> e = events.recv()) {
    out.push_back(std::move(*e));
    if (std::holds_alternative<Finished>(out.back())) break;
  }
  return out;
}

// Answers Connect like a healthy server, throws for SyncFolder, blocks StoreFlags until
// released, and records the thread it runs on.
class ScriptedBackend : public MailBackend {
 public:
  explicit ScriptedBackend(std::shared_future<void> release) : release_(std::move(release)) {}
  void handle(WorkerCommand command, const vexa::Sender<WorkerEvent>& events) override {
    char name[32] = {};
    pthread_getname_np(pthread_self(), name, sizeof name);
    if (auto* c = std::get_if<Connect>(&command)) {
      events.send(Connected{c->request_id, std::string(name)});
      events.send(FoldersListed{c->request_id, c->config.email, {{"INBOX", "/", {}}}});
    } else if (std::holds_alternative<SyncFolder>(command)) {
      throw std::runtime_error("socket went away");
    } else if (std::holds_alternative<StoreFlags>(command)) {
      release_.wait();
    }
  }

 private:
  std::shared_future<void> release_;
};

StoredConfig account() {
  StoredConfig c;
  c.display_name = "Ana Lima";
  c.email = "ana@example.com";
  return c;
}

TEST(Worker, EveryCommandEndsWithOneFinishedAfterItsEvents) {
  std::promise<void> release;
  release.set_value();
  WorkerHandle worker =
      start_worker(std::make_unique<ScriptedBackend>(release.get_future().share()));

  WorkerCommand connect = make_connect(account());
  const RequestId connect_id = request_id(connect);
  WorkerCommand sync = make_sync_folder(account(), FolderRole::Sent);
  const RequestId sync_id = request_id(sync);
  WorkerCommand flags = make_store_flags(account(), MailMessage{});
  const RequestId flags_id = request_id(flags);
  ASSERT_TRUE(worker.commands.send(std::move(connect)));
  ASSERT_TRUE(worker.commands.send(std::move(sync)));
  ASSERT_TRUE(worker.commands.send(std::move(flags)));

  std::vector<WorkerEvent> first = events_until_finished(worker.events);
  ASSERT_EQ(first.size(), 3u);
  EXPECT_EQ(tag(first[0]), 0);
  EXPECT_EQ(std::get<Connected>(first[0]).email, "mail-engine");  // the worker thread's name
  EXPECT_EQ(tag(first[1]), 1);
  EXPECT_EQ(std::get<Finished>(first[2]).command_kind, 0);
  for (const WorkerEvent& e : first) EXPECT_EQ(request_id(e), connect_id);

  // A failure inside a command is one Failed, and the worker carries on.
  std::vector<WorkerEvent> second = events_until_finished(worker.events);
  ASSERT_EQ(second.size(), 2u);
  const Failed& failed = std::get<Failed>(second[0]);
  EXPECT_EQ(failed.command_kind, 1);
  EXPECT_EQ(failed.request_id, sync_id);
  EXPECT_EQ(failed.label, "fetch");
  EXPECT_EQ(failed.message, "socket went away");
  EXPECT_EQ(std::get<Finished>(second[1]).request_id, sync_id);

  std::vector<WorkerEvent> third = events_until_finished(worker.events);
  ASSERT_EQ(third.size(), 1u);
  EXPECT_EQ(std::get<Finished>(third[0]).command_kind, 2);
  EXPECT_EQ(std::get<Finished>(third[0]).request_id, flags_id);
}

TEST(Worker, DroppingTheSenderFinishesTheCommandInHandThenEnds) {
  std::promise<void> release;
  WorkerHandle worker =
      start_worker(std::make_unique<ScriptedBackend>(release.get_future().share()));
  WorkerCommand flags = make_store_flags(account(), MailMessage{});
  const RequestId id = request_id(flags);
  ASSERT_TRUE(worker.commands.send(std::move(flags)));
  ASSERT_TRUE(worker.commands.send(make_connect(account())));  // queued behind, still handled
  worker.commands.reset();
  release.set_value();

  std::vector<WorkerEvent> all;
  while (std::optional<WorkerEvent> e = worker.events.recv()) all.push_back(std::move(*e));
  // The event channel closes only when the worker's loop has returned.
  ASSERT_EQ(all.size(), 4u);
  EXPECT_EQ(request_id(all[0]), id);
  EXPECT_TRUE(std::holds_alternative<Finished>(all[3]));
  EXPECT_TRUE(worker.shutdown(std::chrono::milliseconds(1000)));
}

TEST(Worker, ShutdownDoesNotWaitForeverOnAStuckCommand) {
  std::promise<void> release;
  auto worker = std::make_unique<WorkerHandle>(
      start_worker(std::make_unique<ScriptedBackend>(release.get_future().share())));
  ASSERT_TRUE(worker->commands.send(make_store_flags(account(), MailMessage{})));
  EXPECT_FALSE(worker->shutdown(std::chrono::milliseconds(50)));
  worker.reset();
  release.set_value();  // the detached worker ends by itself
}

TEST(Worker, DefaultWorkerFallsBackToOfflineWithAWarning) {
  std::vector<vexa::log::Event> seen;
  int token = vexa::log::add_sink([&](const vexa::log::Event& e) { seen.push_back(e); });
  WorkerHandle worker = start_default_worker(
      []() -> std::expected<std::unique_ptr<MailBackend>, std::string> {
        return std::unexpected(std::string("no runtime"));
      });
  vexa::log::remove_sink(token);

  ASSERT_EQ(seen.size(), 1u);
  EXPECT_EQ(seen[0].target, "mail::engine");
  EXPECT_EQ(seen[0].level, vexa::log::Level::Warn);
  EXPECT_EQ(seen[0].message, "mail: live engine unavailable, using offline backend");
  bool has_error = false;
  for (const auto& [key, value] : seen[0].fields) has_error |= key == "error" && !value.empty();
  EXPECT_TRUE(has_error);

  ASSERT_TRUE(worker.commands.send(make_connect(account())));
  std::vector<WorkerEvent> events = events_until_finished(worker.events);
  ASSERT_EQ(events.size(), 2u);
  EXPECT_EQ(std::get<Failed>(events[0]).label, "offline");
  EXPECT_EQ(std::get<Finished>(events[1]).command_kind, 0);
}

TEST(WorkerProtocol, ConstructorsDrawFreshVersion4Ids) {
  WorkerCommand a = make_oauth_sign_in("ana@example.com", OAuthProvider::Microsoft);
  WorkerCommand b = make_oauth_sign_in("ana@example.com", OAuthProvider::Microsoft);
  EXPECT_EQ(kind(a), 6);
  EXPECT_NE(request_id(a), request_id(b));
  EXPECT_EQ(request_id(a)[6] >> 4, 4);
  EXPECT_EQ(request_id(a)[8] >> 6, 2);
  const OAuthSignIn& sign_in = std::get<OAuthSignIn>(a);
  EXPECT_EQ(sign_in.account_key, "ana@example.com");
  EXPECT_EQ(sign_in.login_hint, "ana@example.com");
  EXPECT_EQ(sign_in.provider, OAuthProvider::Microsoft);

  const std::vector<std::pair<WorkerCommand, std::uint8_t>> kinds = {
      {make_connect(account()), 0},
      {make_sync_folder(account(), FolderRole::Junk), 1},
      {make_store_flags(account(), {}), 2},
      {make_move_message(account(), {}, FolderRole::Archive), 3},
      {make_purge_message(account(), {}), 4},
      {make_send(account(), {}), 5},
  };
  for (const auto& [command, code] : kinds) EXPECT_EQ(kind(command), code);
}

}  // namespace
}  // namespace mail::engine
