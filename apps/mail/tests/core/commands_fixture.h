#pragma once
// The root over the sample mailbox with a recording worker channel and a document on disk, driven
// through its input and semantic entry points as the hosts drive it.
#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "core/mail_app.h"
#include "scenes/scenes.h"
#include "mailbox/conversations.h"
#include "store/mail_document.h"
#include "temp_dir.h"

namespace mail::core::testing {

// The real document, whose commits can be made to fail as on a full disk.
class CommitSwitch final : public vexa::persist::Document {
 public:
  explicit CommitSwitch(std::unique_ptr<vexa::persist::Document> inner)
      : inner_(std::move(inner)) {}
  std::optional<std::string> failure;  // set: every commit fails with this text

  using NodeId = vexa::persist::NodeId;
  std::optional<vexa::persist::Kind> kind(NodeId n) const override { return inner_->kind(n); }
  std::optional<NodeId> get(NodeId m, std::string_view k) const override {
    return inner_->get(m, k);
  }
  std::vector<std::string> keys(NodeId m) const override { return inner_->keys(m); }
  std::vector<NodeId> elements(NodeId l) const override { return inner_->elements(l); }
  std::optional<std::string> string_value(NodeId n) const override {
    return inner_->string_value(n);
  }
  std::optional<bool> bool_value(NodeId n) const override { return inner_->bool_value(n); }
  NodeId put_map(NodeId m, std::string_view k) override { return inner_->put_map(m, k); }
  NodeId put_list(NodeId m, std::string_view k) override { return inner_->put_list(m, k); }
  void put_string(NodeId m, std::string_view k, std::string_view v) override {
    inner_->put_string(m, k, v);
  }
  void put_bool(NodeId m, std::string_view k, bool v) override { inner_->put_bool(m, k, v); }
  void remove(NodeId m, std::string_view k) override { inner_->remove(m, k); }
  void list_push_string(NodeId l, std::string_view v) override { inner_->list_push_string(l, v); }
  void list_remove(NodeId l, std::size_t i) override { inner_->list_remove(l, i); }
  std::uint64_t revision() const override { return inner_->revision(); }
  bool has_pending_changes() const override { return inner_->has_pending_changes(); }
  std::expected<void, std::string> commit() override {
    if (failure) return std::unexpected(*failure);
    return inner_->commit();
  }
  void discard_pending() override { inner_->discard_pending(); }
  nlohmann::json to_json() const override { return inner_->to_json(); }

 private:
  std::unique_ptr<vexa::persist::Document> inner_;
};

struct CommandsFixture : ::testing::Test {
  void SetUp() override {
    dir = temp.path();
    setenv("XDG_CONFIG_HOME", dir.c_str(), 1);
    auto [cmd_tx, cmd_rx] = vexa::make_channel<engine::WorkerCommand>();
    auto [ev_tx, ev_rx] = vexa::make_channel<engine::WorkerEvent>();
    commands = std::move(cmd_rx);
    events = ev_tx;
    engine::WorkerHandle handle;
    handle.commands = cmd_tx;
    handle.events = std::move(ev_rx);
    state = sample_state();
    app = std::make_unique<MailApp>(state, std::move(handle),
                                    PersistenceLocation{PersistenceLocation::Kind::Directory, dir});
    auto opened = vexa::persist::open_file(dir / "document.sqlite3");
    ASSERT_TRUE(opened.has_value()) << opened.error();
    auto wrapped = std::make_unique<CommitSwitch>(std::move(*opened));
    disk = wrapped.get();
    doc = std::move(wrapped);
    ctx.now = vexa::ui::Clock::now();
    ctx.window = {1280, 800};
    app->sync(*doc, ctx);
    sent();  // the first frame's Connect and SyncFolder
    state->clear_status();
  }
  void TearDown() override {
    app.reset();
    doc.reset();
  }

  vexa::ui::EventResult key(std::string name, bool shift = false, bool ctrl = false) {
    vexa::ui::KeyEvent e;
    e.key = std::move(name);
    e.modifiers.shift = shift;
    e.modifiers.ctrl = ctrl;
    if (e.key.size() == 1 && !ctrl) e.text = e.key;
    auto result = app->handle_event(e, *doc);
    e.pressed = false;
    e.text.clear();
    app->handle_event(e, *doc);
    return result;
  }
  vexa::ui::EventResult press(double x, double y,
                              vexa::ui::PointerButton button = vexa::ui::PointerButton::Primary) {
    vexa::ui::PointerEvent e;
    e.type = vexa::ui::PointerEvent::Type::Press;
    e.x = x;
    e.y = y;
    e.button = button;
    return app->handle_event(e, *doc);
  }
  bool semantic(const std::string& id, std::string_view action = "activate") {
    return app->perform_semantic_action(id, action, *doc);
  }

  // Commands the worker received since the last call.
  std::vector<engine::WorkerCommand> sent() {
    std::vector<engine::WorkerCommand> out;
    std::optional<engine::WorkerCommand> c;
    while (commands.try_recv(c) == vexa::TryRecv::Value) out.push_back(std::move(*c));
    return out;
  }
  std::vector<std::uint8_t> sent_kinds() {
    std::vector<std::uint8_t> kinds;
    for (const auto& c : sent()) kinds.push_back(engine::kind(c));
    return kinds;
  }

  MessageId id_of(std::string_view subject) const {
    MessageId found{};
    state->messages.for_each([&](const MailMessage& m) {
      if (m.subject == subject) found = m.id;
    });
    EXPECT_NE(found, MessageId{}) << subject;
    return found;
  }
  const MailMessage& message(const MessageId& id) const { return *state->messages.find(id); }
  std::string key_of(const MessageId& id) const { return store::message_key(id); }

  vexa::testing::TempDir temp{"vexa-commands-test"};
  std::filesystem::path dir;
  vexa::Receiver<engine::WorkerCommand> commands;
  vexa::Sender<engine::WorkerEvent> events;
  SharedState state;
  std::unique_ptr<MailApp> app;
  std::unique_ptr<vexa::persist::Document> doc;
  CommitSwitch* disk = nullptr;
  vexa::ui::FrameContext ctx;
};

inline constexpr std::string_view kNewestInbox = "Re: Team offsite in Lisbon: agenda draft";
inline constexpr std::string_view kInvite =
    "Invitation: Design review: onboarding flow @ Thu 23 May 10:00";
inline constexpr std::string_view kParcel = "Your order #58213 has shipped";
inline constexpr std::string_view kPromo = "Last chance: 20% off all cables";
inline constexpr std::string_view kStandup = "Standup moved to 9:45 today";

}  // namespace mail::core::testing
