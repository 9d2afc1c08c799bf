#pragma once
// A centred card with a title, a body and one primary button, for screens that have nothing
// to show yet. The owner reads a press of the button with `take_activated`.
#include <string>

#include "vexa/ui/text.h"
#include "vexa/ui/theme.h"
#include "vexa/ui/widget.h"

namespace vexa::ui {

class EmptyState : public Widget {
 public:
  EmptyState(std::string title, std::string body, std::string action_label, std::string action_id);

  std::string_view type_name() const override { return "EmptyState"; }

  std::expected<LayoutNode, std::string> build_layout(LayoutEngine& engine,
                                                      const FrameContext& ctx) override;
  void apply_layout(const LayoutEngine& engine, Rect rect) override;
  void draw(Canvas& canvas) override;

  // A primary press and release on the button, or Enter or Space while focused, activates it.
  // Tab moves the focus onto the button and off it again.
  EventResult handle_event(const Event& event, persist::Document& doc) override;
  // "activate" on the action id activates, like a click.
  bool perform_semantic_action(std::string_view id, std::string_view action,
                               persist::Document& doc) override;
  AccessNode accessibility() const override;

  bool needs_redraw() const override { return redraw_; }
  void reset_redraw() override { redraw_ = false; }

  // True once after each activation.
  bool take_activated();

  void set_focused(bool focused);
  bool focused() const { return focused_; }

  const std::string& title() const { return title_; }
  const std::string& body() const { return body_; }
  const std::string& action_label() const { return action_label_; }
  const std::string& action_id() const { return action_id_; }
  Rect card_rect() const { return card_; }
  Rect button_rect() const { return button_; }

 private:
  void place();
  void activate();

  std::string title_;
  std::string body_;
  std::string action_label_;
  std::string action_id_;
  Theme theme_;
  TextRenderer text_;
  Rect card_{};
  Rect button_{};
  double title_top_ = 0;
  double body_top_ = 0;
  bool pressed_ = false;
  bool hovered_ = false;
  bool focused_ = false;
  bool activated_ = false;
  bool redraw_ = true;
};

}  // namespace vexa::ui
