#include "vexa/ui/canvas.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

namespace vexa::ui {
namespace {

constexpr std::uint32_t kRed = 0xffff0000;
constexpr std::uint32_t kClear = 0x00000000;

struct Probe {
  double x;  // logical
  double y;
  std::uint32_t argb;
};

struct DrawCase {
  std::string name;
  std::function<void(Canvas&)> draw;
  std::vector<Probe> probes;
};

class Drawing : public ::testing::TestWithParam<DrawCase> {};

// Each case draws red on a transparent 40 × 40 logical canvas at scale 2 and probes pixel
// centres in logical coordinates.
TEST_P(Drawing, PaintsWhereExpected) {
  const DrawCase& c = GetParam();
  RasterSurface surface({40, 40}, 2.0);
  ASSERT_EQ(surface.pixel_width(), 80);
  {
    auto canvas = surface.canvas();
    canvas->clear(Color{0, 0, 0, 0});
    c.draw(*canvas);
  }
  for (const Probe& p : c.probes) {
    EXPECT_EQ(surface.pixel(static_cast<int>(p.x * 2), static_cast<int>(p.y * 2)), p.argb)
        << c.name << " at " << p.x << "," << p.y;
  }
}

const Color red{1, 0, 0, 1};

INSTANTIATE_TEST_SUITE_P(
    Canvas, Drawing,
    ::testing::Values(
        DrawCase{"fill_rect_in_logical_pixels",
                 [](Canvas& c) {
                   c.fill_rect({10, 10, 20, 20}, red);
                 },
                 {{10.2, 10.2, kRed}, {19.8, 19.8, kRed}, {9.7, 15, kClear}, {20.2, 15, kClear}}},
        DrawCase{"rounded_corners_stay_clear",
                 [](Canvas& c) {
                   c.fill_rounded_rect({0, 0, 40, 40}, 12, red);
                 },
                 {{0.5, 0.5, kClear}, {20, 20, kRed}, {20, 0.5, kRed}}},
        DrawCase{"clip_limits_and_pop_restores",
                 [](Canvas& c) {
                   c.push_clip({0, 0, 20, 40});
                   c.fill_rect({0, 0, 40, 20}, red);
                   c.pop_clip();
                   c.fill_rect({0, 30, 40, 40}, red);
                 },
                 {{10, 10, kRed}, {30, 10, kClear}, {30, 35, kRed}}},
        DrawCase{"translate_moves_drawing",
                 [](Canvas& c) {
                   c.save();
                   c.translate(20, 20);
                   c.fill_rect({0, 0, 5, 5}, red);
                   c.restore();
                   c.fill_rect({0, 0, 5, 5}, red);
                 },
                 {{22, 22, kRed}, {2, 2, kRed}, {10, 10, kClear}}},
        DrawCase{"circle",
                 [](Canvas& c) {
                   c.fill_circle({20, 20}, 10, red);
                 },
                 {{20, 20, kRed}, {20, 11, kRed}, {12, 12, kClear}}},
        DrawCase{"stroke_stays_inside",
                 [](Canvas& c) {
                   c.stroke_rect({10, 10, 30, 30}, red, 2);
                 },
                 {{10.5, 20, kRed}, {9.5, 20, kClear}, {20, 20, kClear}}},
        DrawCase{"unbalanced_clip_does_not_leak",
                 [](Canvas& c) {
                   c.push_clip({0, 0, 1, 1});
                 },
                 {}}),
    [](const auto& info) { return info.param.name; });

TEST(Canvas, ClipsDoNotLeakIntoTheNextCanvas) {
  RasterSurface surface({10, 10});
  {
    auto canvas = surface.canvas();
    canvas->push_clip({0, 0, 1, 1});
  }
  auto canvas = surface.canvas();
  canvas->fill_rect({0, 0, 10, 10}, red);
  EXPECT_EQ(surface.pixel(5, 5), kRed);
}

TEST(RasterSurface, WritesAPngOfThePhysicalSize) {
  const auto path = std::filesystem::temp_directory_path() / "vexa-canvas-test.png";
  RasterSurface surface({30, 20}, 1.5);
  surface.canvas()->clear(Color::hex(0x336699));
  ASSERT_TRUE(surface.write_png(path).has_value());
  std::ifstream in(path, std::ios::binary);
  std::vector<unsigned char> head(24);
  in.read(reinterpret_cast<char*>(head.data()), 24);
  ASSERT_EQ(in.gcount(), 24);
  EXPECT_EQ(head[1], 'P');
  EXPECT_EQ(head[2], 'N');
  auto be32 = [&](int at) {
    return (head[at] << 24) | (head[at + 1] << 16) | (head[at + 2] << 8) | head[at + 3];
  };
  EXPECT_EQ(be32(16), 45);
  EXPECT_EQ(be32(20), 30);
  std::filesystem::remove(path);

  EXPECT_FALSE(surface.write_png("/nonexistent-dir/x.png").has_value());
}

}  // namespace
}  // namespace vexa::ui
