#include <gtest/gtest.h>

#include "pane_fixture.h"
#include "vexa/ui/canvas.h"

namespace mail::views {
namespace {

using testing::account;
using testing::id_of;
using testing::message;
using testing::PaneBench;

void draw(PaneBench& b, vexa::ui::RasterSurface& surface) {
  auto canvas = surface.canvas();
  b.pane.draw(*canvas);
}

TEST(ListDraw, RowsShowUnreadDotAndSelection) {
  PaneBench b(PaneKind::List, {0, 0, 400, 400});
  for (int n = 1; n <= 3; ++n) {
    auto m = message(n);
    m.seen = n != 3;
    b.add(std::move(m));
  }
  b.state->selected_message = id_of(2);
  b.layout();
  vexa::ui::RasterSurface surface({400, 400});
  draw(b, surface);

  const ListMetrics& m = b.pane.metrics();
  EXPECT_GT(m.sender_line_height, 0);
  EXPECT_GE(m.row_height, 78);
  EXPECT_GT(m.star_offset, m.snippet_line_top);
  // The regions follow the measured metrics straight away.
  const auto rows = b.of_kind(RegionKind::MessageRow);
  ASSERT_EQ(rows.size(), 3u);
  EXPECT_EQ(rows[0].rect.top, m.header_height);
  EXPECT_EQ(rows[1].rect.top, m.header_height + m.row_height);

  const auto at = [&](double x, double y) {
    return surface.pixel(static_cast<int>(x), static_cast<int>(y));
  };
  const double dot = m.avatar_centre_offset;
  // Row 0 is unseen, row 2 seen; row 1 is selected.
  EXPECT_NE(at(12, rows[0].rect.top + dot), at(12, rows[2].rect.top + dot));
  const double empty_x = 396;
  EXPECT_NE(at(empty_x, rows[1].rect.top + 40), at(empty_x, rows[2].rect.top + 40));
  EXPECT_EQ(at(empty_x, rows[2].rect.top + 40), at(empty_x, 395));  // plain background
  // Something is written in the text column of every row.
  for (const auto& row : rows) {
    bool inked = false;
    const double x0 = 25 + 2 * m.avatar_radius + 12;
    for (int x = static_cast<int>(x0); x < 300 && !inked; ++x) {
      for (int y = static_cast<int>(row.rect.top); y < row.rect.bottom - 2 && !inked; ++y) {
        inked = at(x, y) != at(empty_x, row.rect.top + 40);
      }
    }
    EXPECT_TRUE(inked);
  }
}

TEST(ListDraw, SearchFocusRequestFocusesTheField) {
  PaneBench b(PaneKind::List, {0, 0, 400, 400});
  b.state->search_focus_request = true;
  b.layout();
  vexa::ui::RasterSurface surface({400, 400});
  draw(b, surface);
  EXPECT_FALSE(b.state->search_focus_request);
  EXPECT_TRUE(b.state->search_focus);
  EXPECT_TRUE(b.pane.search_input()->focused());
}

TEST(ReaderDraw, AttachmentChipsBecomeSaveTargets) {
  PaneBench b(PaneKind::Reader, {0, 0, 600, 800});
  auto m = message(5);
  m.attachments = {{.filename = "report.pdf", .size = 2048}, {.filename = "a.png", .size = 10}};
  m.body_text = "Hello\n\n> quoted\nBye";
  b.add(std::move(m));
  b.state->selected_message = id_of(5);
  b.layout();
  vexa::ui::RasterSurface surface({600, 800});
  draw(b, surface);

  const auto& chips = b.pane.attachment_regions();
  ASSERT_EQ(chips.size(), 2u);
  EXPECT_EQ(chips[1].second, 1u);
  EXPECT_EQ(chips[0].first.height(), 30);
  EXPECT_EQ(chips[0].first.top, chips[1].first.top);  // both fit on one line
  const auto chip = PaneBench::centre(chips[1].first);
  b.state->pointer = chip;
  EXPECT_EQ(b.pane.tooltip(), "Save attachment");
  b.press(chip.x, chip.y);
  ASSERT_FALSE(b.state->intents.empty());
  const auto* save = std::get_if<core::intent::SaveAttachment>(&b.state->intents.back());
  ASSERT_NE(save, nullptr);
  EXPECT_EQ(save->id, id_of(5));
  EXPECT_EQ(save->index, 1u);

  // A draw without the message forgets the chips.
  b.state->selected_message.reset();
  draw(b, surface);
  EXPECT_TRUE(b.pane.attachment_regions().empty());
}

TEST(SidebarDraw, CurrentFolderRowIsFilled) {
  PaneBench b(PaneKind::Sidebar, {0, 0, 260, 900});
  b.state->accounts = {account("a@example.com")};
  b.state->current_folder = FolderRole::Sent;
  b.layout();
  vexa::ui::RasterSurface surface({260, 900});
  draw(b, surface);
  const auto folders = b.of_kind(RegionKind::FolderRow);
  const auto probe = [&](const HitRegion& r) {
    return surface.pixel(static_cast<int>(r.rect.right - 20), static_cast<int>(r.rect.top + 4));
  };
  EXPECT_NE(probe(folders[2]), probe(folders[1]));  // Sent vs Starred
  EXPECT_EQ(probe(folders[1]), probe(folders[3]));
}

}  // namespace
}  // namespace mail::views
