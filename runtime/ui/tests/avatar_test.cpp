#include "vexa/ui/avatar.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace vexa::ui {
namespace {

TEST(AvatarTest, InitialsFromTheFirstTwoPieces) {
  struct Case {
    std::string name;
    std::string initials;
  };
  const std::vector<Case> cases = {
      {"sales.team", "ST"},
      {"Ada", "A"},
      {"", "?"},
      {" ._@ ", "?"},
      {"jane doe smith", "JD"},
      {"  leading   spaces", "LS"},
      {"ann@example.com", "AE"},
      {"first_last", "FL"},
      {"élodie martin", "ÉM"},
      {"zoë ürs", "ZÜ"},
      {"ωmega σigma", "ΩΣ"},
      {"анна петрова", "АП"},
      {"李 小龙", "李小"},
      {"😀 smile", "😀S"},
      {"non\u00a0breaking", "NB"},
      {"\xff broken", "\uFFFDB"},
  };
  for (const Case& c : cases) EXPECT_EQ(Avatar::initials(c.name), c.initials) << c.name;
}

TEST(AvatarTest, ColourIndexHashesAddressBytesFromTheSeed) {
  struct Case {
    std::string address;
    std::uint32_t seed;
    std::size_t index;
  };
  const std::vector<Case> cases = {
      {"", 0, 0},
      {"", 5, 5},
      {"a", 0, 1},
      {"a", 1, 0},  // 97 + 31 = 128
      {"ab", 0, 1},
      {"someone@example.com", 0, 7},  // wraps past 32 bits
      {"someone@example.com", 1, 6},
      {"zoë@example.org", 0, 5},  // UTF-8 bytes, not characters
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Avatar::color_index(c.address, c.seed), c.index) << c.address << " / " << c.seed;
  }
}

TEST(AvatarTest, PaletteEndsWithTheTwoFixedColours) {
  const auto palette = Avatar::palette(Theme::dark());
  EXPECT_EQ(palette[6], (Color{0.851, 0.275, 0.937, 1}));
  EXPECT_EQ(palette[7], (Color{0.078, 0.722, 0.651, 1}));
  EXPECT_EQ(palette[0], Theme::dark().colors.accent);
  for (std::size_t i = 0; i < palette.size(); ++i) {
    for (std::size_t j = i + 1; j < palette.size(); ++j) {
      EXPECT_NE(palette[i], palette[j]) << i << " and " << j << " would look alike";
    }
  }
}

TEST(AvatarTest, DrawsACircleInThePaletteColour) {
  RasterSurface surface({80, 80}, 2.0);
  {
    auto canvas = surface.canvas();
    canvas->clear(Color{0, 0, 0, 0});
    Avatar::draw_at(*canvas, {40, 40}, 40, "Sales Team", "someone@example.com", 0, Theme::dark());
  }
  const Color want = Avatar::palette(Theme::dark())[7];
  // Left of the letters, inside the circle.
  const std::uint32_t px = surface.pixel(2 * 24, 2 * 40);
  EXPECT_EQ(px >> 24, 0xffu);
  EXPECT_NEAR(((px >> 16) & 0xff) / 255.0, want.r, 0.01);
  EXPECT_NEAR(((px >> 8) & 0xff) / 255.0, want.g, 0.01);
  EXPECT_NEAR((px & 0xff) / 255.0, want.b, 0.01);
  EXPECT_EQ(surface.pixel(2 * 22, 2 * 22), 0u) << "outside the circle";
}

}  // namespace
}  // namespace vexa::ui
