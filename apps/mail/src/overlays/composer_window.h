#pragma once
// The composer's floating window: where it is first placed, and how the pointer moves it by its
// title bar and resizes it by its edges and bottom corners.
#include <optional>

#include "vexa/ui/geometry.h"

namespace mail::core {

class ComposerWindow {
 public:
  static constexpr double kMinWidth = 380;
  static constexpr double kMinHeight = 340;
  static constexpr double kEdge = 8;       // width of the resize zones
  static constexpr double kTitleBar = 38;  // the title bar at the top moves the window

  enum class Grab { None, Move, Right, Left, Bottom, BottomRight, BottomLeft };

  // Placed once, at the first layout: k × 560 by k × 460 within the window (but never below the
  // minimum size); docked to the top-right corner, or centred and never closer than 8 to the top.
  void place(vexa::ui::Rect window);
  bool placed() const { return placed_; }
  const vexa::ui::Rect& rect() const { return rect_; }
  void set_rect(vexa::ui::Rect rect) {
    rect_ = rect;
    placed_ = true;
  }

  double size_factor = 1.0;
  bool docked = false;

  // A primary press: which part of the window it grabs (None outside the window or on the
  // composer's own content).
  Grab press(vexa::ui::Point p);
  // While grabbed, every pointer move recomputes the rectangle from the one at the press.
  bool drag(vexa::ui::Point p);
  void release() { grab_ = Grab::None; }
  bool grabbed() const { return grab_ != Grab::None; }

  // Which part a press at `p` would grab, without grabbing.
  Grab zone(vexa::ui::Point p) const;

 private:
  vexa::ui::Rect rect_{};
  bool placed_ = false;
  Grab grab_ = Grab::None;
  vexa::ui::Rect at_press_{};
  vexa::ui::Point press_{};
};

}  // namespace mail::core
