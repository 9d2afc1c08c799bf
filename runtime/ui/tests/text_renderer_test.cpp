#include <glib.h>
#include <gtest/gtest.h>

#include <string>

#include "vexa/ui/canvas.h"
#include "vexa/ui/text.h"

namespace vexa::ui {
namespace {

TEST(TextRenderer, MeasuresFractionallyAndScales) {
  TextRenderer text;
  const TextMetrics short_m = text.measure("Inbox", 14);
  const TextMetrics long_m = text.measure("Inbox and Archive", 14);
  EXPECT_GT(short_m.width, 0);
  EXPECT_GT(long_m.width, short_m.width);
  EXPECT_GT(short_m.height, 14);
  EXPECT_GT(short_m.baseline, 0);
  EXPECT_LT(short_m.baseline, short_m.height);
  EXPECT_GT(text.measure_weighted("Inbox", 14, FontWeight::Bold).width, short_m.width);

  // Unhinted metrics scale linearly, so doubling the text scale doubles the width.
  text.set_text_scale(2.0f);
  EXPECT_NEAR(text.measure("Inbox and Archive", 14).width, 2 * long_m.width, 0.02 * long_m.width);
  text.set_text_scale(-3.0f);
  EXPECT_EQ(text.text_scale(), 1.0f);

  const TextMetrics empty = text.measure("", 14);
  EXPECT_EQ(empty.width, 0);
  EXPECT_GT(empty.height, 0) << "an empty line still has a line box";
}

TEST(TextRenderer, RepeatedMeasuresReuseTheCache) {
  TextRenderer::clear_cache();
  TextRenderer a;
  a.measure("cached line", 13);
  const std::size_t after_first = TextRenderer::cache_size();
  TextRenderer b;  // another renderer on the same thread shares the shaping
  b.measure("cached line", 13);
  a.measure("cached line", 13);
  EXPECT_EQ(TextRenderer::cache_size(), after_first);
  a.measure("cached line", 14);
  EXPECT_EQ(TextRenderer::cache_size(), after_first + 1);
}

TEST(TextRenderer, InvalidUtf8IsMeasuredNotRejected) {
  TextRenderer text;
  const std::string bad = std::string("abc") + '\xff' + '\xfe' + "def";
  EXPECT_GT(text.measure(bad, 14).width, text.measure("abcdef", 14).width * 0.9);
  const std::string elided = text.elide_to_width(bad, 14, 30);
  EXPECT_TRUE(g_utf8_validate(elided.data(), static_cast<gssize>(elided.size()), nullptr));
}

struct ElideCase {
  std::string name;
  std::string input;
  double max_width;  // as a multiple of the full text's width when > 0, else pixels of -value
  std::string expect_prefix;
  bool expect_ellipsis;
};

class Elide : public ::testing::TestWithParam<ElideCase> {};

TEST_P(Elide, FitsTheWidth) {
  const ElideCase& c = GetParam();
  TextRenderer text;
  const double full = text.measure(c.input, 14).width;
  const double max = c.max_width > 0 ? full * c.max_width : -c.max_width;
  const std::string out = text.elide_to_width(c.input, 14, max);
  EXPECT_LE(text.measure(out, 14).width, max + 1e-9) << out;
  EXPECT_TRUE(g_utf8_validate(out.data(), static_cast<gssize>(out.size()), nullptr)) << out;
  EXPECT_EQ(out.rfind(c.expect_prefix, 0), 0u) << out;
  const std::string ellipsis = "…";
  const bool ends = out.size() >= ellipsis.size() &&
                    out.compare(out.size() - ellipsis.size(), ellipsis.size(), ellipsis) == 0;
  EXPECT_EQ(ends, c.expect_ellipsis) << out;
  if (c.expect_ellipsis) {
    EXPECT_NE(out[out.size() - ellipsis.size() - 1], ' ') << "space before the ellipsis";
  }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, Elide,
    ::testing::Values(ElideCase{"fits", "Quarterly report", 1.0, "Quarterly report", false},
                      ElideCase{"cut", "Quarterly report attached", 0.6, "Quarterly", true},
                      ElideCase{"multibyte", "Ünïcödé ñämé with àccents", 0.5, "Ünï", true},
                      ElideCase{"emoji", "📎📎📎📎📎📎📎📎📎📎 attachments", 0.4, "📎", true},
                      ElideCase{"nothing fits", "Quarterly", -2.0, "", false}),
    [](const auto& info) {
      std::string n = info.param.name;
      for (char& ch : n) {
        if (ch == ' ') ch = '_';
      }
      return n;
    });

TEST(TextRenderer, WrappingNarrowerIsTaller) {
  TextRenderer text;
  const std::string body = "Add your email account to start reading and sending mail.";
  const TextMetrics wide = text.measure_wrapped(body, 14, FontWeight::Regular, 1000);
  const TextMetrics narrow = text.measure_wrapped(body, 14, FontWeight::Regular, 120);
  EXPECT_GT(narrow.height, 2.5 * wide.height);
  EXPECT_LE(narrow.width, 120.0 + 1e-9);
}

TEST(TextRenderer, DrawsInsideItsLineBox) {
  TextRenderer text;
  RasterSurface surface({200, 60}, 2.0);
  {
    auto canvas = surface.canvas();
    canvas->clear(Color{0, 0, 0, 0});
    text.draw_text(*canvas, "Hello", 20, 10, 16, Color{1, 1, 1, 1});
  }
  const TextMetrics m = text.measure("Hello", 16);
  int inside = 0, outside = 0;
  for (int y = 0; y < surface.pixel_height(); ++y) {
    for (int x = 0; x < surface.pixel_width(); ++x) {
      if ((surface.pixel(x, y) >> 24) == 0) continue;
      const double lx = x / 2.0, ly = y / 2.0;
      const bool in_box = lx >= 19 && lx <= 21 + m.width && ly >= 9 && ly <= 11 + m.height;
      (in_box ? inside : outside)++;
    }
  }
  EXPECT_GT(inside, 50);
  EXPECT_EQ(outside, 0);
}

}  // namespace
}  // namespace vexa::ui
