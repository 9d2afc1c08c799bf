#include <gtest/gtest.h>

#include "pane_fixture.h"

namespace mail::views {
namespace {

using testing::account;
using testing::id_of;
using testing::message;
using testing::PaneBench;
using vexa::ui::Rect;

std::vector<double> widths(const PaneBench& b) {
  std::vector<double> out;
  for (const HitRegion& r : b.pane.regions()) out.push_back(r.rect.width());
  return out;
}

TEST(ReaderLayout, ButtonWidthsAndStartFollowTheArrangement) {
  const std::vector<double> icons(5, 38);
  const std::vector<double> labelled = {78, 88, 78, 64, 104};
  struct Case {
    double width;
    bool narrow;
    bool detail;
    std::vector<double> widths;
    double start;
  };
  const std::vector<Case> cases = {
      {479, false, false, icons, 20},
      {480, false, false, labelled, 20},
      {800, true, true, icons, 118},
      {800, true, false, icons, 20},
  };
  for (const Case& c : cases) {
    PaneBench b(PaneKind::Reader, {300, 10, 300 + c.width, 700});
    b.add(message(1));
    b.state->selected_message = id_of(1);
    b.state->layout = {.narrow = c.narrow, .detail_shown = c.detail};
    b.layout();
    EXPECT_EQ(widths(b), c.widths) << c.width;
    ASSERT_EQ(b.pane.regions().size(), 5u);
    const auto& regions = b.pane.regions();
    EXPECT_EQ(regions[0].kind, RegionKind::Reply);
    EXPECT_EQ(regions[4].kind, RegionKind::MarkUnread);
    EXPECT_EQ(regions[0].rect.left, 300 + c.start);
    EXPECT_EQ(regions[1].rect.left, regions[0].rect.right + 8);
  }
}

TEST(ReaderLayout, LargeTextMovesToolbarDown) {
  for (const auto& [scale, top] :
       std::vector<std::pair<float, double>>{{1.0f, 22}, {1.25f, 22}, {1.3f, 78}}) {
    PaneBench b(PaneKind::Reader, {0, 10, 600, 700});
    b.add(message(1));
    b.state->selected_message = id_of(1);
    b.pane.set_text_scale(scale);
    b.layout();
    ASSERT_FALSE(b.pane.regions().empty());
    EXPECT_EQ(b.pane.regions()[0].rect.top, top) << scale;
    EXPECT_EQ(b.pane.regions()[0].rect.bottom, top + 32) << scale;
  }
}

TEST(ReaderLayout, NoToolbarWithoutSelectionOrInBulkMode) {
  PaneBench b(PaneKind::Reader);
  b.add(message(1));
  b.layout();
  EXPECT_TRUE(b.pane.regions().empty());
  b.state->selected_message = id_of(1);
  b.state->bulk_mode = true;
  b.layout();
  EXPECT_TRUE(b.pane.regions().empty());
}

TEST(ListLayout, SearchFieldIsClampedAndKeepsClearOfTheInset) {
  struct Case {
    double width;
    bool sidebar_shown;  // wide with the sidebar: inset 20, else the shell control's 52
    double x0;
  };
  const std::vector<Case> cases = {
      {400, true, 158},   // 46 % of the width
      {1000, true, 712},  // at most 230
      {300, true, 102},   // at least 140
      {200, true, 90},    // never within 70 of the inset
      {300, false, 122},
  };
  for (const Case& c : cases) {
    PaneBench b(PaneKind::List, {100, 0, 100 + c.width, 800});
    b.state->layout = {.sidebar_shown = c.sidebar_shown};
    b.layout();
    const auto field = b.first(RegionKind::SearchField);
    ASSERT_TRUE(field) << c.width;
    const double right = 100 + c.width;
    EXPECT_EQ(field->rect, (Rect{100 + c.x0, 12, right - 58, 44})) << c.width;
    EXPECT_EQ(b.first(RegionKind::Refresh)->rect, (Rect{right - 48, 12, right - 16, 44}));
  }
}

TEST(ListLayout, ShellControlRectangleSetsTheInset) {
  PaneBench b(PaneKind::List, {0, 0, 400, 800});
  b.state->shell_control = {0, 0, 96, 40};
  b.state->shell_control_present = true;
  b.pane.set_text_scale(1.5f);
  b.layout();
  // inset = 96 + 4 = 100, scaled for the toggle.
  EXPECT_EQ(b.first(RegionKind::BulkToggle)->rect, (Rect{150, 18, 198, 66}));
}

TEST(ListLayout, ClearButtonOnlyWithQueryAndNoSearchInBulkMode) {
  PaneBench b(PaneKind::List);
  b.layout();
  EXPECT_FALSE(b.first(RegionKind::ClearSearch));
  b.state->search_query = "x";
  b.layout();
  const auto clear = b.first(RegionKind::ClearSearch);
  ASSERT_TRUE(clear);
  EXPECT_EQ(clear->rect.right, b.first(RegionKind::SearchField)->rect.right);
  EXPECT_EQ(clear->rect.width(), 26);
  b.state->bulk_mode = true;
  b.layout();
  EXPECT_FALSE(b.first(RegionKind::SearchField));
  EXPECT_FALSE(b.first(RegionKind::ClearSearch));
}

TEST(ListLayout, BulkPanelGeometry) {
  PaneBench b(PaneKind::List, {0, 0, 414, 800});
  b.state->bulk_mode = true;
  b.layout();
  // a = 14, c = 400, m = 14 + (386 - 8) / 2 = 203, first row at 56 + 6.
  EXPECT_EQ(b.first(RegionKind::SelectAll)->rect, (Rect{14, 62, 203, 100}));
  const auto buttons = b.of_kind(RegionKind::BulkButton);
  ASSERT_EQ(buttons.size(), 4u);
  EXPECT_EQ(buttons[0].bulk, BulkAction::Archive);
  EXPECT_EQ(buttons[0].rect, (Rect{211, 62, 400, 100}));
  EXPECT_EQ(buttons[1].bulk, BulkAction::MarkRead);
  EXPECT_EQ(buttons[1].rect, (Rect{14, 107, 203, 145}));
  EXPECT_EQ(buttons[2].bulk, BulkAction::MarkUnread);
  EXPECT_EQ(buttons[3].rect, (Rect{14, 152, 400, 190}));
}

TEST(ListLayout, LastBulkButtonDeletesOnlyAnAllTrashSelection) {
  struct Case {
    const char* name;
    std::vector<int> selected;
    BulkAction last;
  };
  const std::vector<Case> cases = {
      {"empty", {}, BulkAction::MoveToTrash},
      {"all in Trash", {1, 2}, BulkAction::DeletePermanently},
      {"one elsewhere", {1, 3}, BulkAction::MoveToTrash},
      {"one missing", {1, 9}, BulkAction::MoveToTrash},
  };
  for (const Case& c : cases) {
    PaneBench b(PaneKind::List);
    b.add(message(1, FolderRole::Trash));
    b.add(message(2, FolderRole::Trash));
    b.add(message(3, FolderRole::Inbox));
    b.state->bulk_mode = true;
    for (int n : c.selected) b.state->bulk_selection.push_back(id_of(n));
    b.layout();
    EXPECT_EQ(b.of_kind(RegionKind::BulkButton).back().bulk, c.last) << c.name;
  }
}

TEST(ListLayout, RowsStopAtThePaneBottom) {
  PaneBench b(PaneKind::List, {0, 0, 400, 300});
  for (int n = 1; n <= 10; ++n) b.add(message(n));
  b.layout();
  const auto rows = b.of_kind(RegionKind::MessageRow);
  // Rows start under the 56 header, 79 apart: 56, 135, 214, 293; the next would start at 372.
  ASSERT_EQ(rows.size(), 4u);
  EXPECT_EQ(rows[0].rect, (Rect{0, 56, 400, 135}));
  EXPECT_EQ(rows[3].rect.top, 293);
  EXPECT_EQ(rows[0].message, id_of(10));  // newest first
  const auto stars = b.of_kind(RegionKind::RowStar);
  ASSERT_EQ(stars.size(), 4u);
  EXPECT_EQ(stars[0].rect, (Rect{358, 56 + 59.6875 - 12, 382, 56 + 59.6875 + 12}));

  b.state->bulk_mode = true;
  b.layout();
  EXPECT_EQ(b.first(RegionKind::MessageRow)->rect.top, 196);  // below the 140 panel
}

TEST(SidebarLayout, AccountsFoldersAndAddAccount) {
  PaneBench b(PaneKind::Sidebar, {0, 0, 260, 900});
  b.state->accounts = {account("a@example.com"), account("b@example.com", /*collapsed=*/true)};
  b.layout();
  EXPECT_EQ(b.first(RegionKind::ComposeButton)->rect, (Rect{12, 56, 248, 96}));
  const auto accounts = b.of_kind(RegionKind::AccountRow);
  ASSERT_EQ(accounts.size(), 2u);
  EXPECT_EQ(accounts[0].rect, (Rect{8, 110, 252, 154}));
  EXPECT_EQ(b.of_kind(RegionKind::AccountExpander)[0].rect, (Rect{8, 110, 36, 154}));
  EXPECT_EQ(b.of_kind(RegionKind::AccountSettings)[0].rect, (Rect{216, 117, 246, 147}));

  const auto folders = b.of_kind(RegionKind::FolderRow);
  ASSERT_EQ(folders.size(), 7u);  // only the expanded account has folder rows
  std::vector<FolderRole> order;
  for (const auto& f : folders) {
    EXPECT_EQ(f.account, 0u);
    order.push_back(f.folder);
  }
  EXPECT_EQ(order, (std::vector<FolderRole>{
                       FolderRole::Inbox, FolderRole::Starred, FolderRole::Sent, FolderRole::Drafts,
                       FolderRole::Archive, FolderRole::Junk, FolderRole::Trash}));
  EXPECT_EQ(folders[0].rect, (Rect{14, 160, 250, 196}));
  // Second account 16 below the last folder row; collapsed, so the next slot is 60 lower.
  EXPECT_EQ(accounts[1].rect.top, 160 + 7 * 36 + 16);
  EXPECT_EQ(b.first(RegionKind::AddAccount)->rect, (Rect{8, 488, 252, 526}));
}

}  // namespace
}  // namespace mail::views
