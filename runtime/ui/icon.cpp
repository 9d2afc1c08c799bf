#include "vexa/ui/icon.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace vexa::ui {
namespace {

constexpr double kPi = std::numbers::pi;
constexpr double kStroke = 1.8;  // grid units; about 1.2 px at 16 px

// Maps the 24-unit design grid onto the square fitted into the target rectangle.
class Grid {
 public:
  Grid(Canvas& canvas, Rect rect, Color color)
      : canvas_(canvas),
        color_(color),
        unit_(std::min(rect.width(), rect.height()) / 24.0),
        left_(rect.left + (rect.width() - 24 * unit_) / 2),
        top_(rect.top + (rect.height() - 24 * unit_) / 2) {}

  Point at(double x, double y) const { return {left_ + x * unit_, top_ + y * unit_}; }
  double len(double v) const { return v * unit_; }

  void polyline(std::initializer_list<Point> grid_points, bool closed = false) {
    canvas_.begin_path();
    bool first = true;
    for (Point p : grid_points) {
      if (first) {
        canvas_.move_to(at(p.x, p.y));
        first = false;
      } else {
        canvas_.line_to(at(p.x, p.y));
      }
    }
    if (closed) canvas_.close_path();
    stroke();
  }
  void line(double x0, double y0, double x1, double y1) { polyline({{x0, y0}, {x1, y1}}); }
  void circle(double x, double y, double r) {
    canvas_.begin_path();
    canvas_.arc(at(x, y), len(r), 0, 2 * kPi);
    stroke();
  }
  void dot(double x, double y, double r) { canvas_.fill_circle(at(x, y), len(r), color_); }
  void rounded_box(double x0, double y0, double x1, double y1, double r) {
    const Rect box{left_ + x0 * unit_, top_ + y0 * unit_, left_ + x1 * unit_, top_ + y1 * unit_};
    // The canvas strokes inside the box; widen it by half a stroke so the line sits on the grid.
    const double half = len(kStroke) / 2;
    canvas_.stroke_rounded_rect(
        {box.left - half, box.top - half, box.right + half, box.bottom + half}, len(r) + half,
        color_, len(kStroke));
  }

  Canvas& canvas() { return canvas_; }
  void stroke() { canvas_.stroke_path(color_, len(kStroke)); }
  void stroke_wide(double grid_width) { canvas_.stroke_path(color_, len(grid_width)); }
  void fill() { canvas_.fill_path(color_); }

 private:
  Canvas& canvas_;
  Color color_;
  double unit_;
  double left_;
  double top_;
};

void star_path(Grid& g) {
  Canvas& c = g.canvas();
  c.begin_path();
  for (int i = 0; i < 10; ++i) {
    const double r = i % 2 == 0 ? 9.5 : 4.2;
    const double a = -kPi / 2 + i * kPi / 5;
    const Point p = g.at(12 + r * std::cos(a), 12.8 + r * std::sin(a));
    if (i == 0) {
      c.move_to(p);
    } else {
      c.line_to(p);
    }
  }
  c.close_path();
}

void draw_settings(Grid& g) {
  g.circle(12, 12, 6);
  g.circle(12, 12, 2.4);
  Canvas& c = g.canvas();
  for (int i = 0; i < 8; ++i) {
    const double a = i * kPi / 4;
    c.begin_path();
    c.move_to(g.at(12 + 6.6 * std::cos(a), 12 + 6.6 * std::sin(a)));
    c.line_to(g.at(12 + 8.6 * std::cos(a), 12 + 8.6 * std::sin(a)));
    // Teeth are wider than the outline so the wheel reads as a gear, not a sun.
    g.stroke_wide(2.8);
  }
}

void draw_refresh(Grid& g) {
  Canvas& c = g.canvas();
  c.begin_path();
  // Clockwise from the upper right round to the top, leaving a gap for the arrow head.
  c.arc(g.at(12, 12), g.len(8), -kPi / 4, 1.5 * kPi);
  g.stroke();
  g.polyline({{8.8, 1}, {12, 4}, {8.8, 7}});
}

void draw_attachment(Grid& g) {
  Canvas& c = g.canvas();
  c.begin_path();
  c.move_to(g.at(17, 8));
  c.line_to(g.at(17, 15));
  c.arc(g.at(12, 15), g.len(5), 0, kPi);
  c.line_to(g.at(7, 6));
  c.arc(g.at(10.5, 6), g.len(3.5), kPi, 2 * kPi);
  c.line_to(g.at(14, 15));
  c.arc(g.at(12, 15), g.len(2), 0, kPi);
  c.line_to(g.at(10, 8));
  g.stroke();
}

}  // namespace

