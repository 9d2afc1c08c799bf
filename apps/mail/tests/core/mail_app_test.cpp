// The root's per-frame upkeep: first connection, status clearing, wake-ups, automatic refresh,
// reconciliation with the document and the welcome panel.
#include "core/mail_app.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "scenes/scenes.h"
#include "store/mail_document.h"
#include "temp_dir.h"

namespace mail::core {
namespace {

using namespace std::chrono_literals;
using engine::WorkerCommand;
using engine::WorkerEvent;

StoredConfig account_config() {
  StoredConfig c;
  c.email = "ada@example.com";
  c.imap_host = "imap.example.com";
  c.smtp_host = "smtp.example.com";
  return c;
}

struct AppFixture : ::testing::Test {
  void SetUp() override {
    dir = temp.path();
    setenv("XDG_CONFIG_HOME", dir.c_str(), 1);
    auto [cmd_tx, cmd_rx] = vexa::make_channel<WorkerCommand>();
    auto [ev_tx, ev_rx] = vexa::make_channel<WorkerEvent>();
    commands = std::move(cmd_rx);
    events = ev_tx;
    engine::WorkerHandle handle;
    handle.commands = cmd_tx;
    handle.events = std::move(ev_rx);
    state = std::make_shared<MailState>();
    state->accounts.push_back(
        AccountSlot{store::AccountEntry{"ada@example.com", account_config(), true, false}});
    app = std::make_unique<MailApp>(state, std::move(handle),
                                    PersistenceLocation{PersistenceLocation::Kind::Directory, dir});
    doc = vexa::persist::open_memory();
    ctx.now = vexa::ui::Clock::now();
  }

  void frame(std::chrono::milliseconds advance = 0ms) {
    ctx.now += advance;
    app->sync(*doc, ctx);
  }
  std::vector<std::uint8_t> sent_kinds() {
    std::vector<std::uint8_t> kinds;
    std::optional<WorkerCommand> c;
    while (commands.try_recv(c) == vexa::TryRecv::Value) kinds.push_back(engine::kind(*c));
    return kinds;
  }

