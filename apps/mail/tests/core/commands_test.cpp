// Keyboard and bulk commands on the sample mailbox: the store, the document, the status line and
// the worker commands each one produces.
#include <fmt/format.h>
#include <gtest/gtest.h>

#include <functional>

#include "commands_fixture.h"
#include "overlays/bulk_purge.h"

namespace mail::core::testing {
namespace {

using engine::WorkerCommand;

constexpr std::uint8_t kStoreFlags = 2;
constexpr std::uint8_t kMoveMessage = 3;
constexpr std::uint8_t kPurgeMessage = 4;

using Commands = CommandsFixture;

TEST_F(Commands, ArchiveKeyMovesLocallyFirstAndSelectsTheTopConversation) {
  for (bool shift : {false, true}) {
    SCOPED_TRACE(shift ? "E with Shift" : "e");
    const MessageId archived = *state->selected_message;
    ASSERT_EQ(message(archived).folder, FolderRole::Inbox);
    EXPECT_EQ(key(shift ? "E" : "e", shift), vexa::ui::EventResult::Consumed);

    EXPECT_EQ(message(archived).folder, FolderRole::Archive);
    EXPECT_EQ(store::folder(*doc, key_of(archived)), FolderRole::Archive);
    EXPECT_EQ(state->selected_message, top_message(state->messages, FolderRole::Inbox));
    EXPECT_NE(state->selected_message, archived);
    EXPECT_FALSE(state->status.has_value()) << "one message gets no count text";

    auto commands = sent();
    ASSERT_EQ(commands.size(), 1u);
    const auto& move = std::get<engine::MoveMessage>(commands[0]);
    EXPECT_EQ(move.message.id, archived);
    EXPECT_EQ(move.message.folder, FolderRole::Inbox) << "the message as it was before";
    EXPECT_EQ(move.target, FolderRole::Archive);
    EXPECT_EQ(move.config.email, state->current_account()->entry.config.email);
  }
}

TEST_F(Commands, PreviewKeepsReadStateAndOpenMarksRead) {
  const MessageId id = *state->selected_message;
  ASSERT_FALSE(message(id).seen);

  EXPECT_EQ(key("p"), vexa::ui::EventResult::Consumed);
  EXPECT_FALSE(message(id).seen);
  EXPECT_TRUE(state->previewed);
  EXPECT_EQ(state->status, "Previewing without changing this message’s read state");
  EXPECT_TRUE(sent().empty());
  EXPECT_TRUE(app->main_view().shell().detail_shown());

  EXPECT_EQ(key("Enter"), vexa::ui::EventResult::Consumed);
  EXPECT_TRUE(message(id).seen);
  EXPECT_FALSE(state->previewed);
  EXPECT_EQ(store::read_flag(*doc, key_of(id)), true);
  auto commands = sent();
  ASSERT_EQ(commands.size(), 1u);
  EXPECT_TRUE(std::get<engine::StoreFlags>(commands[0]).message.seen);

  // Opening a message that is already read sends nothing.
  key("Enter");
  EXPECT_TRUE(sent().empty());
}

TEST_F(Commands, ThePreviewBelongsToThePreviewedMessageAlone) {
  ASSERT_EQ(key("p"), vexa::ui::EventResult::Consumed);
  const MessageId previewed = *state->selected_message;
  EXPECT_TRUE(state->previewing());
  key("Down");
  EXPECT_NE(state->selected_message, previewed);
  EXPECT_FALSE(state->previewing()) << "the next message was never previewed";
  key("Up");
  EXPECT_TRUE(state->previewing()) << "back on the previewed one, it still is";
}

TEST_F(Commands, OpeningAMessageEmptiesTheSearchFieldWithTheQuery) {
  state->search_focus = true;
  key("i");
  ASSERT_EQ(state->search_query, "i");
  ASSERT_NE(app->main_view().list().search_input(), nullptr);
  EXPECT_EQ(app->main_view().list().search_input()->text(), "i");
  state->search_focus = false;
  app->commands().open_message(*state->selected_message, *doc);
  app->sync(*doc, ctx);
  EXPECT_EQ(state->search_query, "");
  EXPECT_EQ(app->main_view().list().search_input()->text(), "");
}

TEST_F(Commands, ArrowsMoveThroughTheVisibleList) {
  const auto rows = app->commands().visible_list();
  ASSERT_GE(rows.size(), 3u);
  struct Case {
    const char* name;
    std::optional<std::size_t> start;  // row index selected first; none for no selection
    std::string key;
    std::size_t expected;
  };
  const std::vector<Case> cases = {
      {"down without selection takes the second row", std::nullopt, "Down", 1},
      {"up without selection takes the first row", std::nullopt, "Up", 0},
      {"down from the first", 0, "Down", 1},
      {"up clamps at the first", 0, "Up", 0},
      {"down clamps at the last", rows.size() - 1, "Down", rows.size() - 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    state->selected_message.reset();
    if (c.start) state->selected_message = rows[*c.start].id;
    EXPECT_EQ(key(c.key), vexa::ui::EventResult::Consumed);
    EXPECT_EQ(state->selected_message, rows[c.expected].id);
  }
  EXPECT_TRUE(sent().empty()) << "moving never changes read state";
}

TEST_F(Commands, KeysFollowTheSearchFocusAndTheirConditions) {
  // The focused search field takes the key: it types instead of replying.
  state->search_focus = true;
  EXPECT_EQ(key("r"), vexa::ui::EventResult::Consumed);
  EXPECT_FALSE(app->core().composer().open);
  EXPECT_EQ(state->search_query, "r");
  state->search_query.clear();
  state->search_focus = false;

  state->selected_message.reset();
  for (const char* k : {"p", "e", "s", "r", "u", "Enter"}) {
    EXPECT_EQ(key(k), vexa::ui::EventResult::Ignored) << k << " needs a selection";
  }
  EXPECT_EQ(key("Escape"), vexa::ui::EventResult::Ignored) << "only bulk mode takes Escape";
  EXPECT_EQ(key("q"), vexa::ui::EventResult::Ignored);
  EXPECT_TRUE(sent().empty());
}

TEST_F(Commands, StarAndUnreadKeysSendStoreFlags) {
  const MessageId id = id_of(kParcel);
  state->selected_message = id;
  ASSERT_TRUE(message(id).seen);
  key("s");
  key("u");
  EXPECT_TRUE(message(id).starred);
  EXPECT_FALSE(message(id).seen);
  EXPECT_EQ(store::starred_flag(*doc, key_of(id)), true);
  EXPECT_EQ(store::read_flag(*doc, key_of(id)), false);
  EXPECT_EQ(sent_kinds(), (std::vector<std::uint8_t>{kStoreFlags, kStoreFlags}));
}

TEST_F(Commands, DeleteOnATrashedMessagePurgesAtOnce) {
  const MessageId id = id_of(kPromo);
  app->commands().open_folder(0, FolderRole::Trash);
  state->selected_message = id;
  key("Delete");
  EXPECT_FALSE(state->messages.contains(id));
  EXPECT_TRUE(store::is_purged(*doc, key_of(id)));
  EXPECT_FALSE(app->purge_confirmation().is_open());
  EXPECT_EQ(sent_kinds(), (std::vector<std::uint8_t>{kPurgeMessage}));
}

TEST_F(Commands, BulkDeleteCountsOnlyWhatMoved) {
  key("x");
  ASSERT_TRUE(state->bulk_mode);
  state->bulk_selection = {id_of(kInvite), id_of(kParcel), id_of(kPromo)};
  key("Delete");
  EXPECT_EQ(state->status, "Moved 2 messages to Trash");
  EXPECT_EQ(message(id_of(kInvite)).folder, FolderRole::Trash);
  EXPECT_TRUE(state->bulk_selection.empty());
  EXPECT_TRUE(state->bulk_mode) << "bulk mode is left only by the user";
  EXPECT_EQ(sent_kinds(), (std::vector<std::uint8_t>{kMoveMessage, kMoveMessage}));
}

TEST_F(Commands, BulkArchiveAndReadKeepOrEmptyTheSelection) {
  key("x");
  state->bulk_selection = {id_of(kInvite), id_of(kParcel), *state->selected_message};
  key("u");
  EXPECT_EQ(state->status, "Marked 3 messages unread");
  EXPECT_EQ(state->bulk_selection.size(), 3u);
  EXPECT_EQ(sent_kinds(), (std::vector<std::uint8_t>(3, kStoreFlags)));
  key("e");
  EXPECT_EQ(state->status, "Archived 3 messages");
  EXPECT_TRUE(state->bulk_selection.empty());
  EXPECT_EQ(sent_kinds(), (std::vector<std::uint8_t>(3, kMoveMessage)));
  state->clear_status();
  key("e");
  EXPECT_FALSE(state->status.has_value()) << "nothing changed, no count text";
  key("Escape");
  EXPECT_FALSE(state->bulk_mode);
}

TEST_F(Commands, PermanentDeletionChecksTheSelection) {
  key("x");
  key("Delete", true);
  EXPECT_EQ(state->status, "Select messages before deleting them permanently");
  state->bulk_selection = {id_of(kPromo), id_of(kParcel)};
  key("Delete", true);
  EXPECT_EQ(state->status, "Permanent deletion requires an all-Trash selection");
  EXPECT_FALSE(app->purge_confirmation().is_open());

  state->bulk_selection = {id_of(kPromo), id_of(kStandup)};
  key("Delete", true);
  ASSERT_TRUE(app->purge_confirmation().is_open());
  EXPECT_EQ(app->purge_confirmation().count(), 2u);
  EXPECT_EQ(app->accessibility().description,
            "2 trashed messages will be removed from this mailbox and cannot be recovered from the "
            "server.");
  EXPECT_EQ(key("e"), vexa::ui::EventResult::Consumed) << "the sheet holds every event";
  EXPECT_EQ(message(id_of(kParcel)).folder, FolderRole::Inbox);

  key("Enter");
  EXPECT_FALSE(app->purge_confirmation().is_open());
  EXPECT_EQ(state->status, "Permanently deleted 2 trashed messages");
  EXPECT_EQ(state->messages.find(id_of(kParcel))->folder, FolderRole::Inbox);
  EXPECT_EQ(sent_kinds(), (std::vector<std::uint8_t>{kPurgeMessage, kPurgeMessage}));
  EXPECT_TRUE(state->bulk_selection.empty());
}

TEST_F(Commands, ConfirmingAfterTheSelectionChangedDeletesNothing) {
  const MessageId promo = id_of(kPromo);
  key("x");
  state->bulk_selection = {promo, id_of(kStandup)};
  key("Delete", true);
  ASSERT_TRUE(app->purge_confirmation().is_open());
  // Another device restores one of them before the user confirms.
  store::set_folder(*doc, key_of(promo), FolderRole::Inbox);
  app->sync(*doc, ctx);
  ASSERT_EQ(message(promo).folder, FolderRole::Inbox);
  key("Enter");
  EXPECT_EQ(state->status,
            "Nothing was deleted; the selected messages changed before confirmation");
  EXPECT_TRUE(state->messages.contains(id_of(kStandup)));
  EXPECT_FALSE(store::is_purged(*doc, key_of(promo)));
  EXPECT_TRUE(sent().empty());
}

TEST_F(Commands, ConfirmationButtonsAtTheirRectangles) {
  // 1280 × 800: the sheet is 420 × 206, centred, so its bottom-right corner is (850, 503).
  struct Case {
    const char* name;
    vexa::ui::Point at;
    vexa::ui::PointerButton button;
    bool still_open;
    bool deleted;
  };
  const std::vector<Case> cases = {
      {"confirm", {850 - 100, 503 - 30}, vexa::ui::PointerButton::Primary, false, true},
      {"confirm's edge", {850 - 166, 503 - 52}, vexa::ui::PointerButton::Primary, false, true},
      {"just right of confirm",
       {850 - 24, 503 - 30},
       vexa::ui::PointerButton::Primary,
       true,
       false},
      {"confirm with the secondary button",
       {750, 473},
       vexa::ui::PointerButton::Secondary,
       true,
       false},
      {"cancel", {850 - 200, 503 - 30}, vexa::ui::PointerButton::Primary, false, false},
      {"between the buttons", {850 - 170, 503 - 30}, vexa::ui::PointerButton::Primary, true, false},
      {"outside the sheet", {100, 100}, vexa::ui::PointerButton::Primary, false, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    // A fresh trashed message for each press: the Inbox's newest goes to Trash first.
    const MessageId id = *state->selected_message;
    key("Delete");
    ASSERT_EQ(message(id).folder, FolderRole::Trash);
    state->bulk_mode = true;
    state->bulk_selection = {id};
    ASSERT_TRUE(semantic("mail.bulk:purge"));
    ASSERT_TRUE(app->purge_confirmation().is_open());
    EXPECT_EQ(press(c.at.x, c.at.y, c.button), vexa::ui::EventResult::Consumed);
    EXPECT_EQ(app->purge_confirmation().is_open(), c.still_open);
    EXPECT_EQ(!state->messages.contains(id), c.deleted);
    if (c.still_open) key("Escape");
    EXPECT_FALSE(app->purge_confirmation().is_open());
    state->bulk_mode = false;
    state->bulk_selection.clear();
  }
}

TEST_F(Commands, WorkerUnavailableKeepsTheLocalChange) {
  commands = vexa::Receiver<WorkerCommand>{};  // the worker is gone
  const MessageId id = *state->selected_message;
  key("e");
  EXPECT_EQ(message(id).folder, FolderRole::Archive);
  EXPECT_EQ(store::folder(*doc, key_of(id)), FolderRole::Archive);
  EXPECT_EQ(state->status, "Mail worker is unavailable");
}

TEST_F(Commands, AChangeThatCannotBeSavedIsNotShownAsDone) {
  const MessageId id = *state->selected_message;
  const MailMessage before = message(id);
  ASSERT_TRUE(doc->commit());
  const nlohmann::json on_disk = doc->to_json();
  disk->failure = "disk full";
  struct Case {
    const char* name;
    std::function<void()> act;
  };
  const std::vector<Case> cases = {
      {"archive", [&] { key("e"); }},
      {"star", [&] { key("s"); }},
      {"open marks read", [&] { key("Enter"); }},
      {"bulk move to Trash",
       [&] {
         app->commands().toggle_bulk_mode();
         app->commands().toggle_bulk_member(id);
         key("Delete");
         app->commands().leave_bulk_mode();
       }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    state->clear_status();
    c.act();
    EXPECT_EQ(state->status, "Couldn’t save your change: disk full");
    EXPECT_EQ(message(id), before) << "the screen shows what the disk holds";
    EXPECT_EQ(doc->to_json(), on_disk);
    EXPECT_FALSE(doc->has_pending_changes()) << "nothing lands with a later commit";
    EXPECT_TRUE(sent().empty()) << "the server hears of nothing";
  }
  disk->failure.reset();
  key("e");
  EXPECT_EQ(message(id).folder, FolderRole::Archive);
  EXPECT_EQ(sent_kinds(), (std::vector<std::uint8_t>{kMoveMessage}));
}

TEST_F(Commands, ChangesGoOnlyToAnAccountThatHoldsTheMessage) {
  ASSERT_EQ(state->accounts.size(), 2u);
  const AccountSlot first = state->accounts[0];
  const AccountSlot second = state->accounts[1];
  const MessageId mine = id_of(kNewestInbox);  // fetched by the first account only
  app->commands().toggle_bulk_mode();  // a bulk selection of the first account's message ...
  app->commands().toggle_bulk_member(mine);

  ASSERT_TRUE(semantic("mail.account:1"));
  EXPECT_TRUE(state->bulk_selection.empty()) << "... never crosses into the second";
  EXPECT_EQ(state->messages.find(mine), nullptr);
  for (const auto& entry : app->commands().visible_list()) {
    EXPECT_TRUE(state->messages.owned_by(entry.id, second.entry.id));
  }
  sent();

  // The first account's message cannot be reached while the second is current.
  EXPECT_FALSE(semantic(fmt::format("mail.reader:{}:archive", uuid_text(mine))));
  app->commands().message_action(mine, MessageAction::Archive, *doc);
  app->dispatch_intents(doc.get());
  EXPECT_EQ(state->status, "That message is no longer available.");
  EXPECT_TRUE(sent().empty());
  EXPECT_NE(store::folder(*doc, key_of(mine)), FolderRole::Archive);

  // A message both accounts hold is one local record; archiving it under the second account
  // tells the second account's server only.
  MailMessage shared = *state->messages.find_any(mine);
  state->messages.merge(shared, second.entry.id);
  app->commands().message_action(mine, MessageAction::Archive, *doc);
  app->dispatch_intents(doc.get());
  auto commands = sent();
  ASSERT_EQ(commands.size(), 1u);
  EXPECT_EQ(std::get<engine::MoveMessage>(commands[0]).config.email, second.entry.config.email);

  // A local draft has no server to tell.
  MailMessage draft = shared;
  draft.id = new_uuid_v4();
  draft.folder = FolderRole::Drafts;
  state->messages.merge(draft);
  app->commands().message_action(draft.id, MessageAction::Archive, *doc);
  app->dispatch_intents(doc.get());
  EXPECT_TRUE(sent().empty());
  EXPECT_EQ(state->messages.find(draft.id)->folder, FolderRole::Archive);
  EXPECT_EQ(state->messages.find(mine), state->messages.find_any(mine));
  EXPECT_TRUE(state->messages.owned_by(mine, first.entry.id)) << "the first keeps its copy";
}

TEST_F(Commands, ARefreshIsFiledUnderTheAccountItWasFor) {
  const AccountSlot first = state->accounts[0];
  auto id = app->core().submit(engine::make_sync_folder(first.entry.config, FolderRole::Inbox),
                               first.entry.id);
  ASSERT_TRUE(id);
  ASSERT_TRUE(semantic("mail.account:1"));  // the user switches before the reply arrives
  MailMessage fetched;
  fetched.id = new_uuid_v4();
  fetched.subject = "arrived for the first account";
  fetched.folder = FolderRole::Starred;  // fetched through the Starred view
  fetched.starred = true;
  app->core().apply_events(
      {engine::Synced{FolderRole::Starred, *id, first.entry.config.email, {fetched}},
       engine::Finished{1, *id}},
      *doc);
  EXPECT_EQ(state->messages.find(fetched.id), nullptr);
  EXPECT_TRUE(state->messages.owned_by(fetched.id, first.entry.id));
  // It lives in the Inbox; Starred is only a view of its flag.
  EXPECT_EQ(state->messages.find_any(fetched.id)->folder, FolderRole::Inbox);
  EXPECT_EQ(store::folder(*doc, key_of(fetched.id)), FolderRole::Inbox);
}

TEST(BulkPurgeSheet, GeometryShrinksWithTheWindow) {
  struct Case {
    vexa::ui::Rect window;
    vexa::ui::Rect sheet;
  };
  for (const Case& c : std::vector<Case>{{{0, 0, 1280, 800}, {430, 297, 850, 503}},
                                         {{0, 0, 300, 200}, {20, 20, 280, 180}}}) {
    const PurgeSheetGeometry g = purge_sheet_geometry(c.window);
    EXPECT_EQ(g.sheet, c.sheet);
    EXPECT_EQ(g.confirm, (vexa::ui::Rect{c.sheet.right - 166, c.sheet.bottom - 52,
                                         c.sheet.right - 24, c.sheet.bottom - 18}));
    EXPECT_EQ(g.cancel.left, c.sheet.right - 262);
    EXPECT_EQ(g.cancel.right, c.sheet.right - 176);
  }
  EXPECT_EQ(purge_confirmation_text(1), "1 trashed message will be removed from this mailbox.");
}

}  // namespace
}  // namespace mail::core::testing
