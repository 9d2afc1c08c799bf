#include "vexa/ui/modal.h"

#include <algorithm>
#include <utility>

namespace vexa::ui {
namespace {

constexpr double kWindowMargin = 24;

}  // namespace

ModalFrame::ModalFrame(std::string title, std::string description, double max_width)
    : title_(std::move(title)), description_(std::move(description)), max_width_(max_width) {}

const ModalLayout& ModalFrame::place(Rect window, double content_height, const Theme& theme) {
  theme_ = theme;
  text_.set_text_scale(theme.text_scale);
  const double s = theme.text_scale;
  const double pad = 24 * s;
  const double width = std::max(0.0, std::min(max_width_, window.width() - 2 * kWindowMargin));
  const double inner = std::max(0.0, width - 2 * pad);
  const double title_h =
      text_.measure_wrapped(title_, theme.type.title, FontWeight::Semibold, inner).height;
  const double desc_h =
      description_.empty()
          ? 0
          : 6 * s + text_.measure_wrapped(description_, theme.type.body, FontWeight::Regular, inner)
                        .height;
  const double header = pad + title_h + desc_h + 16 * s;
  const double wanted = header + std::max(0.0, content_height) + pad;
  const double height = std::max(0.0, std::min(wanted, window.height() - 2 * kWindowMargin));

  const double left = window.left + (window.width() - width) / 2;
  const double top = window.top + (window.height() - height) / 2;
  layout_.window = window;
  layout_.sheet = {left, top, left + width, top + height};
  layout_.title_top = top + pad;
  layout_.description_top = top + pad + title_h + 6 * s;
  // A short window squeezes the content, never the header: the owner scrolls what is left.
  const double content_top = std::min(top + header, top + height);
  const double content_bottom = std::max(content_top, top + height - pad);
  layout_.content = {left + pad, content_top, left + pad + inner, content_bottom};
  return layout_;
}

void ModalFrame::draw(Canvas& canvas) const {
  const ModalLayout& l = layout_;
  canvas.fill_rect(l.window, Color{0, 0, 0, 0.55});
  if (l.sheet.empty()) return;
  const Colors& c = theme_.colors;
  const double s = theme_.text_scale;
  const double radius = 14 * s;
  const Rect shadow{l.sheet.left, l.sheet.top + 4, l.sheet.right, l.sheet.bottom + 6};
  canvas.fill_rounded_rect(shadow, radius, Color{0, 0, 0, 0.3});
  canvas.fill_rounded_rect(l.sheet, radius, c.surface_raised);
  canvas.stroke_rounded_rect(l.sheet, radius, c.border, 1);

  canvas.push_clip_rounded(l.sheet, radius);
  const double inner = l.content.width();
  text_.draw_wrapped(canvas, title_, l.content.left, l.title_top, theme_.type.title,
                     FontWeight::Semibold, inner, TextAlign::Left, c.text);
  if (!description_.empty()) {
    text_.draw_wrapped(canvas, description_, l.content.left, l.description_top, theme_.type.body,
                       FontWeight::Regular, inner, TextAlign::Left, c.text_muted);
  }
  canvas.pop_clip();
}

}  // namespace vexa::ui
