#include "vexa/ui/button.h"

#include <algorithm>
#include <utility>

#include "vexa/ui/layout.h"

namespace vexa::ui {
namespace {

constexpr Color kWhite{1, 1, 1, 1};
constexpr Color kBlack{0, 0, 0, 1};

struct Look {
  std::optional<Color> fill;
  std::optional<Color> border;
  Color content;
};

Look look_of(const ButtonFace& face, const Colors& c) {
  Look look;
  switch (face.style) {
    case ButtonStyle::Primary:
      look = {c.accent, std::nullopt, c.accent_text};
      break;
    case ButtonStyle::Destructive:
      look = {c.danger, std::nullopt, c.accent_text};
      break;
    case ButtonStyle::Secondary:
      look = {c.surface_raised, c.border, c.text};
      break;
    case ButtonStyle::Quiet:
      look = {std::nullopt, std::nullopt, c.text};
      if (face.hovered || face.pressed) look.fill = c.surface_raised;
      break;
  }
  if (face.disabled) {
    if (look.fill) look.fill = look.fill->with_alpha(look.fill->a * 0.45);
    if (look.border) look.border = look.border->with_alpha(look.border->a * 0.45);
    look.content = look.content.with_alpha(0.45);
    return look;
  }
  if (look.fill && face.pressed) {
    look.fill = look.fill->mix(kBlack, 0.18);
  } else if (look.fill && face.hovered) {
    look.fill = look.fill->mix(kWhite, 0.1);
  }
  return look;
}

double font_size_of(const ButtonFace& face, const Theme& theme) {
  return face.font_size > 0 ? face.font_size : theme.type.label;
}

}  // namespace

Button::Button(std::string label, std::string id, ButtonStyle style) : id_(std::move(id)) {
  face_.label = std::move(label);
  face_.style = style;
}

Button& Button::with_icon(IconName icon) {
  face_.icon = icon;
  redraw_ = true;
  return *this;
}

void Button::paint(Canvas& canvas, Rect rect, const ButtonFace& face, const Theme& theme,
                   const TextRenderer& text) {
  if (rect.empty()) return;
  const double s = theme.text_scale;
  const double radius = std::min(theme.corner_radius * s, rect.height() / 2);
  const Look look = look_of(face, theme.colors);
  if (look.fill) canvas.fill_rounded_rect(rect, radius, *look.fill);
  if (look.border) canvas.stroke_rounded_rect(rect, radius, *look.border, 1);
  if (face.focused && !face.disabled) {
    canvas.stroke_rounded_rect(rect.inset(-3), radius + 3, theme.colors.focus_ring, 2);
  }

  const double size = font_size_of(face, theme);
  const double icon = face.icon ? std::min(text.scaled(size) * 1.2, rect.height() - 4) : 0;
  const double gap = face.icon && !face.label.empty() ? 6 * s : 0;
  const double pad = face.label.empty() ? 0 : 12 * s;
  std::string shown;
  double label_w = 0;
  TextMetrics m{};
  if (!face.label.empty()) {
    const double room = std::max(0.0, rect.width() - 2 * pad - icon - gap);
    shown = text.elide_to_width_weighted(face.label, size, FontWeight::Medium, room);
    m = text.measure_weighted(shown, size, FontWeight::Medium);
    label_w = shown.empty() ? 0 : m.width;
  }
  const double content_w = icon + (label_w > 0 ? gap + label_w : 0);
  double x = rect.left + (rect.width() - content_w) / 2;
  const double mid = rect.top + rect.height() / 2;
  if (face.icon) {
    Icon::draw(canvas, *face.icon, {x, mid - icon / 2, x + icon, mid + icon / 2}, look.content);
    x += icon + gap;
  }
  if (label_w > 0) {
    text.draw_text_weighted(canvas, shown, x, mid - m.height / 2, size, FontWeight::Medium,
                            look.content);
  }
}

Size Button::preferred_size(const ButtonFace& face, const Theme& theme, const TextRenderer& text) {
  const double s = theme.text_scale;
  const double size = font_size_of(face, theme);
  const TextMetrics m =
      text.measure_weighted(face.label.empty() ? "Ag" : face.label, size, FontWeight::Medium);
  const double height = std::max(32 * s, m.height + 14 * s);
  if (face.label.empty()) return {height, height};
  const double icon = face.icon ? text.scaled(size) * 1.2 + 6 * s : 0;
  return {m.width + icon + 24 * s, height};
}

std::expected<LayoutNode, std::string> Button::build_layout(LayoutEngine& engine,
                                                            const FrameContext& ctx) {
  const Theme theme = ctx.theme();
  if (theme.text_scale != theme_.text_scale) redraw_ = true;
  theme_ = theme;
  text_.set_text_scale(theme_.text_scale);
  auto node = engine.new_leaf(LayoutStyle{}, [this](Size, const TextRenderer*) {
    return preferred_size(face_, theme_, text_);
  });
  if (node) engine.set_widget(*node, this);
  return node;
}

void Button::apply_layout(const LayoutEngine& /*engine*/, Rect rect) {
  apply_layout_external(rect);
}

void Button::apply_layout_external(Rect rect) {
  if (rect != rect_) redraw_ = true;
  rect_ = rect;
}

void Button::draw(Canvas& canvas) { paint(canvas, rect_, face_, theme_, text_); }

void Button::set_flag(bool ButtonFace::*flag, bool value) {
  if (face_.*flag != value) redraw_ = true;
  face_.*flag = value;
}

void Button::set_label(std::string label) {
  if (label != face_.label) redraw_ = true;
  face_.label = std::move(label);
}

void Button::set_enabled(bool enabled) {
  set_flag(&ButtonFace::disabled, !enabled);
  if (!enabled) {
    set_flag(&ButtonFace::pressed, false);
    set_flag(&ButtonFace::hovered, false);
  }
}

void Button::set_focused(bool focused) { set_flag(&ButtonFace::focused, focused); }

bool Button::take_activated() { return std::exchange(activated_, false); }

EventResult Button::handle_event(const Event& event, persist::Document& /*doc*/) {
  if (face_.disabled) return EventResult::Ignored;
  if (const auto* key = std::get_if<KeyEvent>(&event)) {
    if (!key->pressed || !face_.focused) return EventResult::Ignored;
    if (key->key != "Enter" && key->key != "Space") return EventResult::Ignored;
    activated_ = true;
    redraw_ = true;
    return EventResult::Consumed;
  }
  const auto* pointer = std::get_if<PointerEvent>(&event);
  if (pointer == nullptr) return EventResult::Ignored;
  const bool over = rect_.contains({pointer->x, pointer->y});
  switch (pointer->type) {
    case PointerEvent::Type::Move:
      set_flag(&ButtonFace::hovered, over);
      return EventResult::Ignored;
    case PointerEvent::Type::Press:
      if (pointer->button != PointerButton::Primary || !over) return EventResult::Ignored;
      set_flag(&ButtonFace::pressed, true);
      set_flag(&ButtonFace::hovered, true);
      return EventResult::Consumed;
    case PointerEvent::Type::Release:
      if (pointer->button != PointerButton::Primary || !face_.pressed) return EventResult::Ignored;
      set_flag(&ButtonFace::pressed, false);
      set_flag(&ButtonFace::hovered, over);
      if (over) activated_ = true;
      return EventResult::Consumed;
  }
  return EventResult::Ignored;
}

bool Button::perform_semantic_action(std::string_view id, std::string_view action,
                                     persist::Document& /*doc*/) {
  if (id != id_ || action != "activate" || face_.disabled) return false;
  activated_ = true;
  redraw_ = true;
  return true;
}

AccessNode Button::accessibility() const {
  AccessNode node;
  node.role = "button";
  node.name =
      face_.label.empty() && face_.icon ? std::string(Icon::name(*face_.icon)) : face_.label;
  node.id = id_;
  if (face_.disabled) {
    node.states.push_back("disabled");
  } else {
    node.states.push_back("focusable");
  }
  if (face_.focused) node.states.push_back("focused");
  return node;
}

}  // namespace vexa::ui
