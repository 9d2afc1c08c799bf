#pragma once
// The widget interface the hosts drive: once per frame `sync`, then layout and drawing when the
// widget asks for a redraw; input through `handle_event`; accessibility on request.
#include <chrono>
#include <expected>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "vexa/ui/event.h"
#include "vexa/ui/geometry.h"
#include "vexa/ui/persist.h"
#include "vexa/ui/theme.h"

namespace vexa::ui {

class Canvas;
class LayoutEngine;
using LayoutNode = std::size_t;

using Clock = std::chrono::steady_clock;

struct FrameContext {
  Clock::time_point now{};
  float text_scale = 1.0f;
  double scale_factor = 1.0;
  Size window{};

  // The theme widgets lay out and draw with: the palette at this frame's text scale.
  Theme theme() const { return Theme::dark().with_text_scale(text_scale); }
};

struct AccessNode {
  std::string role;
  std::string name;
  std::string description;
  std::string value;
  std::string id;
  std::vector<std::string> states;
  std::vector<AccessNode> children;
};

class Widget {
 public:
  virtual ~Widget() = default;

  virtual std::string_view type_name() const = 0;

  virtual void sync(persist::Document& /*doc*/, const FrameContext& /*ctx*/) {}
  // Adds this widget's node (and its children's) to the engine; returns the node. The default
  // is one leaf filling its parent, registered to this widget.
  virtual std::expected<LayoutNode, std::string> build_layout(LayoutEngine& engine,
                                                              const FrameContext& ctx);
  // Called after the engine computed the layout; `rect` is this widget's rectangle.
  virtual void apply_layout(const LayoutEngine& /*engine*/, Rect rect) { rect_ = rect; }
  virtual void draw(Canvas& /*canvas*/) {}

  virtual EventResult handle_event(const Event& /*event*/, persist::Document& /*doc*/) {
    return EventResult::Ignored;
  }
  virtual bool perform_semantic_action(std::string_view /*id*/, std::string_view /*action*/,
                                       persist::Document& /*doc*/) {
    return false;
  }
  virtual AccessNode accessibility() const { return {}; }

  virtual bool needs_idle_sync() const { return false; }
  virtual bool needs_animation_frame() const { return false; }
  virtual std::optional<Clock::time_point> next_wakeup() { return std::nullopt; }
  virtual bool needs_redraw() const { return false; }
  virtual void reset_redraw() {}

  virtual std::vector<Widget*> children() { return {}; }
  virtual Widget* hit_test(Point p) { return rect_.contains(p) ? this : nullptr; }

  Rect rect() const { return rect_; }

 protected:
  Rect rect_{};
};

// One frame of a host: lays the root out over the window, paints it over the background and
// clears its redraw request. Both hosts draw through here so their frames stay alike.
void lay_out_and_paint(Widget& root, const FrameContext& ctx, Canvas& canvas);

}  // namespace vexa::ui
