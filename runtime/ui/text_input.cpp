#include "vexa/ui/text_input.h"

#include <algorithm>
#include <vector>

#include "vexa/ui/layout.h"
#include "vexa/ui/text_selection.h"

namespace vexa::ui {
namespace {

constexpr std::string_view kBullet = "\u2022";

// A single-line field keeps printable text only: control characters (new lines from a paste,
// a carriage return some hosts send with Enter) would corrupt what the owner reads back.
std::string printable(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (char ch : text) {
    const auto b = static_cast<unsigned char>(ch);
    if (b < 0x20 || b == 0x7F) continue;
    out += ch;
  }
  return out;
}

std::size_t char_count(std::string_view text, std::size_t end) {
  std::size_t n = 0;
  for (std::size_t i = 0; i < end; i = text_selection::next_char_boundary(text, i)) ++n;
  return n;
}

// Moves an arbitrary byte offset back onto the start of the character containing it.
std::size_t to_boundary(std::string_view text, std::size_t offset) {
  if (offset >= text.size()) return text.size();
  std::size_t at = 0;
  while (true) {
    const std::size_t next = text_selection::next_char_boundary(text, at);
    if (next > offset) return at;
    at = next;
  }
}

}  // namespace

TextInput TextInput::local() { return TextInput(); }

TextInput TextInput::with_kind(std::uint8_t kind_code) && {
  kind_ = static_cast<InputKind>(kind_code);
  return std::move(*this);
}

TextInput TextInput::with_initial_value(std::string value) && {
  set_text(std::move(value));
  return std::move(*this);
}

TextInput TextInput::with_placeholder(std::string placeholder) && {
  placeholder_ = std::move(placeholder);
  return std::move(*this);
}

TextInput TextInput::with_font_size(double size) && {
  font_size_ = size;
  return std::move(*this);
}

TextInput TextInput::with_frame(bool frame) && {
  frame_ = frame;
  return std::move(*this);
}

double TextInput::font_size() const { return font_size_ > 0 ? font_size_ : theme_.type.body; }
double TextInput::padding() const { return frame_ ? 10 * theme_.text_scale : 2; }
double TextInput::text_origin_x() const { return rect_.left + padding() - scroll_; }

void TextInput::sync(persist::Document& /*doc*/, const FrameContext& ctx) {
  const Theme theme = ctx.theme();
  if (theme.text_scale == theme_.text_scale) return;
  theme_ = theme;
  renderer_.set_text_scale(theme_.text_scale);
  keep_caret_visible();
  redraw_ = true;
}

std::expected<LayoutNode, std::string> TextInput::build_layout(LayoutEngine& engine,
                                                               const FrameContext& ctx) {
  const Theme theme = ctx.theme();
  if (theme.text_scale != theme_.text_scale) redraw_ = true;
  theme_ = theme;
  renderer_.set_text_scale(theme_.text_scale);
  LayoutStyle style;
  style.width = Dimension::percent(100);
  auto node = engine.new_leaf(style, [this](Size, const TextRenderer*) {
    const double line = renderer_.measure("Ag", font_size()).height;
    return Size{0, line + (frame_ ? 16 * theme_.text_scale : 4)};
  });
  if (node) engine.set_widget(*node, this);
  return node;
}

void TextInput::apply_layout(const LayoutEngine& /*engine*/, Rect rect) {
  apply_layout_external(rect);
}

void TextInput::apply_layout_external(Rect rect) {
  if (rect == rect_) return;
  rect_ = rect;
  keep_caret_visible();
  redraw_ = true;
}

void TextInput::set_text(std::string text) {
  text_ = printable(text);
  caret_ = anchor_ = text_.size();
  keep_caret_visible();
  redraw_ = true;
}

void TextInput::set_focused(bool focused) {
  if (focused == focused_) return;
  focused_ = focused;
  dragging_ = false;
  redraw_ = true;
}

std::pair<std::size_t, std::size_t> TextInput::selection() const {
  return {std::min(caret_, anchor_), std::max(caret_, anchor_)};
}

void TextInput::select_all() {
  anchor_ = 0;
  caret_ = text_.size();
  keep_caret_visible();
  redraw_ = true;
}

void TextInput::set_caret(std::size_t offset, bool extend) {
  caret_ = to_boundary(text_, offset);
  if (!extend) anchor_ = caret_;
  keep_caret_visible();
  redraw_ = true;
}

bool TextInput::take_changed() { return std::exchange(changed_, false); }

std::string TextInput::display_text() const {
  if (kind_ != InputKind::Password) return text_;
  std::string out;
  const std::size_t n = char_count(text_, text_.size());
  out.reserve(n * kBullet.size());
  for (std::size_t i = 0; i < n; ++i) out += kBullet;
  return out;
}

std::size_t TextInput::display_offset(std::size_t offset) const {
  if (kind_ != InputKind::Password) return offset;
  return char_count(text_, offset) * kBullet.size();
}

double TextInput::caret_x() const {
  const std::string shown = display_text();
  return text_origin_x() +
         renderer_.measure(std::string_view(shown).substr(0, display_offset(caret_)), font_size())
             .width;
}

std::size_t TextInput::offset_at_x(double x) const {
  std::vector<std::size_t> bounds{0};
  for (std::size_t i = 0; i < text_.size();) {
    i = text_selection::next_char_boundary(text_, i);
    bounds.push_back(i);
  }
  const std::string shown = display_text();
  const double size = font_size();
  auto x_of = [&](std::size_t offset) {
    return text_origin_x() +
           renderer_.measure(std::string_view(shown).substr(0, display_offset(offset)), size).width;
  };
  // Prefix widths only grow, so a binary search finds the first boundary right of x; the caret
  // then goes to whichever of it and its predecessor is nearer.
  std::size_t lo = 0;
  std::size_t hi = bounds.size() - 1;
  if (x <= x_of(bounds[lo])) return bounds[lo];
  if (x >= x_of(bounds[hi])) return bounds[hi];
  while (hi - lo > 1) {
    const std::size_t mid = (lo + hi) / 2;
    if (x_of(bounds[mid]) <= x) {
      lo = mid;
    } else {
      hi = mid;
    }
  }
  return x - x_of(bounds[lo]) <= x_of(bounds[hi]) - x ? bounds[lo] : bounds[hi];
}

void TextInput::keep_caret_visible() {
  const double inner = std::max(0.0, rect_.width() - 2 * padding() - 1.5);
  const std::string shown = display_text();
  const double size = font_size();
  const double total = renderer_.measure(shown, size).width;
  const double caret =
      renderer_.measure(std::string_view(shown).substr(0, display_offset(caret_)), size).width;
  if (caret - scroll_ > inner) scroll_ = caret - inner;
  if (caret < scroll_) scroll_ = caret;
  scroll_ = std::clamp(scroll_, 0.0, std::max(0.0, total - inner));
}

void TextInput::replace_selection(std::string_view insert) {
  const auto [from, to] = selection();
  if (insert.empty() && from == to) return;
  text_.replace(from, to - from, insert);
  caret_ = anchor_ = from + insert.size();
  changed_ = true;
  keep_caret_visible();
  redraw_ = true;
}

void TextInput::erase(bool forward) {
  if (caret_ == anchor_) {
    const std::size_t other = forward ? text_selection::next_char_boundary(text_, caret_)
                                      : text_selection::prev_char_boundary(text_, caret_);
    anchor_ = other;
  }
  replace_selection({});
}

EventResult TextInput::handle_key(const KeyEvent& key) {
  if (!key.pressed || !focused_) return EventResult::Ignored;
  const Modifiers& m = key.modifiers;
  const bool chord = m.ctrl || m.cmd;
  if (chord && (key.key == "a" || key.key == "A")) {
    select_all();
    return EventResult::Consumed;
  }
  const auto [from, to] = selection();
  if (key.key == "Left" || key.key == "Right") {
    const bool left = key.key == "Left";
    std::size_t target;
    if (!m.shift && from != to) {
      target = left ? from : to;  // collapsing a selection lands on its edge
    } else {
      target = left ? text_selection::prev_char_boundary(text_, caret_)
                    : text_selection::next_char_boundary(text_, caret_);
    }
    set_caret(target, m.shift);
    return EventResult::Consumed;
  }
  if (key.key == "Home" || key.key == "End") {
    set_caret(key.key == "Home" ? 0 : text_.size(), m.shift);
    return EventResult::Consumed;
  }
  // Consumed even when there is nothing to erase, so a focused field never lets the key reach
  // shortcuts such as deleting the selected message.
  if (key.key == "Backspace" || key.key == "Delete") {
    erase(key.key == "Delete");
    return EventResult::Consumed;
  }
  if (chord || m.alt) return EventResult::Ignored;
  const std::string typed = printable(key.text);
  if (typed.empty()) return EventResult::Ignored;
  replace_selection(typed);
  return EventResult::Consumed;
}

EventResult TextInput::handle_pointer(const PointerEvent& pointer) {
  const bool inside = rect_.contains({pointer.x, pointer.y});
  switch (pointer.type) {
    case PointerEvent::Type::Press:
      if (pointer.button != PointerButton::Primary) return EventResult::Ignored;
      if (!inside) {
        set_focused(false);
        return EventResult::Ignored;
      }
      set_focused(true);
      set_caret(offset_at_x(pointer.x), pointer.modifiers.shift);
      dragging_ = true;
      return EventResult::Consumed;
    case PointerEvent::Type::Move:
      if (!dragging_) return EventResult::Ignored;
      set_caret(offset_at_x(pointer.x), true);
      return EventResult::Consumed;
    case PointerEvent::Type::Release:
      if (!dragging_ || pointer.button != PointerButton::Primary) return EventResult::Ignored;
      dragging_ = false;
      return EventResult::Consumed;
  }
  return EventResult::Ignored;
}

EventResult TextInput::handle_event(const Event& event, persist::Document& /*doc*/) {
  if (const auto* key = std::get_if<KeyEvent>(&event)) return handle_key(*key);
  if (const auto* text = std::get_if<TextEvent>(&event)) {
    if (!focused_) return EventResult::Ignored;
    replace_selection(printable(text->text));
    return EventResult::Consumed;
  }
  if (const auto* pointer = std::get_if<PointerEvent>(&event)) return handle_pointer(*pointer);
  return EventResult::Ignored;
}

void TextInput::draw(Canvas& canvas) {
  if (rect_.empty()) return;
  const Colors& c = theme_.colors;
  const double s = theme_.text_scale;
  if (frame_) {
    const double radius = std::min(theme_.corner_radius * s, rect_.height() / 2);
    canvas.fill_rounded_rect(rect_, radius, c.surface);
    canvas.stroke_rounded_rect(rect_, radius, focused_ ? c.focus_ring : c.border, focused_ ? 2 : 1);
  }
  const double size = font_size();
  const double line = renderer_.measure("Ag", size).height;
  const double top = rect_.top + (rect_.height() - line) / 2;
  const Rect inner{rect_.left + padding() * 0.5, rect_.top, rect_.right - padding() * 0.5,
                   rect_.bottom};
  canvas.push_clip(inner);
  const double origin = text_origin_x();
  if (text_.empty()) {
    // Dimmer than muted text, so a hint never reads as a value the user typed.
    if (!placeholder_.empty()) {
      renderer_.draw_text(canvas, placeholder_, rect_.left + padding(), top, size,
                          c.text_muted.with_alpha(0.7));
    }
  } else {
    const std::string shown = display_text();
    const auto [from, to] = selection();
    if (from != to && focused_) {
      const std::string_view view(shown);
      const double x0 =
          origin + renderer_.measure(view.substr(0, display_offset(from)), size).width;
      const double x1 = origin + renderer_.measure(view.substr(0, display_offset(to)), size).width;
      canvas.fill_rect({x0, top, x1, top + line}, c.selection.with_alpha(0.5));
    }
    renderer_.draw_text(canvas, shown, origin, top, size, c.text);
  }
  if (focused_) {
    const double x = caret_x();
    canvas.fill_rect({x, top, x + std::max(1.0, 1.5 * s), top + line}, c.accent);
  }
  canvas.pop_clip();
}

AccessNode TextInput::accessibility() const {
  AccessNode node;
  node.role = kind_ == InputKind::Password ? "password_text" : "text";
  node.value = display_text();
  node.description = placeholder_;
  node.states.push_back("focusable");
  node.states.push_back("editable");
  if (focused_) node.states.push_back("focused");
  return node;
}

}  // namespace vexa::ui
