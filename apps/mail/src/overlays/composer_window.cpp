#include "overlays/composer_window.h"

#include <algorithm>

namespace mail::core {

void ComposerWindow::place(vexa::ui::Rect window) {
  if (placed_) return;
  const double w = window.width();
  const double h = window.height();
  const double width = std::max(std::min(size_factor * 560, w - 32), kMinWidth);
  const double height = std::max(std::min(size_factor * 460, h - 32), kMinHeight);
  if (docked) {
    const double right = window.right - 16;
    const double top = window.top + 16;
    rect_ = {right - width, top, right, std::min(top + height, window.bottom - 16)};
  } else {
    const double left = window.left + (w - width) / 2;
    const double top = std::max(window.top + (h - height) / 2, window.top + 8);
    rect_ = {left, top, left + width, top + height};
  }
  placed_ = true;
}

ComposerWindow::Grab ComposerWindow::zone(vexa::ui::Point p) const {
  if (!rect_.contains(p)) return Grab::None;
  const bool near_right = p.x >= rect_.right - kEdge;
  const bool near_left = p.x <= rect_.left + kEdge;
  const bool near_bottom = p.y >= rect_.bottom - kEdge;
  if (near_right) return near_bottom ? Grab::BottomRight : Grab::Right;
  if (near_left) {
    if (near_bottom) return Grab::BottomLeft;
    // The title bar's left end moves the window rather than resizing it.
    if (p.y > rect_.top + kTitleBar) return Grab::Left;
  }
  if (near_bottom) return Grab::Bottom;
  if (p.y < rect_.top + kTitleBar) return Grab::Move;
  return Grab::None;
}

ComposerWindow::Grab ComposerWindow::press(vexa::ui::Point p) {
  grab_ = zone(p);
  if (grab_ != Grab::None) {
    at_press_ = rect_;
    press_ = p;
  }
  return grab_;
}

bool ComposerWindow::drag(vexa::ui::Point p) {
  if (grab_ == Grab::None) return false;
  const double dx = p.x - press_.x;
  const double dy = p.y - press_.y;
  vexa::ui::Rect r = at_press_;
  const bool right = grab_ == Grab::Right || grab_ == Grab::BottomRight;
  const bool left = grab_ == Grab::Left || grab_ == Grab::BottomLeft;
  const bool bottom =
      grab_ == Grab::Bottom || grab_ == Grab::BottomRight || grab_ == Grab::BottomLeft;
  if (grab_ == Grab::Move) {
    r = {r.left + dx, r.top + dy, r.right + dx, r.bottom + dy};
  }
  if (right) r.right = std::max(at_press_.right + dx, r.left + kMinWidth);
  if (left) r.left = std::min(at_press_.left + dx, r.right - kMinWidth);
  if (bottom) r.bottom = std::max(at_press_.bottom + dy, r.top + kMinHeight);
  rect_ = r;
  return true;
}

}  // namespace mail::core
