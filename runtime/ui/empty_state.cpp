#include "vexa/ui/empty_state.h"

#include <algorithm>
#include <utility>

#include "vexa/ui/layout.h"

namespace vexa::ui {

EmptyState::EmptyState(std::string title, std::string body, std::string action_label,
                       std::string action_id)
    : title_(std::move(title)),
      body_(std::move(body)),
      action_label_(std::move(action_label)),
      action_id_(std::move(action_id)) {}

std::expected<LayoutNode, std::string> EmptyState::build_layout(LayoutEngine& engine,
                                                                const FrameContext& ctx) {
  const Theme theme = ctx.theme();
  if (theme.text_scale != theme_.text_scale) redraw_ = true;
  theme_ = theme;
  text_.set_text_scale(theme_.text_scale);
  auto node = engine.new_leaf(LayoutStyle::fill());
  if (node) engine.set_widget(*node, this);
  return node;
}

void EmptyState::apply_layout(const LayoutEngine& /*engine*/, Rect rect) {
  if (rect != rect_) redraw_ = true;
  rect_ = rect;
  place();
}

void EmptyState::place() {
  const double s = theme_.text_scale;
  const double pad = 32 * s;
  const double width = std::max(0.0, std::min(rect_.width() - 48, 480 * s));
  const double inner = std::max(0.0, width - 2 * pad);
  const double title_h =
      text_.measure_wrapped(title_, theme_.type.title, FontWeight::Semibold, inner).height;
  const double body_h =
      text_.measure_wrapped(body_, theme_.type.body, FontWeight::Regular, inner).height;
  const double button_h = 40 * s;
  const double label_w =
      text_.measure_weighted(action_label_, theme_.type.label, FontWeight::Semibold).width;
  const double button_w = std::min(inner, std::max(120 * s, label_w + 40 * s));
  const double height = pad + title_h + 10 * s + body_h + 24 * s + button_h + pad;

  const double left = rect_.left + (rect_.width() - width) / 2;
  const double top = rect_.top + std::max(0.0, (rect_.height() - height) / 2);
  card_ = Rect{left, top, left + width, top + height};
  title_top_ = top + pad;
  body_top_ = title_top_ + title_h + 10 * s;
  const double button_top = body_top_ + body_h + 24 * s;
  const double button_left = left + (width - button_w) / 2;
  button_ = Rect{button_left, button_top, button_left + button_w, button_top + button_h};
}

void EmptyState::draw(Canvas& canvas) {
  const Colors& c = theme_.colors;
  const double s = theme_.text_scale;
  if (card_.empty()) return;
  canvas.fill_rounded_rect(card_, 14 * s, c.surface_raised);
  canvas.stroke_rounded_rect(card_, 14 * s, c.border, 1);
  const double pad = 32 * s;
  const double inner = card_.width() - 2 * pad;
  text_.draw_wrapped(canvas, title_, card_.left + pad, title_top_, theme_.type.title,
                     FontWeight::Semibold, inner, TextAlign::Center, c.text);
  text_.draw_wrapped(canvas, body_, card_.left + pad, body_top_, theme_.type.body,
                     FontWeight::Regular, inner, TextAlign::Center, c.text_muted);

  Color fill = c.accent;
  if (pressed_) {
    fill = fill.mix(Color{0, 0, 0, 1}, 0.18);
  } else if (hovered_) {
    fill = fill.mix(Color{1, 1, 1, 1}, 0.12);
  }
  canvas.fill_rounded_rect(button_, 8 * s, fill);
  if (focused_) {
    const Rect ring{button_.left - 3, button_.top - 3, button_.right + 3, button_.bottom + 3};
    canvas.stroke_rounded_rect(ring, 10 * s, c.focus_ring, 2);
  }
  const TextMetrics label =
      text_.measure_weighted(action_label_, theme_.type.label, FontWeight::Semibold);
  const std::string shown = text_.elide_to_width_weighted(
      action_label_, theme_.type.label, FontWeight::Semibold, button_.width() - 16 * s);
  const double label_w =
      text_.measure_weighted(shown, theme_.type.label, FontWeight::Semibold).width;
  text_.draw_text_weighted(canvas, shown, button_.left + (button_.width() - label_w) / 2,
                           button_.top + (button_.height() - label.height) / 2, theme_.type.label,
                           FontWeight::Semibold, c.accent_text);
}

void EmptyState::activate() {
  activated_ = true;
  redraw_ = true;
}

bool EmptyState::take_activated() { return std::exchange(activated_, false); }

void EmptyState::set_focused(bool focused) {
  if (focused_ != focused) redraw_ = true;
  focused_ = focused;
}

EventResult EmptyState::handle_event(const Event& event, persist::Document& /*doc*/) {
  if (const auto* key = std::get_if<KeyEvent>(&event)) {
    if (!key->pressed) return EventResult::Ignored;
    if (key->key == "Tab") {
      set_focused(!focused_);
      return EventResult::Consumed;
    }
    if (focused_ && (key->key == "Enter" || key->key == "Space")) {
      activate();
      return EventResult::Consumed;
    }
    return EventResult::Ignored;
  }
  const auto* pointer = std::get_if<PointerEvent>(&event);
  if (pointer == nullptr) return EventResult::Ignored;
  const bool over = button_.contains({pointer->x, pointer->y});
  switch (pointer->type) {
    case PointerEvent::Type::Move:
      if (over != hovered_) redraw_ = true;
      hovered_ = over;
      return EventResult::Ignored;
    case PointerEvent::Type::Press:
      if (pointer->button != PointerButton::Primary || !over) return EventResult::Ignored;
      pressed_ = true;
      set_focused(true);
      redraw_ = true;
      return EventResult::Consumed;
    case PointerEvent::Type::Release: {
      if (pointer->button != PointerButton::Primary || !pressed_) return EventResult::Ignored;
      pressed_ = false;
      redraw_ = true;
      // Releasing away from the button cancels the press, as people expect of buttons.
      if (over) activate();
      return EventResult::Consumed;
    }
  }
  return EventResult::Ignored;
}

bool EmptyState::perform_semantic_action(std::string_view id, std::string_view action,
                                         persist::Document& /*doc*/) {
  if (id != action_id_ || action != "activate") return false;
  activate();
  return true;
}

AccessNode EmptyState::accessibility() const {
  AccessNode button;
  button.role = "button";
  button.name = action_label_;
  button.id = action_id_;
  if (focused_) button.states.push_back("focused");
  button.states.push_back("focusable");

  AccessNode group;
  group.role = "group";
  group.name = title_;
  group.description = body_;
  group.children.push_back(std::move(button));
  return group;
}

}  // namespace vexa::ui
