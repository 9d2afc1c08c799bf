#include <gtest/gtest.h>

#include "pane_fixture.h"

namespace mail::views {
namespace {

using testing::account;
using testing::id_of;
using testing::message;
using testing::PaneBench;
using vexa::ui::EventResult;
using vexa::ui::PointerButton;

template <typename T>
const T* last_intent(const core::MailState& state) {
  if (state.intents.empty()) return nullptr;
  return std::get_if<T>(&state.intents.back());
}

// A list of three Inbox messages (3 newest, on the first row) with an account.
struct ListBench : PaneBench {
  ListBench() : PaneBench(PaneKind::List, {0, 0, 400, 800}) {
    for (int n = 1; n <= 3; ++n) add(message(n));
    state->accounts = {account("me@example.com")};
    layout();
  }
};

TEST(ListInput, SwipeCommitsOnlyPastTheThreshold) {
  struct Case {
    double offset;
    std::optional<MessageAction> action;
  };
  const std::vector<Case> cases = {
      {-71, std::nullopt},
      {-72, MessageAction::Archive},
      {71, std::nullopt},
      {72, MessageAction::Delete},
  };
  for (const Case& c : cases) {
    ListBench b;
    const auto row = b.first(RegionKind::MessageRow)->rect;
    const double y = row.top + 10;
    b.press(200, y);
    b.host.opened.clear();
    b.move(200 + c.offset / 2, y);
    b.move(200 + c.offset, y);
    EXPECT_EQ(b.release(200 + c.offset, y), EventResult::Consumed) << c.offset;
    if (c.action) {
      ASSERT_EQ(b.host.actions.size(), 1u) << c.offset;
      EXPECT_EQ(b.host.actions[0], std::make_pair(id_of(3), *c.action));
    } else {
      EXPECT_TRUE(b.host.actions.empty()) << c.offset;
    }
    // The swipe is over: a later release is an ordinary one.
    EXPECT_EQ(b.release(200, y), EventResult::Ignored);
  }
}

TEST(ListInput, SmallTravelIsNoSwipeAndBulkModeDoesNotArm) {
  ListBench b;
  const double y = b.first(RegionKind::MessageRow)->rect.top + 10;
  b.press(200, y);
  b.move(205, y);
  EXPECT_EQ(b.release(205, y), EventResult::Ignored);

  b.state->bulk_mode = true;
  b.press(200, y);
  b.move(100, y);
  EXPECT_EQ(b.release(100, y), EventResult::Ignored);
  EXPECT_TRUE(b.host.actions.empty());
}

TEST(ListInput, SecondaryPressOnRowOpensContextMenu) {
  ListBench b;
  const auto row = b.of_kind(RegionKind::MessageRow)[1].rect;
  EXPECT_EQ(b.press(150, row.top + 5, PointerButton::Secondary), EventResult::Consumed);
  const auto* menu = last_intent<core::intent::OpenContextMenu>(*b.state);
  ASSERT_NE(menu, nullptr);
  EXPECT_EQ(menu->id, id_of(2));
  EXPECT_EQ(menu->x, 150);
  EXPECT_EQ(menu->y, row.top + 5);

  b.state->intents.clear();
  EXPECT_EQ(b.press(150, 20, PointerButton::Secondary), EventResult::Ignored);
  EXPECT_TRUE(b.state->intents.empty());
}

TEST(ListInput, StarRowAndDraftPresses) {
  ListBench b;
  b.add(message(4, FolderRole::Drafts, 1));
  const auto star = b.first(RegionKind::RowStar)->rect;
  EXPECT_EQ(b.press(PaneBench::centre(star).x, PaneBench::centre(star).y), EventResult::Consumed);
  ASSERT_EQ(b.host.actions.size(), 1u);
  EXPECT_EQ(b.host.actions[0], std::make_pair(id_of(3), MessageAction::ToggleStar));
  EXPECT_TRUE(b.host.opened.empty());

  const auto row = b.of_kind(RegionKind::MessageRow)[1].rect;
  b.press(100, row.top + 5);
  EXPECT_EQ(b.host.opened, std::vector<MessageId>{id_of(2)});

  b.state->current_folder = FolderRole::Drafts;
  b.layout();
  b.press(100, b.first(RegionKind::MessageRow)->rect.top + 5);
  const auto* edit = last_intent<core::intent::EditDraft>(*b.state);
  ASSERT_NE(edit, nullptr);
  EXPECT_EQ(edit->id, id_of(4));
  EXPECT_EQ(b.host.opened.size(), 1u);
}

TEST(ListInput, BulkModeRowPressTogglesSelection) {
  ListBench b;
  b.state->search_focus = true;
  const auto toggle = PaneBench::centre(b.first(RegionKind::BulkToggle)->rect);
  b.press(toggle.x, toggle.y);
  EXPECT_TRUE(b.state->bulk_mode);
  EXPECT_FALSE(b.state->search_focus);

  b.layout();  // rows moved below the bulk panel
  const double y = b.first(RegionKind::MessageRow)->rect.top + 5;
  b.press(100, y);
  b.press(100, b.of_kind(RegionKind::MessageRow)[1].rect.top + 5);
  EXPECT_EQ(b.state->bulk_selection, (std::vector<MessageId>{id_of(3), id_of(2)}));
  b.press(100, y);
  EXPECT_EQ(b.state->bulk_selection, std::vector<MessageId>{id_of(2)});
  EXPECT_TRUE(b.host.opened.empty());

  b.press(toggle.x, toggle.y);
  EXPECT_FALSE(b.state->bulk_mode);
  EXPECT_TRUE(b.state->bulk_selection.empty());
}

TEST(ListInput, BulkButtons) {
  ListBench b;
  b.state->bulk_mode = true;
  b.add(message(7, FolderRole::Trash));
  b.state->bulk_selection = {id_of(7)};
  b.layout();
  const auto buttons = b.of_kind(RegionKind::BulkButton);
  const auto press_button = [&](BulkAction action) {
    for (const auto& r : b.of_kind(RegionKind::BulkButton)) {
      if (r.bulk == action)
        return b.press(PaneBench::centre(r.rect).x, PaneBench::centre(r.rect).y);
    }
    return EventResult::Ignored;
  };

  EXPECT_EQ(press_button(BulkAction::DeletePermanently), EventResult::Consumed);
  EXPECT_NE(last_intent<core::intent::ConfirmBulkPurge>(*b.state), nullptr);
  EXPECT_TRUE(b.host.bulk_actions.empty());

  b.host.bulk_result = 0;
  press_button(BulkAction::Archive);
  EXPECT_FALSE(b.state->status);
  b.host.bulk_result = 3;
  press_button(BulkAction::MarkUnread);
  EXPECT_EQ(b.state->status, "Marked 3 messages unread");
  EXPECT_EQ(b.host.bulk_actions,
            (std::vector<BulkAction>{BulkAction::Archive, BulkAction::MarkUnread}));

  const auto all = PaneBench::centre(b.first(RegionKind::SelectAll)->rect);
  b.press(all.x, all.y);
  EXPECT_EQ(b.host.select_all_calls, 1);
}

TEST(ListInput, RefreshNeedsAnAccount) {
  ListBench b;
  const auto refresh = PaneBench::centre(b.first(RegionKind::Refresh)->rect);
  EXPECT_EQ(b.press(refresh.x, refresh.y), EventResult::Consumed);
  const auto* command = last_intent<core::intent::Command>(*b.state);
  ASSERT_NE(command, nullptr);
  const auto* sync = std::get_if<engine::SyncFolder>(&command->command);
  ASSERT_NE(sync, nullptr);
  EXPECT_EQ(sync->folder, FolderRole::Inbox);
  EXPECT_EQ(sync->config.email, "me@example.com");
  EXPECT_EQ(b.state->status, "Syncing Inbox…");

  b.state->accounts.clear();
  b.state->intents.clear();
  b.state->status.reset();
  b.press(refresh.x, refresh.y);
  EXPECT_TRUE(b.state->intents.empty());
  EXPECT_FALSE(b.state->status);
}

TEST(ListInput, TypingIntoFocusedSearchUpdatesQueryAndSelection) {
  ListBench b;
  b.host.search_results = std::vector<VisibleEntry>{{id_of(1), 1}};
  // Not focused: typing is not the pane's.
  EXPECT_EQ(b.send(vexa::ui::TextEvent{"x"}), EventResult::Ignored);

  const auto field = PaneBench::centre(b.first(RegionKind::SearchField)->rect);
  b.press(field.x, field.y);
  EXPECT_TRUE(b.state->search_focus);
  EXPECT_TRUE(b.pane.search_input()->focused());
  EXPECT_EQ(b.send(vexa::ui::TextEvent{"bud"}), EventResult::Consumed);
  EXPECT_EQ(b.state->search_query, "bud");
  EXPECT_EQ(b.state->selected_message, id_of(1));
  b.send(vexa::ui::KeyEvent{.key = "Backspace"});
  EXPECT_EQ(b.state->search_query, "bu");

  b.layout();
  const auto clear = PaneBench::centre(b.first(RegionKind::ClearSearch)->rect);
  b.press(clear.x, clear.y);
  EXPECT_EQ(b.state->search_query, "");
  EXPECT_EQ(b.pane.search_input()->text(), "");
  EXPECT_FALSE(b.state->search_focus);
  EXPECT_FALSE(b.pane.search_input()->focused());
}

TEST(SidebarInput, PressesByRegion) {
  struct Case {
    const char* name;
    RegionKind kind;
    std::size_t nth;
  };
  const std::vector<Case> cases = {
      {"compose", RegionKind::ComposeButton, 0},    {"expander", RegionKind::AccountExpander, 1},
      {"settings", RegionKind::AccountSettings, 1}, {"add", RegionKind::AddAccount, 0},
      {"account", RegionKind::AccountRow, 1},       {"folder", RegionKind::FolderRow, 5},
  };
  for (const Case& c : cases) {
    PaneBench b(PaneKind::Sidebar, {0, 0, 260, 900});
    b.state->accounts = {account("a@example.com"), account("b@example.com")};
    b.layout();
    const auto target = b.of_kind(c.kind).at(c.nth);
    const auto at = PaneBench::centre(target.rect);
    ASSERT_EQ(b.press(at.x, at.y), EventResult::Consumed) << c.name;
    const auto& s = *b.state;
    switch (c.kind) {
      case RegionKind::ComposeButton:
        EXPECT_NE(last_intent<core::intent::ComposeNew>(s), nullptr);
        break;
      case RegionKind::AccountExpander:
        EXPECT_FALSE(s.accounts[0].collapsed);
        EXPECT_TRUE(s.accounts[1].collapsed);
        break;
      case RegionKind::AccountSettings: {
        const auto* setup = last_intent<core::intent::OpenAccountSetup>(s);
        ASSERT_NE(setup, nullptr);
        EXPECT_TRUE(setup->edit);
        EXPECT_EQ(setup->account_index, 1u);
        break;
      }
      case RegionKind::AddAccount: {
        const auto* setup = last_intent<core::intent::OpenAccountSetup>(s);
        ASSERT_NE(setup, nullptr);
        EXPECT_FALSE(setup->edit);
        break;
      }
      case RegionKind::AccountRow:
        EXPECT_EQ(b.host.folders_opened,
                  (std::vector<std::pair<std::size_t, FolderRole>>{{1, FolderRole::Inbox}}));
        EXPECT_NE(last_intent<core::intent::CloseDrawer>(s), nullptr);
        break;
      case RegionKind::FolderRow:
        EXPECT_EQ(b.host.folders_opened,
                  (std::vector<std::pair<std::size_t, FolderRole>>{{0, FolderRole::Junk}}));
        EXPECT_NE(last_intent<core::intent::CloseDrawer>(s), nullptr);
        break;
      default:
        break;
    }
  }
}

TEST(ReaderInput, ToolbarActsOnTheSelectedMessage) {
  PaneBench b(PaneKind::Reader, {0, 0, 600, 800});
  b.add(message(5));
  b.state->selected_message = id_of(5);
  b.layout();
  const auto press_kind = [&](RegionKind kind) {
    const auto at = PaneBench::centre(b.first(kind)->rect);
    return b.press(at.x, at.y);
  };
  EXPECT_EQ(press_kind(RegionKind::Reply), EventResult::Consumed);
  const auto* reply = last_intent<core::intent::Reply>(*b.state);
  ASSERT_NE(reply, nullptr);
  EXPECT_EQ(reply->id, id_of(5));
  press_kind(RegionKind::Archive);
  press_kind(RegionKind::Delete);
  press_kind(RegionKind::Star);
  press_kind(RegionKind::MarkUnread);
  using A = MessageAction;
  EXPECT_EQ(b.host.actions,
            (std::vector<std::pair<MessageId, A>>{
                {id_of(5), A::Archive}, {id_of(5), A::Delete}, {id_of(5), A::ToggleStar}}));
  EXPECT_EQ(b.host.unread_marked, std::vector<MessageId>{id_of(5)});
  EXPECT_EQ(b.press(300, 700), EventResult::Ignored);
}

TEST(Tooltips, RegionTextsFollowState) {
  ListBench b;
  b.add(message(4, FolderRole::Drafts, 1));
  b.state->messages.find_mut(id_of(3))->starred = true;
  const auto tip_at = [&](const vexa::ui::Rect& r) {
    b.state->pointer = PaneBench::centre(r);
    return b.pane.tooltip();
  };
  const auto rows = b.of_kind(RegionKind::MessageRow);
  const auto stars = b.of_kind(RegionKind::RowStar);
  EXPECT_EQ(tip_at(stars[0].rect), "Unstar (S)");
  EXPECT_EQ(tip_at(stars[1].rect), "Star (S)");
  EXPECT_EQ(
      tip_at({rows[0].rect.left, rows[0].rect.top, rows[0].rect.left + 10, rows[0].rect.top + 10}),
      "Open message");
  EXPECT_EQ(tip_at(b.first(RegionKind::SearchField)->rect), "Search mail (/ or Ctrl+F)");
  EXPECT_EQ(tip_at(b.first(RegionKind::Refresh)->rect), "Refresh (F5)");
  EXPECT_EQ(tip_at(b.first(RegionKind::BulkToggle)->rect), "Select messages for bulk actions (X)");
  b.state->pointer = {399, 2};
  EXPECT_EQ(b.pane.tooltip(), std::nullopt);

  b.state->current_folder = FolderRole::Drafts;
  b.layout();
  EXPECT_EQ(tip_at(b.first(RegionKind::MessageRow)->rect), "Edit draft");

  b.state->bulk_mode = true;
  b.state->bulk_selection = {id_of(99)};
  b.layout();
  EXPECT_EQ(tip_at(b.first(RegionKind::BulkToggle)->rect), "Done selecting messages (Esc)");
  EXPECT_EQ(tip_at(b.first(RegionKind::SelectAll)->rect), "Select all visible messages");
  EXPECT_EQ(tip_at(b.of_kind(RegionKind::BulkButton).back().rect),
            "Move selected messages to Trash (Delete)");

  PaneBench reader(PaneKind::Reader, {0, 0, 600, 800});
  reader.add(message(5));
  reader.state->messages.find_mut(id_of(5))->starred = true;
  reader.state->selected_message = id_of(5);
  reader.layout();
  reader.state->pointer = PaneBench::centre(reader.first(RegionKind::Star)->rect);
  EXPECT_EQ(reader.pane.tooltip(), "Unstar (S)");
  reader.state->pointer = PaneBench::centre(reader.first(RegionKind::Delete)->rect);
  EXPECT_EQ(reader.pane.tooltip(), "Delete (Delete)");
  reader.state->pointer = {300, 700};
  EXPECT_EQ(reader.pane.tooltip(), std::nullopt);

  PaneBench sidebar(PaneKind::Sidebar, {0, 0, 260, 900});
  sidebar.state->accounts = {account("a@example.com")};
  sidebar.layout();
  const auto expander = sidebar.first(RegionKind::AccountExpander)->rect;
  sidebar.state->pointer = PaneBench::centre(expander);
  EXPECT_EQ(sidebar.pane.tooltip(), "Expand or collapse account");
  sidebar.state->pointer = {150, PaneBench::centre(expander).y};
  EXPECT_EQ(sidebar.pane.tooltip(), "Open account");
}

}  // namespace
}  // namespace mail::views
