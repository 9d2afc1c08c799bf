#pragma once
// Logical-pixel geometry; rectangles are (left, top, right, bottom).
#include <algorithm>

namespace vexa::ui {

struct Point {
  double x = 0;
  double y = 0;
};

struct Size {
  double width = 0;
  double height = 0;
};

struct Rect {
  double left = 0;
  double top = 0;
  double right = 0;
  double bottom = 0;

  double width() const { return right - left; }
  double height() const { return bottom - top; }
  bool empty() const { return !(right > left && bottom > top); }
  bool contains(Point p) const { return p.x >= left && p.x < right && p.y >= top && p.y < bottom; }
  Rect inset(double d) const { return {left + d, top + d, right - d, bottom - d}; }
  friend bool operator==(const Rect&, const Rect&) = default;
};

}  // namespace vexa::ui
