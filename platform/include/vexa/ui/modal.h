#pragma once
// Modal sheets: a dimmed backdrop over the window and a centred sheet with a title and an
// optional description above the owner's content. The frame only places and paints; the owner
// draws into the content rectangle and decides what a press on the backdrop means.
#include <string>

#include "vexa/ui/canvas.h"
#include "vexa/ui/geometry.h"
#include "vexa/ui/text.h"
#include "vexa/ui/theme.h"

namespace vexa::ui {

struct ModalLayout {
  Rect window{};   // the area the backdrop covers
  Rect sheet{};    // the sheet itself
  Rect content{};  // where the owner draws; may be shorter than asked when the window is short
  double title_top = 0;
  double description_top = 0;

  // True when a press at `p` falls outside the sheet, that is on the backdrop. Before the first
  // placement the sheet is empty, so every press dismisses.
  bool dismisses(Point p) const { return !sheet.contains(p); }
};

class ModalFrame {
 public:
  // `max_width` is in logical pixels and does not grow with the text scale: it bounds a sheet
  // that would otherwise stretch across a wide window.
  ModalFrame(std::string title, std::string description = {}, double max_width = 560);

  // Places the sheet for content of `content_height` in `window`: width min(max width, window
  // width − 48), height as needed up to window height − 48, centred both ways.
  const ModalLayout& place(Rect window, double content_height, const Theme& theme);
  const ModalLayout& layout() const { return layout_; }

  // Backdrop, sheet, title and description, as last placed.
  void draw(Canvas& canvas) const;

  void set_title(std::string title) { title_ = std::move(title); }
  void set_description(std::string description) { description_ = std::move(description); }
  void set_max_width(double max_width) { max_width_ = max_width; }
  const std::string& title() const { return title_; }
  const std::string& description() const { return description_; }
  double max_width() const { return max_width_; }

 private:
  std::string title_;
  std::string description_;
  double max_width_;
  Theme theme_;
  TextRenderer text_;
  ModalLayout layout_;
};

}  // namespace vexa::ui
