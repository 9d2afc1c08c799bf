#pragma once
// On/off switches and segmented choices. As with buttons, each has a face that an owner with
// its own hit regions paints into a rectangle, and a widget that also handles input and reports
// a change once.
#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "vexa/ui/text.h"
#include "vexa/ui/theme.h"
#include "vexa/ui/widget.h"

namespace vexa::ui {

struct ToggleFace {
  bool on = false;
  bool hovered = false;
  bool disabled = false;
  bool focused = false;
};

class Toggle : public Widget {
 public:
  // The label names the switch for assistive tools; the owner draws any visible caption.
  Toggle(std::string label, std::string id, bool on = false);

  // A pill track with a round knob, the knob on the right and the track in the accent colour
  // when on. The switch keeps its proportions: it sits at the left of `rect`, centred
  // vertically, and shrinks only when `rect` is smaller than it.
  static void paint(Canvas& canvas, Rect rect, const ToggleFace& face, const Theme& theme);
  // The switch's own size at the theme's text scale.
  static Size switch_size(const Theme& theme);

  std::string_view type_name() const override { return "Toggle"; }
  std::expected<LayoutNode, std::string> build_layout(LayoutEngine& engine,
                                                      const FrameContext& ctx) override;
  void apply_layout(const LayoutEngine& engine, Rect rect) override;
  void apply_layout_external(Rect rect);
  void draw(Canvas& canvas) override;
  // A primary press over the switch flips it; Space or Enter flips it while focused.
  EventResult handle_event(const Event& event, persist::Document& doc) override;
  // "activate" or "toggle" on the id flips it.
  bool perform_semantic_action(std::string_view id, std::string_view action,
                               persist::Document& doc) override;
  AccessNode accessibility() const override;
  bool needs_redraw() const override { return redraw_; }
  void reset_redraw() override { redraw_ = false; }

  bool on() const { return face_.on; }
  void set_on(bool on);
  void set_enabled(bool enabled);
  void set_focused(bool focused);
  bool focused() const { return face_.focused; }
  // True once after each change made by input (not by `set_on`).
  bool take_changed();

 private:
  void flip();

  std::string label_;
  std::string id_;
  ToggleFace face_;
  Theme theme_;
  bool changed_ = false;
  bool redraw_ = true;
};

struct ToggleGroupFace {
  std::vector<std::string> options;
  std::size_t selected = 0;
  std::optional<std::size_t> hovered;
  bool disabled = false;
  bool focused = false;
  double font_size = 0;  // 0: the theme's label size
};

class ToggleGroup : public Widget {
 public:
  ToggleGroup(std::vector<std::string> options, std::string id, std::size_t selected = 0);

  // Equal segments side by side in one rounded track; the selected one is raised.
  static void paint(Canvas& canvas, Rect rect, const ToggleGroupFace& face, const Theme& theme,
                    const TextRenderer& text);
  // The segment of `count` equal segments across `rect` under `p`, if any.
  static std::optional<std::size_t> segment_at(Rect rect, std::size_t count, Point p);
  static Rect segment_rect(Rect rect, std::size_t count, std::size_t index);

  std::string_view type_name() const override { return "ToggleGroup"; }
  std::expected<LayoutNode, std::string> build_layout(LayoutEngine& engine,
                                                      const FrameContext& ctx) override;
  void apply_layout(const LayoutEngine& engine, Rect rect) override;
  void apply_layout_external(Rect rect);
  void draw(Canvas& canvas) override;
  // A primary press on a segment selects it; Left and Right move the choice while focused.
  EventResult handle_event(const Event& event, persist::Document& doc) override;
  // Each option is addressed as "<id>:<index>"; "activate" selects it.
  bool perform_semantic_action(std::string_view id, std::string_view action,
                               persist::Document& doc) override;
  AccessNode accessibility() const override;
  bool needs_redraw() const override { return redraw_; }
  void reset_redraw() override { redraw_ = false; }

  std::size_t selected() const { return face_.selected; }
  // Out-of-range indices are ignored.
  void set_selected(std::size_t index);
  void set_focused(bool focused);
  bool take_changed();
  const std::vector<std::string>& options() const { return face_.options; }

 private:
  void choose(std::size_t index);

  std::string id_;
  ToggleGroupFace face_;
  Theme theme_;
  TextRenderer text_;
  bool changed_ = false;
  bool redraw_ = true;
};

}  // namespace vexa::ui