void Icon::draw(Canvas& canvas, IconName icon, Rect rect, Color color) {
  if (rect.empty()) return;
  Grid g(canvas, rect, color);
  Canvas& c = canvas;
  switch (icon) {
    case IconName::Inbox:
      g.rounded_box(3, 5, 21, 19, 2);
      g.polyline({{3, 13}, {8, 13}, {9.5, 16}, {14.5, 16}, {16, 13}, {21, 13}});
      break;
    case IconName::Star:
      star_path(g);
      g.stroke();
      break;
    case IconName::StarFilled:
      star_path(g);
      g.fill();
      star_path(g);
      g.stroke();
      break;
    case IconName::Sent:
      g.polyline({{3, 11}, {21, 3}, {13, 21}, {11, 13}}, true);
      g.line(11, 13, 21, 3);
      break;
    case IconName::Drafts:
      g.polyline({{6, 3}, {14, 3}, {19, 8}, {19, 21}, {6, 21}}, true);
      g.polyline({{14, 3}, {14, 8}, {19, 8}});
      g.line(9, 13, 16, 13);
      g.line(9, 17, 14, 17);
      break;
    case IconName::Archive:
      g.rounded_box(3, 4, 21, 9, 1);
      g.polyline({{5, 9}, {5, 20}, {19, 20}, {19, 9}});
      g.line(10, 13, 14, 13);
      break;
    case IconName::Trash:
      g.line(4, 6, 20, 6);
      g.polyline({{9, 6}, {9, 3.5}, {15, 3.5}, {15, 6}});
      g.polyline({{6, 6}, {7, 20.5}, {17, 20.5}, {18, 6}});
      g.line(10, 10, 10, 16.5);
      g.line(14, 10, 14, 16.5);
      break;
    case IconName::Junk:
      g.circle(12, 12, 9);
      g.line(12, 7.5, 12, 13);
      g.dot(12, 16.5, 1.2);
      break;
    case IconName::Folder:
      g.polyline({{3, 5}, {10, 5}, {12, 8}, {21, 8}, {21, 19}, {3, 19}}, true);
      break;
    case IconName::Label:
      g.polyline({{3, 5}, {14, 5}, {21, 12}, {14, 19}, {3, 19}}, true);
      g.dot(7.5, 12, 1.4);
      break;
    case IconName::Reply:
      g.polyline({{10, 6}, {4, 12}, {10, 18}});
      c.begin_path();
      c.move_to(g.at(4, 12));
      c.line_to(g.at(14, 12));
      c.curve_to(g.at(18, 12), g.at(20, 14.5), g.at(20, 19));
      g.stroke();
      break;
    case IconName::Forward:
      g.polyline({{14, 6}, {20, 12}, {14, 18}});
      c.begin_path();
      c.move_to(g.at(20, 12));
      c.line_to(g.at(10, 12));
      c.curve_to(g.at(6, 12), g.at(4, 14.5), g.at(4, 19));
      g.stroke();
      break;
    case IconName::Envelope:
      g.rounded_box(3, 5, 21, 19, 2);
      g.polyline({{3.5, 6}, {12, 13}, {20.5, 6}});
      break;
    case IconName::Refresh:
      draw_refresh(g);
      break;
    case IconName::Search:
      g.circle(10.5, 10.5, 6.5);
      g.line(15.2, 15.2, 20, 20);
      break;
    case IconName::Close:
      g.line(6, 6, 18, 18);
      g.line(18, 6, 6, 18);
      break;
    case IconName::Back:
      g.polyline({{11, 5}, {4, 12}, {11, 19}});
      g.line(4, 12, 20, 12);
      break;
    case IconName::Menu:
      g.line(4, 7, 20, 7);
      g.line(4, 12, 20, 12);
      g.line(4, 17, 20, 17);
      break;
    case IconName::Attachment:
      draw_attachment(g);
      break;
    case IconName::Compose:
      g.polyline({{4, 20}, {5, 15.5}, {15.5, 5}, {19, 8.5}, {8.5, 19}}, true);
      g.line(13.5, 7, 17, 10.5);
      break;
    case IconName::More:
      g.dot(6, 12, 1.7);
      g.dot(12, 12, 1.7);
      g.dot(18, 12, 1.7);
      break;
    case IconName::Check:
      g.polyline({{5, 12.5}, {10, 17.5}, {19, 7}});
      break;
    case IconName::Settings:
      draw_settings(g);
      break;
    case IconName::ChevronDown:
      g.polyline({{6, 9}, {12, 15}, {18, 9}});
      break;
    case IconName::ChevronRight:
      g.polyline({{9, 6}, {15, 12}, {9, 18}});
      break;
    case IconName::Plus:
      g.line(12, 5, 12, 19);
      g.line(5, 12, 19, 12);
      break;
  }
}

std::string_view Icon::name(IconName icon) {
  switch (icon) {
    case IconName::Inbox:
      return "inbox";
    case IconName::Star:
      return "star";
    case IconName::StarFilled:
      return "star-filled";
    case IconName::Sent:
      return "sent";
    case IconName::Drafts:
      return "drafts";
    case IconName::Archive:
      return "archive";
    case IconName::Trash:
      return "trash";
    case IconName::Junk:
      return "junk";
    case IconName::Folder:
      return "folder";
    case IconName::Label:
      return "label";
    case IconName::Reply:
      return "reply";
    case IconName::Forward:
      return "forward";
    case IconName::Envelope:
      return "envelope";
    case IconName::Refresh:
      return "refresh";
    case IconName::Search:
      return "search";
    case IconName::Close:
      return "close";
    case IconName::Back:
      return "back";
    case IconName::Menu:
      return "menu";
    case IconName::Attachment:
      return "attachment";
    case IconName::Compose:
      return "compose";
    case IconName::More:
      return "more";
    case IconName::Check:
      return "check";
    case IconName::Settings:
      return "settings";
    case IconName::ChevronDown:
      return "chevron-down";
    case IconName::ChevronRight:
      return "chevron-right";
    case IconName::Plus:
      return "plus";
  }
  return "";
}

std::optional<IconName> Icon::from_name(std::string_view name) {
  for (IconName icon : kAllIcons) {
    if (Icon::name(icon) == name) return icon;
  }
  return std::nullopt;
}

}  // namespace vexa::ui
