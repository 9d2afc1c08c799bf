#include "vexa/ui/toast.h"

#include <algorithm>

#include "vexa/ui/theme.h"

namespace vexa::ui::toast {
namespace {

thread_local std::optional<std::string> painted;

struct Palette {
  Color fill;
  Color text;
  Color dot;
};

Palette palette_for(int tone) {
  const Colors c = Colors::dark();
  const Color raised = c.surface_raised.mix(Color{1, 1, 1, 1}, 0.04);
  switch (tone) {
    case kInfo:
      return {raised, c.text, c.accent};
    case kWarning:
      return {c.warning.mix(c.background, 0.78), c.text, c.warning};
    case kError:
      return {c.danger.mix(c.background, 0.74), c.text, c.danger};
    default:
      return {raised, c.text, c.text_muted};
  }
}

}  // namespace

Rect paint_transient(Canvas& canvas, const TextRenderer& text, Rect window,
                     std::string_view message, int tone) {
  if (message.empty() || window.empty()) return {};
  const Typography type;
  const double s = text.text_scale();
  const double height = 40 * s;
  const double pad = 18 * s;
  const double dot = 8 * s;
  const double max_width = std::max(0.0, window.width() - 48);
  const double max_text = std::max(0.0, max_width - 2 * pad - dot - 10 * s);
  const std::string shown =
      text.elide_to_width_weighted(message, type.body, FontWeight::Medium, max_text);
  const TextMetrics m = text.measure_weighted(shown, type.body, FontWeight::Medium);
  const double width = std::min(max_width, m.width + 2 * pad + dot + 10 * s);
  const double left = window.left + (window.width() - width) / 2;
  const double bottom = window.bottom - 24 * s;
  const Rect pill{left, bottom - height, left + width, bottom};

  const Palette p = palette_for(tone);
  canvas.fill_rounded_rect(Rect{pill.left, pill.top + 2, pill.right, pill.bottom + 2}, height / 2,
                           Color{0, 0, 0, 0.28});
  canvas.fill_rounded_rect(pill, height / 2, p.fill);
  canvas.stroke_rounded_rect(pill, height / 2, p.dot.with_alpha(0.35), 1);
  canvas.fill_circle({pill.left + pad + dot / 2, pill.top + height / 2}, dot / 2, p.dot);
  text.draw_text_weighted(canvas, shown, pill.left + pad + dot + 10 * s,
                          pill.top + (height - m.height) / 2, type.body, FontWeight::Medium,
                          p.text);
  painted = std::string(message);
  return pill;
}

void begin_frame() { painted.reset(); }

std::optional<std::string> last_painted_text() { return painted; }

}  // namespace vexa::ui::toast
