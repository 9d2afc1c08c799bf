#include "vexa/ui/toggle.h"

#include <algorithm>
#include <utility>

#include "vexa/ui/layout.h"

namespace vexa::ui {

Toggle::Toggle(std::string label, std::string id, bool on)
    : label_(std::move(label)), id_(std::move(id)) {
  face_.on = on;
}

Size Toggle::switch_size(const Theme& theme) {
  return {40 * theme.text_scale, 22 * theme.text_scale};
}

void Toggle::paint(Canvas& canvas, Rect rect, const ToggleFace& face, const Theme& theme) {
  if (rect.empty()) return;
  const Size want = switch_size(theme);
  const double h = std::min(want.height, rect.height());
  const double w = std::min(want.width, std::min(rect.width(), h * want.width / want.height));
  const double top = rect.top + (rect.height() - h) / 2;
  const Rect track{rect.left, top, rect.left + w, top + h};
  const Colors& c = theme.colors;

  Color fill = face.on ? c.accent : c.surface_raised.mix(Color{1, 1, 1, 1}, 0.08);
  if (face.hovered && !face.disabled) fill = fill.mix(Color{1, 1, 1, 1}, 0.1);
  Color knob = face.on ? c.accent_text.mix(Color{1, 1, 1, 1}, 0.9) : c.text_muted;
  if (face.disabled) {
    fill = fill.with_alpha(0.45);
    knob = knob.with_alpha(0.45);
  }
  canvas.fill_rounded_rect(track, h / 2, fill);
  if (!face.on) canvas.stroke_rounded_rect(track, h / 2, c.border, 1);
  if (face.focused && !face.disabled) {
    canvas.stroke_rounded_rect(track.inset(-3), h / 2 + 3, c.focus_ring, 2);
  }
  const double r = h / 2 - std::max(2.0, h * 0.12);
  const double cx = face.on ? track.right - h / 2 : track.left + h / 2;
  canvas.fill_circle({cx, top + h / 2}, r, knob);
}

std::expected<LayoutNode, std::string> Toggle::build_layout(LayoutEngine& engine,
                                                            const FrameContext& ctx) {
  const Theme theme = ctx.theme();
  if (theme.text_scale != theme_.text_scale) redraw_ = true;
  theme_ = theme;
  LayoutStyle style;
  const Size size = switch_size(theme_);
  style.width = Dimension::points(size.width);
  style.height = Dimension::points(size.height);
  auto node = engine.new_leaf(style);
  if (node) engine.set_widget(*node, this);
  return node;
}

void Toggle::apply_layout(const LayoutEngine& /*engine*/, Rect rect) {
  apply_layout_external(rect);
}

void Toggle::apply_layout_external(Rect rect) {
  if (rect != rect_) redraw_ = true;
  rect_ = rect;
}

void Toggle::draw(Canvas& canvas) { paint(canvas, rect_, face_, theme_); }

void Toggle::set_on(bool on) {
  if (on != face_.on) redraw_ = true;
  face_.on = on;
}

void Toggle::set_enabled(bool enabled) {
  if (face_.disabled == enabled) redraw_ = true;
  face_.disabled = !enabled;
}

void Toggle::set_focused(bool focused) {
  if (focused != face_.focused) redraw_ = true;
  face_.focused = focused;
}

bool Toggle::take_changed() { return std::exchange(changed_, false); }

void Toggle::flip() {
  face_.on = !face_.on;
  changed_ = true;
  redraw_ = true;
}

EventResult Toggle::handle_event(const Event& event, persist::Document& /*doc*/) {
  if (face_.disabled) return EventResult::Ignored;
  if (const auto* key = std::get_if<KeyEvent>(&event)) {
    if (!key->pressed || !face_.focused) return EventResult::Ignored;
    if (key->key != "Space" && key->key != "Enter") return EventResult::Ignored;
    flip();
    return EventResult::Consumed;
  }
  const auto* pointer = std::get_if<PointerEvent>(&event);
  if (pointer == nullptr) return EventResult::Ignored;
  const bool over = rect_.contains({pointer->x, pointer->y});
  if (pointer->type == PointerEvent::Type::Move) {
    if (over != face_.hovered) redraw_ = true;
    face_.hovered = over;
    return EventResult::Ignored;
  }
  if (pointer->type != PointerEvent::Type::Press || pointer->button != PointerButton::Primary ||
      !over) {
    return EventResult::Ignored;
  }
  flip();
  return EventResult::Consumed;
}

bool Toggle::perform_semantic_action(std::string_view id, std::string_view action,
                                     persist::Document& /*doc*/) {
  if (id != id_ || face_.disabled || (action != "activate" && action != "toggle")) return false;
  flip();
  return true;
}

AccessNode Toggle::accessibility() const {
  AccessNode node;
  node.role = "switch";
  node.name = label_;
  node.id = id_;
  node.value = face_.on ? "on" : "off";
  if (face_.on) node.states.push_back("checked");
  node.states.push_back(face_.disabled ? "disabled" : "focusable");
  if (face_.focused) node.states.push_back("focused");
  return node;
}

}  // namespace vexa::ui
