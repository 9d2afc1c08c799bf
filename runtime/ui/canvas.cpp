#include "vexa/ui/canvas.h"

#include <cairo.h>
#include <fmt/format.h>

#include <algorithm>
#include <cmath>
#include <numbers>

#include "vexa/ui/image_store.h"

namespace vexa::ui {
namespace {

void set_color(cairo_t* cr, Color c) { cairo_set_source_rgba(cr, c.r, c.g, c.b, c.a); }

}  // namespace

Canvas::Canvas(cairo_t* cr, double scale_factor) : cr_(cr), scale_factor_(scale_factor) {
  cairo_save(cr_);
  cairo_scale(cr_, scale_factor_, scale_factor_);
}

Canvas::~Canvas() {
  // Unbalanced clips would leak into whoever draws next with the same context.
  while (clip_depth_ > 0) pop_clip();
  cairo_restore(cr_);
}

void Canvas::clear(Color color) {
  cairo_save(cr_);
  cairo_set_operator(cr_, CAIRO_OPERATOR_SOURCE);
  set_color(cr_, color);
  cairo_paint(cr_);
  cairo_restore(cr_);
}

void Canvas::fill_rect(Rect rect, Color color) {
  if (rect.empty()) return;
  cairo_new_path(cr_);
  cairo_rectangle(cr_, rect.left, rect.top, rect.width(), rect.height());
  set_color(cr_, color);
  cairo_fill(cr_);
}

void Canvas::rounded_path(Rect rect, double radius) {
  const double r = std::clamp(radius, 0.0, std::min(rect.width(), rect.height()) / 2.0);
  cairo_new_path(cr_);
  if (r <= 0) {
    cairo_rectangle(cr_, rect.left, rect.top, rect.width(), rect.height());
    return;
  }
  constexpr double kPi = std::numbers::pi;
  cairo_new_sub_path(cr_);
  cairo_arc(cr_, rect.right - r, rect.top + r, r, -kPi / 2, 0);
  cairo_arc(cr_, rect.right - r, rect.bottom - r, r, 0, kPi / 2);
  cairo_arc(cr_, rect.left + r, rect.bottom - r, r, kPi / 2, kPi);
  cairo_arc(cr_, rect.left + r, rect.top + r, r, kPi, 3 * kPi / 2);
  cairo_close_path(cr_);
}

void Canvas::fill_rounded_rect(Rect rect, double radius, Color color) {
  if (rect.empty()) return;
  rounded_path(rect, radius);
  set_color(cr_, color);
  cairo_fill(cr_);
}

void Canvas::stroke_rect(Rect rect, Color color, double width) {
  stroke_rounded_rect(rect, 0, color, width);
}

void Canvas::stroke_rounded_rect(Rect rect, double radius, Color color, double width) {
  if (rect.empty() || width <= 0) return;
  // Stroke inside the rectangle so that adjacent boxes do not overlap their borders.
  const Rect inner = rect.inset(width / 2);
  if (inner.width() < 0 || inner.height() < 0) return;
  rounded_path(inner, std::max(0.0, radius - width / 2));
  set_color(cr_, color);
  cairo_set_line_width(cr_, width);
  cairo_stroke(cr_);
}

void Canvas::line(Point from, Point to, Color color, double width) {
  cairo_new_path(cr_);
  cairo_move_to(cr_, from.x, from.y);
  cairo_line_to(cr_, to.x, to.y);
  set_color(cr_, color);
  cairo_set_line_width(cr_, width);
  cairo_stroke(cr_);
}

void Canvas::fill_circle(Point centre, double radius, Color color) {
  if (radius <= 0) return;
  cairo_new_path(cr_);
  cairo_arc(cr_, centre.x, centre.y, radius, 0, 2 * std::numbers::pi);
  set_color(cr_, color);
  cairo_fill(cr_);
}

void Canvas::stroke_circle(Point centre, double radius, Color color, double width) {
  if (radius <= 0 || width <= 0) return;
  cairo_new_path(cr_);
  cairo_arc(cr_, centre.x, centre.y, radius, 0, 2 * std::numbers::pi);
  set_color(cr_, color);
  cairo_set_line_width(cr_, width);
  cairo_stroke(cr_);
}

void Canvas::draw_image(const Image& image, Rect dest) {
  if (dest.empty() || image.width() <= 0 || image.height() <= 0) return;
  cairo_save(cr_);
  cairo_new_path(cr_);
  cairo_rectangle(cr_, dest.left, dest.top, dest.width(), dest.height());
  cairo_clip(cr_);
  cairo_translate(cr_, dest.left, dest.top);
  cairo_scale(cr_, dest.width() / image.width(), dest.height() / image.height());
  cairo_set_source_surface(cr_, image.native(), 0, 0);
  cairo_pattern_set_filter(cairo_get_source(cr_), CAIRO_FILTER_GOOD);
  cairo_paint(cr_);
  cairo_restore(cr_);
}

void Canvas::begin_path() { cairo_new_path(cr_); }
void Canvas::move_to(Point p) { cairo_move_to(cr_, p.x, p.y); }
void Canvas::begin_sub_path() { cairo_new_sub_path(cr_); }
void Canvas::line_to(Point p) { cairo_line_to(cr_, p.x, p.y); }
void Canvas::curve_to(Point c1, Point c2, Point end) {
  cairo_curve_to(cr_, c1.x, c1.y, c2.x, c2.y, end.x, end.y);
}
void Canvas::arc(Point centre, double radius, double from, double to) {
  if (radius <= 0) return;
  cairo_arc(cr_, centre.x, centre.y, radius, from, to);
}
void Canvas::close_path() { cairo_close_path(cr_); }

void Canvas::fill_path(Color color) {
  set_color(cr_, color);
  cairo_fill(cr_);
}

void Canvas::stroke_path(Color color, double width) {
  if (width <= 0) {
    cairo_new_path(cr_);
    return;
  }
  cairo_save(cr_);
  cairo_set_line_cap(cr_, CAIRO_LINE_CAP_ROUND);
  cairo_set_line_join(cr_, CAIRO_LINE_JOIN_ROUND);
  cairo_set_line_width(cr_, width);
  set_color(cr_, color);
  cairo_stroke(cr_);
  cairo_restore(cr_);
}

void Canvas::push_clip(Rect rect) { push_clip_rounded(rect, 0); }

void Canvas::push_clip_rounded(Rect rect, double radius) {
  cairo_save(cr_);
  ++clip_depth_;
  if (rect.empty()) rect = Rect{rect.left, rect.top, rect.left, rect.top};
  rounded_path(rect, radius);
  cairo_clip(cr_);
}

void Canvas::pop_clip() {
  if (clip_depth_ == 0) return;
  --clip_depth_;
  cairo_restore(cr_);
}

Rect Canvas::clip_bounds() const {
  double x1 = 0, y1 = 0, x2 = 0, y2 = 0;
  cairo_clip_extents(cr_, &x1, &y1, &x2, &y2);
  return {x1, y1, x2, y2};
}

void Canvas::save() { cairo_save(cr_); }
void Canvas::restore() { cairo_restore(cr_); }
void Canvas::translate(double dx, double dy) { cairo_translate(cr_, dx, dy); }

RasterSurface::RasterSurface(Size logical, double scale_factor)
    : logical_(logical),
      scale_factor_(scale_factor > 0 ? scale_factor : 1.0),
      pixel_width_(std::max(1, static_cast<int>(std::lround(logical.width * scale_factor_)))),
      pixel_height_(std::max(1, static_cast<int>(std::lround(logical.height * scale_factor_)))),
      surface_(cairo_image_surface_create(CAIRO_FORMAT_ARGB32, pixel_width_, pixel_height_)) {}

RasterSurface::~RasterSurface() {
  if (cr_ != nullptr) cairo_destroy(cr_);
  cairo_surface_destroy(surface_);
}

std::unique_ptr<Canvas> RasterSurface::canvas() {
  if (cr_ == nullptr) cr_ = cairo_create(surface_);
  return std::make_unique<Canvas>(cr_, scale_factor_);
}

std::uint32_t RasterSurface::pixel(int x, int y) {
  if (x < 0 || y < 0 || x >= pixel_width_ || y >= pixel_height_) return 0;
  cairo_surface_flush(surface_);
  const unsigned char* data = cairo_image_surface_get_data(surface_);
  const int stride = cairo_image_surface_get_stride(surface_);
  return *reinterpret_cast<const std::uint32_t*>(data + y * stride + x * 4);
}

std::expected<void, std::string> RasterSurface::write_png(const std::filesystem::path& path) {
  cairo_surface_flush(surface_);
  const cairo_status_t status = cairo_surface_write_to_png(surface_, path.c_str());
  if (status != CAIRO_STATUS_SUCCESS) {
    return std::unexpected(
        fmt::format("could not write {}: {}", path.string(), cairo_status_to_string(status)));
  }
  return {};
}

}  // namespace vexa::ui
