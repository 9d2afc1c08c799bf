#include "vexa/ui/icon.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

namespace vexa::ui {
namespace {

// Every icon leaves ink inside its rectangle and none outside it, at a HiDPI scale and in a
// rectangle that is not square.
TEST(IconTest, EveryIconDrawsInsideItsRectangle) {
  const double scale = 2;
  const Rect rect{20, 16, 44, 48};
  std::set<std::string> names;
  for (IconName icon : kAllIcons) {
    const std::string name(Icon::name(icon));
    EXPECT_TRUE(names.insert(name).second) << "duplicate name " << name;
    EXPECT_EQ(Icon::from_name(name), icon);

    RasterSurface surface({64, 64}, scale);
    {
      auto canvas = surface.canvas();
      Icon::draw(*canvas, icon, rect, Color{1, 1, 1, 1});
    }
    int inside = 0;
    int outside = 0;
    for (int y = 0; y < surface.pixel_height(); ++y) {
      for (int x = 0; x < surface.pixel_width(); ++x) {
        if ((surface.pixel(x, y) >> 24) == 0) continue;
        const double lx = (x + 0.5) / scale;
        const double ly = (y + 0.5) / scale;
        const bool in = lx >= rect.left && lx < rect.right && ly >= rect.top && ly < rect.bottom;
        ++(in ? inside : outside);
      }
    }
    EXPECT_GT(inside, 40) << name << " drew almost nothing";
    EXPECT_EQ(outside, 0) << name << " spilled out of its rectangle";
  }
  EXPECT_EQ(Icon::from_name("no-such-icon"), std::nullopt);
}

TEST(IconTest, FilledStarCoversMoreThanTheOutline) {
  auto ink = [](IconName icon) {
    RasterSurface surface({24, 24});
    {
      auto canvas = surface.canvas();
      Icon::draw(*canvas, icon, {0, 0, 24, 24}, Color{1, 1, 1, 1});
    }
    return surface.pixel(12, 13) >> 24;
  };
  EXPECT_EQ(ink(IconName::StarFilled), 0xffu);
  EXPECT_EQ(ink(IconName::Star), 0u);
}

}  // namespace
}  // namespace vexa::ui
