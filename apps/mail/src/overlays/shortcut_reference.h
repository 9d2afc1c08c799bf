#pragma once
// The keyboard shortcut reference: a modal sheet listing the main view's keys, compact (one
// column) in narrow windows and in two columns otherwise, scrollable when it does not fit.
#include <array>
#include <string_view>
#include <utility>

#include "vexa/ui/event.h"
#include "vexa/ui/modal.h"
#include "vexa/ui/widget.h"

namespace mail::core {

struct ShortcutRow {
  std::string_view action;
  std::string_view keys;
};

extern const std::array<ShortcutRow, 11> kShortcutRows;

class ShortcutReference {
 public:
  ShortcutReference();

  // Opens with the scroll at the top; an open reference stays as it is.
  void open();
  void close() { open_ = false; }
  bool is_open() const { return open_; }
  double scroll() const { return scroll_; }

  // Compact below 620 × text scale; fixes the title, description and row layout.
  void place(vexa::ui::Rect window, float text_scale);
  bool compact() const { return compact_; }
  double row_height() const { return row_height_; }
  // The largest scroll at which the last row is still fully shown.
  double max_scroll() const;
  const vexa::ui::ModalLayout& layout() const { return frame_.layout(); }
  const vexa::ui::ModalFrame& frame() const { return frame_; }

  // While open every event is consumed. `scale_factor` turns pixel scroll deltas into logical
  // pixels.
  vexa::ui::EventResult handle_event(const vexa::ui::Event& event, double scale_factor);
  void draw(vexa::ui::Canvas& canvas) const;
  vexa::ui::AccessNode accessibility() const;

 private:
  double content_height() const;

  vexa::ui::ModalFrame frame_;
  bool open_ = false;
  bool compact_ = false;
  double scroll_ = 0;
  double row_height_ = 27;
  float text_scale_ = 1.0f;
  vexa::ui::Point hover_{-1, -1};
};

}  // namespace mail::core
