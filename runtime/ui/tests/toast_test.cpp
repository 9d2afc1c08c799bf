#include "vexa/ui/toast.h"

#include <gtest/gtest.h>

#include <string>

#include "vexa/ui/canvas.h"
#include "vexa/ui/text.h"

namespace vexa::ui {
namespace {

TEST(Toast, PaintsAPillAtTheBottomCentreAndRecordsItsText) {
  RasterSurface surface({800, 600});
  TextRenderer text;
  toast::begin_frame();
  auto canvas = surface.canvas();
  const Rect pill = toast::paint_transient(*canvas, text, {0, 0, 800, 600}, "Syncing Inbox…", 0);
  EXPECT_FALSE(pill.empty());
  EXPECT_NEAR((pill.left + pill.right) / 2, 400, 1e-6);
  EXPECT_LT(pill.bottom, 600);
  EXPECT_GT(pill.top, 500);
  EXPECT_EQ(toast::last_painted_text(), "Syncing Inbox…");

  toast::begin_frame();
  EXPECT_EQ(toast::last_painted_text(), std::nullopt) << "a frame without a toast clears it";
  EXPECT_TRUE(toast::paint_transient(*canvas, text, {0, 0, 800, 600}, "", 1).empty());
  EXPECT_EQ(toast::last_painted_text(), std::nullopt);
}

TEST(Toast, LongTextStaysInsideTheWindow) {
  RasterSurface surface({320, 200});
  TextRenderer text;
  auto canvas = surface.canvas();
  const std::string message(400, 'x');
  const Rect pill = toast::paint_transient(*canvas, text, {0, 0, 320, 200}, message, 3);
  EXPECT_GE(pill.left, 24 - 1e-6);
  EXPECT_LE(pill.right, 296 + 1e-6);
  EXPECT_EQ(toast::last_painted_text(), message) << "the record is the full text, not the elided";
}

TEST(Toast, TonesAreDistinguishable) {
  auto centre_colour = [](int tone) {
    RasterSurface surface({400, 200});
    TextRenderer text;
    std::uint32_t px = 0;
    {
      auto canvas = surface.canvas();
      const Rect pill = toast::paint_transient(*canvas, text, {0, 0, 400, 200}, "Message", tone);
      // Just inside the left end, below the dot: pill fill only.
      px = surface.pixel(static_cast<int>(pill.left + pill.height() / 2),
                         static_cast<int>(pill.bottom - 5));
    }
    return px;
  };
  EXPECT_NE(centre_colour(0), centre_colour(3));
  EXPECT_NE(centre_colour(2), centre_colour(3));
  EXPECT_NE(centre_colour(0), centre_colour(2));
}

}  // namespace
}  // namespace vexa::ui
