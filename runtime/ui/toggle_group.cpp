#include <fmt/format.h>

#include <algorithm>
#include <cmath>
#include <utility>

#include "vexa/ui/layout.h"
#include "vexa/ui/toggle.h"

namespace vexa::ui {

ToggleGroup::ToggleGroup(std::vector<std::string> options, std::string id, std::size_t selected)
    : id_(std::move(id)) {
  face_.options = std::move(options);
  face_.selected = selected < face_.options.size() ? selected : 0;
}

Rect ToggleGroup::segment_rect(Rect rect, std::size_t count, std::size_t index) {
  if (count == 0 || index >= count || rect.empty()) return {};
  const double w = rect.width() / static_cast<double>(count);
  // The last segment ends exactly at the right edge, whatever the rounding of the others.
  const double left = rect.left + w * static_cast<double>(index);
  const double right = index + 1 == count ? rect.right : left + w;
  return {left, rect.top, right, rect.bottom};
}

std::optional<std::size_t> ToggleGroup::segment_at(Rect rect, std::size_t count, Point p) {
  if (count == 0 || !rect.contains(p)) return std::nullopt;
  const double w = rect.width() / static_cast<double>(count);
  const auto index = static_cast<std::size_t>(std::floor((p.x - rect.left) / w));
  return std::min(index, count - 1);
}

void ToggleGroup::paint(Canvas& canvas, Rect rect, const ToggleGroupFace& face, const Theme& theme,
                        const TextRenderer& text) {
  if (rect.empty() || face.options.empty()) return;
  const Colors& c = theme.colors;
  const double s = theme.text_scale;
  const double radius = std::min(theme.corner_radius * s, rect.height() / 2);
  const double alpha = face.disabled ? 0.45 : 1.0;
  canvas.fill_rounded_rect(rect, radius, c.surface.with_alpha(alpha));
  canvas.stroke_rounded_rect(rect, radius, c.border.with_alpha(alpha), 1);
  if (face.focused && !face.disabled) {
    canvas.stroke_rounded_rect(rect.inset(-3), radius + 3, c.focus_ring, 2);
  }
  const double size = face.font_size > 0 ? face.font_size : theme.type.label;
  const std::size_t n = face.options.size();
  for (std::size_t i = 0; i < n; ++i) {
    const Rect seg = segment_rect(rect, n, i).inset(3);
    const bool selected = i == face.selected;
    if (selected) {
      canvas.fill_rounded_rect(seg, radius - 3, c.accent.with_alpha(alpha));
    } else if (face.hovered == i && !face.disabled) {
      canvas.fill_rounded_rect(seg, radius - 3, c.surface_raised);
    }
    const FontWeight weight = selected ? FontWeight::Semibold : FontWeight::Medium;
    const std::string shown =
        text.elide_to_width_weighted(face.options[i], size, weight, seg.width() - 12 * s);
    const TextMetrics m = text.measure_weighted(shown, size, weight);
    const Color ink = (selected ? c.accent_text : c.text).with_alpha(alpha);
    text.draw_text_weighted(canvas, shown, seg.left + (seg.width() - m.width) / 2,
                            seg.top + (seg.height() - m.height) / 2, size, weight, ink);
  }
}

std::expected<LayoutNode, std::string> ToggleGroup::build_layout(LayoutEngine& engine,
                                                                 const FrameContext& ctx) {
  const Theme theme = ctx.theme();
  if (theme.text_scale != theme_.text_scale) redraw_ = true;
  theme_ = theme;
  text_.set_text_scale(theme_.text_scale);
  auto node = engine.new_leaf(LayoutStyle{}, [this](Size, const TextRenderer*) {
    const double s = theme_.text_scale;
    const double size = face_.font_size > 0 ? face_.font_size : theme_.type.label;
    double widest = 0;
    for (const std::string& option : face_.options) {
      widest = std::max(widest, text_.measure_weighted(option, size, FontWeight::Semibold).width);
    }
    const double height = std::max(34 * s, text_.measure("Ag", size).height + 16 * s);
    return Size{(widest + 24 * s) * static_cast<double>(face_.options.size()), height};
  });
  if (node) engine.set_widget(*node, this);
  return node;
}

void ToggleGroup::apply_layout(const LayoutEngine& /*engine*/, Rect rect) {
  apply_layout_external(rect);
}

void ToggleGroup::apply_layout_external(Rect rect) {
  if (rect != rect_) redraw_ = true;
  rect_ = rect;
}

void ToggleGroup::draw(Canvas& canvas) { paint(canvas, rect_, face_, theme_, text_); }

void ToggleGroup::set_selected(std::size_t index) {
  if (index >= face_.options.size() || index == face_.selected) return;
  face_.selected = index;
  redraw_ = true;
}

void ToggleGroup::set_focused(bool focused) {
  if (focused != face_.focused) redraw_ = true;
  face_.focused = focused;
}

bool ToggleGroup::take_changed() { return std::exchange(changed_, false); }

void ToggleGroup::choose(std::size_t index) {
  if (index >= face_.options.size() || index == face_.selected) return;
  face_.selected = index;
  changed_ = true;
  redraw_ = true;
}

EventResult ToggleGroup::handle_event(const Event& event, persist::Document& /*doc*/) {
  if (face_.disabled || face_.options.empty()) return EventResult::Ignored;
  if (const auto* key = std::get_if<KeyEvent>(&event)) {
    if (!key->pressed || !face_.focused) return EventResult::Ignored;
    if (key->key == "Left") {
      if (face_.selected > 0) choose(face_.selected - 1);
      return EventResult::Consumed;
    }
    if (key->key == "Right") {
      choose(face_.selected + 1);
      return EventResult::Consumed;
    }
    return EventResult::Ignored;
  }
  const auto* pointer = std::get_if<PointerEvent>(&event);
  if (pointer == nullptr) return EventResult::Ignored;
  const auto segment = segment_at(rect_, face_.options.size(), {pointer->x, pointer->y});
  if (pointer->type == PointerEvent::Type::Move) {
    if (segment != face_.hovered) redraw_ = true;
    face_.hovered = segment;
    return EventResult::Ignored;
  }
  if (pointer->type != PointerEvent::Type::Press || pointer->button != PointerButton::Primary ||
      !segment) {
    return EventResult::Ignored;
  }
  choose(*segment);
  return EventResult::Consumed;
}

bool ToggleGroup::perform_semantic_action(std::string_view id, std::string_view action,
                                          persist::Document& /*doc*/) {
  if (action != "activate" || face_.disabled) return false;
  for (std::size_t i = 0; i < face_.options.size(); ++i) {
    if (id == fmt::format("{}:{}", id_, i)) {
      choose(i);
      return true;
    }
  }
  return false;
}

AccessNode ToggleGroup::accessibility() const {
  AccessNode group;
  group.role = "radiogroup";
  group.id = id_;
  if (face_.selected < face_.options.size()) group.value = face_.options[face_.selected];
  for (std::size_t i = 0; i < face_.options.size(); ++i) {
    AccessNode option;
    option.role = "radio";
    option.name = face_.options[i];
    option.id = fmt::format("{}:{}", id_, i);
    if (i == face_.selected) option.states.push_back("checked");
    group.children.push_back(std::move(option));
  }
  return group;
}

}  // namespace vexa::ui