  vexa::testing::TempDir temp{"vexa-app-test"};
  std::filesystem::path dir;
  vexa::Receiver<WorkerCommand> commands;
  vexa::Sender<WorkerEvent> events;
  SharedState state;
  std::unique_ptr<MailApp> app;
  std::unique_ptr<vexa::persist::Document> doc;
  vexa::ui::FrameContext ctx;
};

TEST_F(AppFixture, FirstFrameConnectsThenSyncsOnce) {
  frame();
  EXPECT_EQ(sent_kinds(), (std::vector<std::uint8_t>{0, 1}));
  EXPECT_EQ(state->status, "Syncing…");
  EXPECT_TRUE(app->needs_idle_sync());
  frame(16ms);
  EXPECT_TRUE(sent_kinds().empty());
  // The selected account was saved as active in the persistence location.
  EXPECT_TRUE(std::filesystem::exists(dir / "accounts.json"));
}

TEST_F(AppFixture, StatusClearsThreeAndAHalfSecondsAfterItLastChanged) {
  frame();
  state->set_status("one");
  frame();
  frame(3400ms);
  EXPECT_EQ(state->status, "one");
  state->set_status("two");  // a different text restarts the clock
  frame(200ms);
  frame(3400ms);
  EXPECT_EQ(state->status, "two");
  state->set_status("two");  // the same text does not
  frame(150ms);
  EXPECT_FALSE(state->status.has_value());
}

TEST_F(AppFixture, WakeUpEvery16MsWhileBusy) {
  frame();
  auto before = vexa::ui::Clock::now();
  auto wake = app->next_wakeup();
  ASSERT_TRUE(wake.has_value());
  EXPECT_LE(*wake - before, 20ms);
  EXPECT_EQ(app->next_wakeup(), wake);  // reused within the frame
}

TEST_F(AppFixture, AutomaticRefreshOnlyWhenIdleAndAfterFourMinutes) {
  frame();
  std::vector<std::pair<std::uint8_t, engine::RequestId>> first;
  std::optional<WorkerCommand> c;
  while (commands.try_recv(c) == vexa::TryRecv::Value)
    first.emplace_back(engine::kind(*c), engine::request_id(*c));
  ASSERT_EQ(first.size(), 2u);

  app->core().last_refresh_minute = now_minutes() - 5;
  frame();
  EXPECT_TRUE(sent_kinds().empty()) << "a request is outstanding";

  for (auto [kind, id] : first) events.send(engine::Finished{kind, id});
  app->core().last_refresh_minute = now_minutes() - 3;
  frame();
  EXPECT_FALSE(app->core().busy());
  EXPECT_TRUE(sent_kinds().empty()) << "not yet four minutes";

  app->core().last_refresh_minute = now_minutes() - 5;
  frame();
  EXPECT_EQ(sent_kinds(), (std::vector<std::uint8_t>{1}));
  EXPECT_EQ(state->status, "Syncing…");
}

TEST_F(AppFixture, DocumentValuesWinOverTheStoreEachFrame) {
  MailMessage m;
  m.id[15] = 7;
  m.seen = true;
  state->messages.merge(m);
  frame();
  const std::string key = uuid_text(m.id);
  EXPECT_EQ(store::read_flag(*doc, key), true);
  store::set_read(*doc, key, false);
  frame();
  EXPECT_FALSE(state->messages.find(m.id)->seen);
  // A refetch replaces the record; the next frame restores the local value.
  state->messages.merge(m);
  frame();
  EXPECT_FALSE(state->messages.find(m.id)->seen);
  store::mark_purged(*doc, key);
  frame();
  EXPECT_FALSE(state->messages.contains(m.id));
}

TEST(Welcome, ShownWithoutAccountsUntilSetupOpens) {
  auto state = std::make_shared<MailState>();
  MailApp app(state, std::nullopt, PersistenceLocation{});
  auto doc = vexa::persist::open_memory();
  vexa::ui::FrameContext ctx;
  app.sync(*doc, ctx);
  EXPECT_TRUE(app.welcome_shown());
  EXPECT_EQ(app.children().size(), 1u);
  app.set_setup_open(true);
  EXPECT_FALSE(app.welcome_shown());
  ASSERT_EQ(app.children().size(), 1u);
  EXPECT_EQ(app.children()[0]->type_name(), "NavShell");
  app.set_setup_open(false);
  EXPECT_TRUE(app.welcome_shown());
}

TEST(Scenes, SizeRuleAndNames) {
  EXPECT_EQ(scene_names().size(), 23u);
  struct Case {
    std::optional<std::string> name;
    std::pair<std::uint32_t, std::uint32_t> size;
  };
  for (const Case& c : std::vector<Case>{{std::nullopt, {1280, 800}},
                                         {"narrow_drawer", {560, 860}},
                                         {"mid", {1000, 720}},
                                         {"reply", {1180, 820}},
                                         {"error", {1100, 780}},
                                         {"html_mail", {1280, 820}},
                                         {"no-such-scene", {1280, 800}}}) {
    EXPECT_EQ(scene_window_size(c.name), c.size) << c.name.value_or("(none)");
  }
}

// Each scene is shown after its first frame, over its own document.
struct SceneRun {
  explicit SceneRun(const std::string& name) : root(build_scene(name)) {
    app = dynamic_cast<MailApp*>(root.widget.get());
    vexa::ui::FrameContext ctx;
    ctx.now = vexa::ui::Clock::now();
    ctx.window = {1280, 800};
    app->sync(*doc, ctx);
  }
  ~SceneRun() {
    if (!root.document_dir.empty()) std::filesystem::remove_all(root.document_dir);
  }
  vexa::ui::LaunchedRoot root;
  MailApp* app = nullptr;
  std::unique_ptr<vexa::persist::Document> doc = vexa::persist::open_memory();
};

TEST(Scenes, ShowTheirStates) {
  {
    SceneRun search("search");
    EXPECT_EQ(search.app->state().search_query, "spatial");
    EXPECT_FALSE(search.app->commands().visible_list().empty());
    EXPECT_EQ(search.app->main_view().list().search_input()->text(), "spatial");
  }
  {
    SceneRun menu("context_menu");
    const auto& open = menu.app->context_menu_layer().state();
    ASSERT_TRUE(open.has_value());
    EXPECT_EQ(open->message, menu.app->state().selected_message);
    EXPECT_EQ(open->at.x, 790);
    EXPECT_EQ(open->at.y, 206);
  }
  {
    SceneRun preview("preview");
    EXPECT_TRUE(preview.app->state().previewing());
    EXPECT_TRUE(preview.app->take_show_reader()) << "the reader is asked for";
  }
  {
    // Two Inbox messages are moved to Trash as the user would, then selected for deletion.
    SceneRun purge("bulk_purge_confirmation");
    const MailState& st = purge.app->state();
    EXPECT_EQ(st.current_folder, FolderRole::Trash);
    ASSERT_EQ(st.bulk_selection.size(), 2u);
    for (const MessageId& id : st.bulk_selection) {
      EXPECT_EQ(st.messages.find(id)->folder, FolderRole::Trash);
      EXPECT_EQ(store::folder(*purge.doc, store::message_key(id)), FolderRole::Trash);
    }
    EXPECT_TRUE(purge.app->purge_confirmation().is_open());
    EXPECT_EQ(purge.app->purge_confirmation().count(), 2u);
  }
}

TEST(Scenes, WithoutATemporaryDirectoryASceneKeepsEverythingInMemory) {
  const char* old = std::getenv("TMPDIR");
  const std::string saved = old ? old : "";
  setenv("TMPDIR", "/nonexistent/vexa-no-such-dir", 1);
  auto root = build_scene(std::string("wide"));
  if (old) {
    setenv("TMPDIR", saved.c_str(), 1);
  } else {
    unsetenv("TMPDIR");
  }
  EXPECT_TRUE(root.in_memory) << "never the user's own document";
  EXPECT_TRUE(root.document_dir.empty());
  auto* app = dynamic_cast<MailApp*>(root.widget.get());
  EXPECT_EQ(app->core().location().kind, PersistenceLocation::Kind::None);
}

TEST(Scenes, OfflineScenesNeverConnect) {
  for (const char* name : {"wide", "firstrun", "loading", "empty", "offline"}) {
    auto root = build_scene(std::string(name));
    auto* app = dynamic_cast<MailApp*>(root.widget.get());
    ASSERT_NE(app, nullptr);
    EXPECT_FALSE(app->core().has_worker());
    EXPECT_EQ(root.document_dir.filename().string().rfind("vexa-mail-sample-", 0), 0u);
    EXPECT_FALSE(root.in_memory);
    std::filesystem::remove_all(root.document_dir);
  }
}

}  // namespace
}  // namespace mail::core
