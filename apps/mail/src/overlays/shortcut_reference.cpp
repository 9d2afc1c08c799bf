#include "overlays/shortcut_reference.h"

#include <algorithm>

#include "vexa/ui/text.h"
#include "vexa/ui/theme.h"

namespace mail::core {
namespace {

constexpr double kMaxWidth = 700;
constexpr std::size_t kFirstColumnRows = 6;

}  // namespace

const std::array<ShortcutRow, 11> kShortcutRows = {{
    {"Open selected message (marks it read)", "Enter"},
    {"Preview selected message (keeps unread)", "P"},
    {"Browse selected message", "↑ / ↓"},
    {"Search mail", "/ or Cmd/Ctrl-F"},
    {"Compose", "C"},
    {"Reply / star / archive", "R / S / E"},
    {"Mark unread / move to Trash", "U / Delete"},
    {"Select messages / select all", "X / Cmd/Ctrl-A"},
    {"Permanently delete selected Trash", "Shift-Delete"},
    {"Refresh current folder", "F5"},
    {"Close this reference", "Esc"},
}};

ShortcutReference::ShortcutReference() : frame_("Keyboard shortcuts", {}, kMaxWidth) {}

void ShortcutReference::open() {
  if (open_) return;
  open_ = true;
  scroll_ = 0;
}

double ShortcutReference::content_height() const {
  const std::size_t rows = compact_ ? kShortcutRows.size() : kFirstColumnRows;
  return row_height_ * static_cast<double>(rows);
}

void ShortcutReference::place(vexa::ui::Rect window, float text_scale) {
  text_scale_ = text_scale;
  compact_ = window.width() < 620.0 * text_scale;
  if (compact_) {
    frame_.set_title("Shortcuts");
    frame_.set_description("Mail’s shortcuts use the same actions as buttons and menus.");
    row_height_ = 43.0 * text_scale;
  } else {
    frame_.set_title("Keyboard shortcuts");
    frame_.set_description("Opening marks mail read. Preview is explicitly read-state neutral.");
    row_height_ = 27.0 * text_scale;
  }
  frame_.place(window, content_height(), vexa::ui::Theme::current().with_text_scale(text_scale));
  scroll_ = std::clamp(scroll_, 0.0, max_scroll());
}

double ShortcutReference::max_scroll() const {
  return std::max(0.0, content_height() - frame_.layout().content.height());
}

vexa::ui::EventResult ShortcutReference::handle_event(const vexa::ui::Event& event,
                                                      double scale_factor) {
  if (!open_) return vexa::ui::EventResult::Ignored;
  if (const auto* key = std::get_if<vexa::ui::KeyEvent>(&event)) {
    if (key->pressed && (key->key == "?" || key->key == "Escape")) close();
  } else if (const auto* pointer = std::get_if<vexa::ui::PointerEvent>(&event)) {
    hover_ = {pointer->x, pointer->y};
    if (pointer->type == vexa::ui::PointerEvent::Type::Press &&
        pointer->button == vexa::ui::PointerButton::Primary &&
        frame_.layout().dismisses({pointer->x, pointer->y})) {
      close();
    }
  } else if (const auto* scroll = std::get_if<vexa::ui::ScrollEvent>(&event)) {
    const double factor = scale_factor > 0 ? scale_factor : 1.0;
    const double delta = scroll->in_lines ? scroll->dy * 36.0 * text_scale_ : scroll->dy / factor;
    scroll_ = std::clamp(scroll_ + delta, 0.0, max_scroll());
  }
  return vexa::ui::EventResult::Consumed;
}

void ShortcutReference::draw(vexa::ui::Canvas& canvas) const {
  if (!open_) return;
  frame_.draw(canvas);
  const vexa::ui::Theme theme = vexa::ui::Theme::current().with_text_scale(text_scale_);
  vexa::ui::TextRenderer text;
  text.set_text_scale(text_scale_);
  const vexa::ui::Rect content = frame_.layout().content;
  if (content.empty()) return;
  canvas.push_clip(content);
  const std::size_t columns = compact_ ? 1 : 2;
  const double column_width = content.width() / static_cast<double>(columns);
  for (std::size_t i = 0; i < kShortcutRows.size(); ++i) {
    const std::size_t column = compact_ || i < kFirstColumnRows ? 0 : 1;
    const std::size_t row = column == 0 ? i : i - kFirstColumnRows;
    const double left = content.left + column_width * static_cast<double>(column);
    const double top = content.top + row_height_ * static_cast<double>(row) - scroll_;
    const vexa::ui::Rect cell{left, top, left + column_width, top + row_height_};
    if (cell.contains(hover_)) {
      canvas.fill_rounded_rect(cell.inset(2), 6, theme.colors.surface);
    }
    const ShortcutRow& r = kShortcutRows[i];
    const double pad = 8 * text_scale_;
    const auto keys = text.measure_weighted(r.keys, theme.type.small, vexa::ui::FontWeight::Medium);
    const double keys_x = cell.right - pad - keys.width;
    const double label_width = std::max(0.0, keys_x - cell.left - 2 * pad);
    const std::string label = text.elide_to_width(r.action, theme.type.body, label_width);
    const auto lm = text.measure(label, theme.type.body);
    text.draw_text(canvas, label, cell.left + pad, top + (row_height_ - lm.height) / 2,
                   theme.type.body, theme.colors.text);
    text.draw_text_weighted(canvas, r.keys, keys_x, top + (row_height_ - keys.height) / 2,
                            theme.type.small, vexa::ui::FontWeight::Medium, theme.colors.accent);
  }
  canvas.pop_clip();
}

vexa::ui::AccessNode ShortcutReference::accessibility() const {
  vexa::ui::AccessNode node;
  node.role = "dialog";
  node.name = "Mail keyboard shortcuts";
  node.description =
      "Shortcut reference. Open marks the selected message read; Preview keeps its unread state.";
  return node;
}

}  // namespace mail::core
