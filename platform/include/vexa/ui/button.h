#pragma once
// Push buttons. A pane that computes its own hit regions paints a `ButtonFace` into a rectangle
// with `Button::paint`; a form that wants the behaviour too uses the `Button` widget, which
// tracks hover, press and focus and reports activations once.
#include <optional>
#include <string>

#include "vexa/ui/icon.h"
#include "vexa/ui/text.h"
#include "vexa/ui/theme.h"
#include "vexa/ui/widget.h"

namespace vexa::ui {

enum class ButtonStyle : std::uint8_t {
  Primary = 0,      // accent fill, for the one main action of a surface
  Secondary = 1,    // raised fill with a border
  Quiet = 2,        // no fill until hovered, for toolbars and icon buttons
  Destructive = 3,  // danger fill
};

struct ButtonFace {
  std::string label;
  std::optional<IconName> icon;
  ButtonStyle style = ButtonStyle::Secondary;
  bool hovered = false;
  bool pressed = false;
  bool disabled = false;
  bool focused = false;
  double font_size = 0;  // 0: the theme's label size
};

class Button : public Widget {
 public:
  Button(std::string label, std::string id, ButtonStyle style = ButtonStyle::Secondary);

  // Paints the face filling `rect`: icon and label centred together, the label elided to fit.
  static void paint(Canvas& canvas, Rect rect, const ButtonFace& face, const Theme& theme,
                    const TextRenderer& text);
  // The size the face wants at the theme's text scale (content plus padding, at least 32 high).
  static Size preferred_size(const ButtonFace& face, const Theme& theme, const TextRenderer& text);

  Button& with_icon(IconName icon);

  std::string_view type_name() const override { return "Button"; }
  std::expected<LayoutNode, std::string> build_layout(LayoutEngine& engine,
                                                      const FrameContext& ctx) override;
  void apply_layout(const LayoutEngine& engine, Rect rect) override;
  void draw(Canvas& canvas) override;
  // A primary press and release over the button, or Enter or Space while focused, activates it;
  // releasing elsewhere cancels. Disabled buttons ignore everything.
  EventResult handle_event(const Event& event, persist::Document& doc) override;
  bool perform_semantic_action(std::string_view id, std::string_view action,
                               persist::Document& doc) override;
  AccessNode accessibility() const override;
  bool needs_redraw() const override { return redraw_; }
  void reset_redraw() override { redraw_ = false; }

  // The rectangle may come from the owner's own layout instead of the engine.
  void apply_layout_external(Rect rect);
  bool take_activated();

  void set_label(std::string label);
  void set_enabled(bool enabled);
  void set_focused(bool focused);
  bool enabled() const { return !face_.disabled; }
  bool focused() const { return face_.focused; }
  bool hovered() const { return face_.hovered; }
  bool pressed() const { return face_.pressed; }
  const ButtonFace& face() const { return face_; }
  const std::string& id() const { return id_; }

 private:
  void set_flag(bool ButtonFace::*flag, bool value);

  ButtonFace face_;
  std::string id_;
  Theme theme_;
  TextRenderer text_;
  bool activated_ = false;
  bool redraw_ = true;
};

}  // namespace vexa::ui
