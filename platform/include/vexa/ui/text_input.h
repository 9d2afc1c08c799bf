#pragma once
// A single-line text field: caret and selection by character over UTF-8 text, the usual
// editing keys, typed and composed (IME) text inserted at the caret, and horizontal scrolling
// that keeps the caret in view. "Local" means the text lives in the widget, not in the
// persistent document; the owner reads it back with `text()`.
#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>

#include "vexa/ui/text.h"
#include "vexa/ui/theme.h"
#include "vexa/ui/widget.h"

namespace vexa::ui {

// What the field holds; the codes are stable, callers pass them as numbers. Only a password is
// handled differently (drawn masked, never exposed to assistive tools); the others tell a host
// which keyboard or completion to offer.
enum class InputKind : std::uint8_t {
  Text = 0,
  PersonName = 1,
  Search = 2,
  Username = 3,
  Email = 4,
  Hostname = 5,
  Url = 6,
  Phone = 7,
  Number = 8,
  Password = 9,
};

class TextInput : public Widget {
 public:
  static TextInput local();

  TextInput with_kind(std::uint8_t kind_code) &&;
  TextInput with_initial_value(std::string value) &&;
  TextInput with_placeholder(std::string placeholder) &&;
  // Font size before the text scale; the theme's body size by default.
  TextInput with_font_size(double size) &&;
  // Draws its own rounded field background and border (off by default, for owners that paint
  // the field themselves and give the input only the text area).
  TextInput with_frame(bool frame) &&;

  std::string_view type_name() const override { return "TextInput"; }
  // Takes the frame's text scale; owners that never build a layout for the input call this.
  void sync(persist::Document& doc, const FrameContext& ctx) override;
  std::expected<LayoutNode, std::string> build_layout(LayoutEngine& engine,
                                                      const FrameContext& ctx) override;
  void apply_layout(const LayoutEngine& engine, Rect rect) override;
  // Lays the input out in a rectangle its owner computed.
  void apply_layout_external(Rect rect);
  void draw(Canvas& canvas) override;
  // While focused: editing keys, typed text and text events. Any time: a primary press inside
  // focuses and places the caret (a drag extends the selection); a press outside unfocuses and
  // is left to others.
  EventResult handle_event(const Event& event, persist::Document& doc) override;
  AccessNode accessibility() const override;
  bool needs_redraw() const override { return redraw_; }
  void reset_redraw() override { redraw_ = false; }

  const std::string& text() const { return text_; }
  // Replaces the text; the caret goes to the end and the selection is dropped.
  void set_text(std::string text);
  const std::string& placeholder() const { return placeholder_; }
  InputKind kind() const { return kind_; }
  std::uint8_t kind_code() const { return static_cast<std::uint8_t>(kind_); }

  bool focused() const { return focused_; }
  void set_focused(bool focused);

  // Byte offsets into `text()`, always on character boundaries. The selection runs between the
  // anchor and the caret; it is empty when they meet.
  std::size_t caret() const { return caret_; }
  std::pair<std::size_t, std::size_t> selection() const;
  void select_all();
  void set_caret(std::size_t offset, bool extend = false);

  // True once after each change of the text made by input (not by `set_text`).
  bool take_changed();

  // Horizontal scroll of the text in logical pixels (0 when it fits).
  double scroll_offset() const { return scroll_; }
  // The text as drawn (bullets for a password).
  std::string display_text() const;
  // The caret's x position in logical pixels, as drawn.
  double caret_x() const;

 private:
  TextInput() = default;

  std::size_t display_offset(std::size_t offset) const;
  std::size_t offset_at_x(double x) const;
  double text_origin_x() const;
  double padding() const;
  double font_size() const;
  void replace_selection(std::string_view insert);
  void erase(bool forward);
  void keep_caret_visible();
  EventResult handle_key(const KeyEvent& key);
  EventResult handle_pointer(const PointerEvent& pointer);

  std::string text_;
  std::string placeholder_;
  InputKind kind_ = InputKind::Text;
  double font_size_ = 0;
  bool frame_ = false;
  std::size_t caret_ = 0;
  std::size_t anchor_ = 0;
  double scroll_ = 0;
  bool focused_ = false;
  bool dragging_ = false;
  bool changed_ = false;
  bool redraw_ = true;
  Theme theme_;
  TextRenderer renderer_;
};

// Nested spelling some callers use for the text input.
namespace widget::text_input {
using ::vexa::ui::InputKind;
using ::vexa::ui::TextInput;
}  // namespace widget::text_input

}  // namespace vexa::ui
