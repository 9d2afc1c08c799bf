#pragma once
// Text measuring, eliding and drawing. Sizes are font sizes in logical pixels before the text
// scale; the renderer multiplies them by its text scale, so every caller scales the same way.
// Metrics are fractional (no hinting of metrics, no rounding of glyph positions): a string
// measures the same at every device scale.
//
// Renderers are cheap to make: shaped lines are kept in a cache per UI thread that every
// renderer on that thread shares, so a frame does not reshape text that did not change.
#include <cstdint>
#include <string>
#include <string_view>

#include "vexa/ui/canvas.h"

namespace vexa::ui {

enum class FontWeight : std::uint16_t { Regular = 400, Medium = 500, Semibold = 600, Bold = 700 };

enum class TextAlign : std::uint8_t { Left = 0, Center = 1, Right = 2 };

struct TextMetrics {
  double width = 0;
  double height = 0;    // line box height
  double baseline = 0;  // from the top of the line box
};

class TextRenderer {
 public:
  TextRenderer() = default;

  void set_text_scale(float scale);
  float text_scale() const { return scale_; }
  // `size` × text scale: the pixel size the font is shaped at.
  double scaled(double size) const { return size * scale_; }

  TextMetrics measure(std::string_view text, double size) const;
  TextMetrics measure_weighted(std::string_view text, double size, FontWeight weight) const;

  // Draws one line with its line box's top-left corner at (x, y).
  void draw_text(Canvas& canvas, std::string_view text, double x, double y, double size,
                 Color color) const;
  void draw_text_weighted(Canvas& canvas, std::string_view text, double x, double y, double size,
                          FontWeight weight, Color color) const;

  // The text, or its longest prefix followed by "…", that fits `max_width`; empty when not
  // even the ellipsis fits.
  std::string elide_to_width(std::string_view text, double size, double max_width) const;
  std::string elide_to_width_weighted(std::string_view text, double size, FontWeight weight,
                                      double max_width) const;

  // Word-wrapped paragraphs (newlines are kept) within `max_width`.
  TextMetrics measure_wrapped(std::string_view text, double size, FontWeight weight,
                              double max_width) const;
  void draw_wrapped(Canvas& canvas, std::string_view text, double x, double y, double size,
                    FontWeight weight, double max_width, TextAlign align, Color color) const;

  // Drops every cached shaping on this thread (fonts changed, tests).
  static void clear_cache();
  static std::size_t cache_size();

 private:
  float scale_ = 1.0f;
};

}  // namespace vexa::ui
