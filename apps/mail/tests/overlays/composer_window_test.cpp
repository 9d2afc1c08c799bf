#include "overlays/composer_window.h"

#include <gtest/gtest.h>

namespace mail::core {
namespace {

using Grab = ComposerWindow::Grab;

TEST(ComposerWindow, PlacementFollowsTheWindowAndTheSizeFactor) {
  struct Case {
    const char* name;
    vexa::ui::Rect window;
    double k;
    bool docked;
    vexa::ui::Rect expected;
  };
  const Case cases[] = {
      {"centred", {0, 0, 1280, 800}, 1.0, false, {360, 170, 920, 630}},
      {"small window keeps the minimum, 8 below the top",
       {0, 0, 300, 200},
       1.0,
       false,
       {-40, 8, 340, 348}},
      {"docked top right", {0, 0, 1280, 800}, 1.0, true, {704, 16, 1264, 476}},
      {"docked bottom stays 16 above the window's",
       {0, 0, 1280, 400},
       1.5,
       true,
       {1264 - 840, 16, 1264, 384}},
  };
  for (const Case& c : cases) {
    ComposerWindow w;
    w.size_factor = c.k;
    w.docked = c.docked;
    w.place(c.window);
    EXPECT_EQ(w.rect(), c.expected) << c.name;
    w.place({0, 0, 10, 10});
    EXPECT_EQ(w.rect(), c.expected) << c.name << ": placed only once";
  }
}

TEST(ComposerWindow, PressesGrabEdgesCornersAndTheTitleBar) {
  ComposerWindow w;
  w.set_rect({100, 100, 600, 500});
  struct Case {
    vexa::ui::Point p;
    Grab grab;
  };
  const Case cases[] = {
      {{595, 300}, Grab::Right},  {{595, 495}, Grab::BottomRight}, {{104, 495}, Grab::BottomLeft},
      {{104, 300}, Grab::Left},   {{104, 120}, Grab::Move},  // the title bar's left end moves
      {{300, 496}, Grab::Bottom}, {{300, 110}, Grab::Move},        {{300, 300}, Grab::None},
      {{700, 300}, Grab::None},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(w.zone(c.p), c.grab) << c.p.x << "," << c.p.y;
  }
}

TEST(ComposerWindow, DraggingMovesOrResizesWithinTheMinimumSize) {
  struct Case {
    vexa::ui::Point press, to;
    vexa::ui::Rect expected;
  };
  const Case cases[] = {
      {{300, 110}, {350, 60}, {150, 50, 650, 450}},    // moved, same size
      {{595, 300}, {700, 900}, {100, 100, 705, 500}},  // right edge only
      {{595, 300}, {100, 300}, {100, 100, 480, 500}},  // at least 380 wide
      {{104, 300}, {500, 300}, {220, 100, 600, 500}},  // left edge, at least 380 wide
      {{300, 496}, {300, 120}, {100, 100, 600, 440}},  // at least 340 high
      {{595, 495}, {645, 545}, {100, 100, 650, 550}},  // corner
  };
  for (const Case& c : cases) {
    ComposerWindow w;
    w.set_rect({100, 100, 600, 500});
    ASSERT_NE(w.press(c.press), Grab::None);
    w.drag({c.press.x + 1, c.press.y});  // moves are relative to the press, not cumulative
    EXPECT_TRUE(w.drag(c.to));
    EXPECT_EQ(w.rect(), c.expected) << c.press.x << "," << c.press.y;
    w.release();
    EXPECT_FALSE(w.drag({0, 0}));
  }
}

}  // namespace
}  // namespace mail::core
