#include "vexa/ui/modal.h"

#include <gtest/gtest.h>

#include <vector>

namespace vexa::ui {
namespace {

TEST(ModalTest, SheetIsCentredAndBoundedByTheWindow) {
  struct Case {
    Rect window;
    double max_width;
    double content;
    double width;
    bool squeezed;  // the window is too short for the content
  };
  const std::vector<Case> cases = {
      {{0, 0, 1200, 800}, 700, 200, 700, false},
      {{0, 0, 600, 800}, 700, 200, 552, false},
      {{100, 50, 900, 650}, 560, 100, 560, false},
      {{0, 0, 1200, 300}, 700, 900, 700, true},
  };
  for (const Case& c : cases) {
    ModalFrame frame("Keyboard shortcuts", "A description that takes a line.", c.max_width);
    const ModalLayout& l = frame.place(c.window, c.content, Theme::dark());
    EXPECT_DOUBLE_EQ(l.sheet.width(), c.width);
    EXPECT_NEAR((l.sheet.left + l.sheet.right) / 2, (c.window.left + c.window.right) / 2, 1e-9);
    EXPECT_NEAR((l.sheet.top + l.sheet.bottom) / 2, (c.window.top + c.window.bottom) / 2, 1e-9);
    EXPECT_LE(l.sheet.height(), c.window.height() - 48);
    EXPECT_GE(l.content.top, l.description_top) << "content starts below the header";
    EXPECT_LE(l.content.bottom, l.sheet.bottom);
    EXPECT_GE(l.content.left, l.sheet.left);
    EXPECT_LE(l.content.right, l.sheet.right);
    if (c.squeezed) {
      EXPECT_LT(l.content.height(), c.content);
    } else {
      EXPECT_DOUBLE_EQ(l.content.height(), c.content);
    }
  }
}

TEST(ModalTest, DescriptionTakesRoomInTheHeader) {
  ModalFrame plain("Shortcuts");
  ModalFrame described("Shortcuts", "Mail’s shortcuts use the same actions as buttons and menus.");
  const Rect window{0, 0, 800, 600};
  const double plain_top =
      plain.place(window, 100, Theme::dark()).content.top - plain.layout().sheet.top;
  const double described_top =
      described.place(window, 100, Theme::dark()).content.top - described.layout().sheet.top;
  EXPECT_GT(described_top, plain_top);
}

TEST(ModalTest, DismissesOnlyOnTheBackdrop) {
  ModalFrame frame("Title");
  const ModalLayout& l = frame.place({0, 0, 800, 600}, 200, Theme::dark());
  const Rect s = l.sheet;
  struct Case {
    Point p;
    bool dismisses;
  };
  const std::vector<Case> cases = {
      {{(s.left + s.right) / 2, (s.top + s.bottom) / 2}, false},
      {{s.left, s.top}, false},
      {{s.right - 0.5, s.bottom - 0.5}, false},
      {{s.right, s.top + 10}, true},
      {{s.left - 1, s.top + 10}, true},
      {{s.left + 10, s.bottom}, true},
      {{5, 5}, true},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(l.dismisses(c.p), c.dismisses) << c.p.x << "," << c.p.y;
  }
  EXPECT_TRUE(ModalLayout{}.dismisses({10, 10})) << "an unplaced sheet holds nothing";
}

TEST(ModalTest, DrawsADimmedBackdropAndTheSheet) {
  ModalFrame frame("Title");
  frame.place({0, 0, 400, 300}, 80, Theme::dark());
  RasterSurface surface({400, 300});
  {
    auto canvas = surface.canvas();
    canvas->clear(Color{1, 1, 1, 1});
    frame.draw(*canvas);
  }
  const std::uint32_t backdrop = surface.pixel(3, 3);
  EXPECT_LT((backdrop >> 16) & 0xff, 160u) << "the window behind is dimmed";
  const Rect sheet = frame.layout().sheet;
  const std::uint32_t inside =
      surface.pixel(static_cast<int>(sheet.right - 20), static_cast<int>(sheet.bottom - 20));
  const Color raised = Theme::dark().colors.surface_raised;
  EXPECT_NEAR(((inside >> 16) & 0xff) / 255.0, raised.r, 0.01);
}

}  // namespace
}  // namespace vexa::ui
