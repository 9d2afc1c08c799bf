#pragma once
// One canvas for the whole UI: drawing in logical pixels over a cairo context. The device scale
// (HiDPI) is applied once when the canvas is made, so callers never see physical pixels.
#include <cstdint>
#include <expected>
#include <filesystem>
#include <memory>
#include <string>

#include "vexa/ui/geometry.h"

extern "C" {
typedef struct _cairo cairo_t;
typedef struct _cairo_surface cairo_surface_t;
}

namespace vexa::ui {

class Image;

struct Color {
  double r = 0;
  double g = 0;
  double b = 0;
  double a = 1;

  // 0xRRGGBB.
  static constexpr Color hex(std::uint32_t rgb, double alpha = 1.0) {
    return {((rgb >> 16) & 0xff) / 255.0, ((rgb >> 8) & 0xff) / 255.0, (rgb & 0xff) / 255.0, alpha};
  }
  constexpr Color with_alpha(double alpha) const { return {r, g, b, alpha}; }
  // Straight interpolation towards `other`; t = 0 gives this colour.
  constexpr Color mix(Color other, double t) const {
    return {r + (other.r - r) * t, g + (other.g - g) * t, b + (other.b - b) * t,
            a + (other.a - a) * t};
  }
  friend bool operator==(const Color&, const Color&) = default;
};

class Canvas {
 public:
  // Borrows `cr` for the canvas's lifetime; the context's state is restored on destruction.
  explicit Canvas(cairo_t* cr, double scale_factor = 1.0);
  ~Canvas();
  Canvas(const Canvas&) = delete;
  Canvas& operator=(const Canvas&) = delete;

  double scale_factor() const { return scale_factor_; }
  cairo_t* native() const { return cr_; }

  void clear(Color color);
  void fill_rect(Rect rect, Color color);
  void fill_rounded_rect(Rect rect, double radius, Color color);
  void stroke_rect(Rect rect, Color color, double width = 1.0);
  void stroke_rounded_rect(Rect rect, double radius, Color color, double width = 1.0);
  void line(Point from, Point to, Color color, double width = 1.0);
  void fill_circle(Point centre, double radius, Color color);
  void stroke_circle(Point centre, double radius, Color color, double width = 1.0);
  // Scales the image to fill `dest`.
  void draw_image(const Image& image, Rect dest);

  // Free-form paths (icons): build with the path calls, then fill or stroke, which consumes the
  // path. Strokes use round caps and joins so thin line drawings stay even at any scale.
  void begin_path();
  void move_to(Point p);
  void begin_sub_path();
  void line_to(Point p);
  void curve_to(Point c1, Point c2, Point end);
  // Angles in radians, clockwise from the positive x axis (y grows downwards). Like any path
  // segment, it is joined to the current point; start a separate piece with `begin_sub_path`.
  void arc(Point centre, double radius, double from, double to);
  void close_path();
  void fill_path(Color color);
  void stroke_path(Color color, double width = 1.0);

  // Clips nest: each push intersects with the current clip until the matching pop.
  void push_clip(Rect rect);
  void push_clip_rounded(Rect rect, double radius);
  void pop_clip();
  // The current clip in logical pixels (the whole target when nothing is clipped).
  Rect clip_bounds() const;

  // Translation and other state changes are undone by the matching restore.
  void save();
  void restore();
  void translate(double dx, double dy);

 private:
  void rounded_path(Rect rect, double radius);

  cairo_t* cr_;
  double scale_factor_;
  int clip_depth_ = 0;
};

// An ARGB32 image surface of logical size × scale factor, for headless frames and tests.
class RasterSurface {
 public:
  RasterSurface(Size logical, double scale_factor = 1.0);
  ~RasterSurface();
  RasterSurface(const RasterSurface&) = delete;
  RasterSurface& operator=(const RasterSurface&) = delete;

  int pixel_width() const { return pixel_width_; }
  int pixel_height() const { return pixel_height_; }
  Size logical_size() const { return logical_; }
  double scale_factor() const { return scale_factor_; }
  cairo_surface_t* native() const { return surface_; }

  // A canvas over the whole surface; only one should be alive at a time.
  std::unique_ptr<Canvas> canvas();
  // Premultiplied ARGB of one physical pixel (0xAARRGGBB), for tests.
  std::uint32_t pixel(int x, int y);
  std::expected<void, std::string> write_png(const std::filesystem::path& path);

 private:
  Size logical_;
  double scale_factor_;
  int pixel_width_;
  int pixel_height_;
  cairo_surface_t* surface_;
  cairo_t* cr_ = nullptr;
};

}  // namespace vexa::ui
