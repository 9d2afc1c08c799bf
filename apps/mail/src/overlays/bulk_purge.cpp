#include "overlays/bulk_purge.h"

#include <fmt/format.h>

#include <algorithm>

#include "vexa/ui/text.h"
#include "vexa/ui/theme.h"

namespace mail::core {
namespace {

std::string_view noun(std::size_t n) { return n == 1 ? "message" : "messages"; }

void draw_button(vexa::ui::Canvas& canvas, const vexa::ui::TextRenderer& text, vexa::ui::Rect rect,
                 std::string_view label, vexa::ui::Color fill, vexa::ui::Color ink,
                 const vexa::ui::Theme& theme) {
  canvas.fill_rounded_rect(rect, 6, fill);
  const auto m = text.measure_weighted(label, theme.type.label, vexa::ui::FontWeight::Medium);
  text.draw_text_weighted(canvas, label, rect.left + (rect.width() - m.width) / 2,
                          rect.top + (rect.height() - m.height) / 2, theme.type.label,
                          vexa::ui::FontWeight::Medium, ink);
}

}  // namespace

std::expected<std::size_t, std::string> check_bulk_purge(const MailState& state) {
  const auto& ids = state.bulk_selection;
  if (ids.empty()) return std::unexpected(std::string(kPurgeNothingSelected));
  const bool all_trash = std::all_of(ids.begin(), ids.end(), [&](const MessageId& id) {
    const MailMessage* m = state.messages.find(id);
    return m != nullptr && m->folder == FolderRole::Trash;
  });
  if (!all_trash) return std::unexpected(std::string(kPurgeNotAllTrash));
  return ids.size();
}

std::string purge_confirmation_text(std::size_t count) {
  return fmt::format("{} trashed {} will be removed from this mailbox.", count, noun(count));
}

std::string purge_accessible_description(std::size_t count) {
  return fmt::format(
      "{} trashed {} will be removed from this mailbox and cannot be recovered from the server.",
      count, noun(count));
}

PurgeSheetGeometry purge_sheet_geometry(vexa::ui::Rect window) {
  const double width = std::max(0.0, std::min(window.width() - 40, 420.0));
  const double height = std::max(0.0, std::min(window.height() - 40, 206.0));
  const double left = window.left + (window.width() - width) / 2;
  const double top = window.top + (window.height() - height) / 2;
  const vexa::ui::Rect sheet{left, top, left + width, top + height};
  const double r = sheet.right;
  const double b = sheet.bottom;
  return {sheet, {r - 166, b - 52, r - 24, b - 18}, {r - 262, b - 52, r - 176, b - 18}};
}

BulkPurgeConfirmation::Input BulkPurgeConfirmation::handle_event(const vexa::ui::Event& event,
                                                                 vexa::ui::Rect window) const {
  if (const auto* key = std::get_if<vexa::ui::KeyEvent>(&event)) {
    if (!key->pressed) return Input::Swallowed;
    if (key->key == "Escape") return Input::Cancel;
    if (key->key == "Enter") return Input::Confirm;
    return Input::Swallowed;
  }
  if (const auto* pointer = std::get_if<vexa::ui::PointerEvent>(&event)) {
    if (pointer->type != vexa::ui::PointerEvent::Type::Press) return Input::Swallowed;
    const PurgeSheetGeometry g = purge_sheet_geometry(window);
    const vexa::ui::Point p{pointer->x, pointer->y};
    if (g.confirm.contains(p)) {
      return pointer->button == vexa::ui::PointerButton::Primary ? Input::Confirm
                                                                 : Input::Swallowed;
    }
    if (g.cancel.contains(p) || !g.sheet.contains(p)) return Input::Cancel;
  }
  return Input::Swallowed;
}

void BulkPurgeConfirmation::draw(vexa::ui::Canvas& canvas, vexa::ui::Rect window,
                                 float text_scale) const {
  if (!open_) return;
  const vexa::ui::Theme theme = vexa::ui::Theme::current().with_text_scale(text_scale);
  vexa::ui::TextRenderer text;
  text.set_text_scale(text_scale);
  const PurgeSheetGeometry g = purge_sheet_geometry(window);
  canvas.fill_rect(window, vexa::ui::Color::hex(0x000000, 0.5));
  canvas.fill_rounded_rect(g.sheet, theme.corner_radius * 1.5, theme.colors.surface_raised);
  canvas.stroke_rounded_rect(g.sheet, theme.corner_radius * 1.5, theme.colors.border);
  const double x = g.sheet.left + 24;
  const double width = std::max(0.0, g.sheet.width() - 48);
  double y = g.sheet.top + 22;
  text.draw_text_weighted(canvas, "Delete permanently?", x, y, theme.type.subtitle,
                          vexa::ui::FontWeight::Semibold, theme.colors.text);
  y += text.measure_weighted("Delete permanently?", theme.type.subtitle,
                             vexa::ui::FontWeight::Semibold)
           .height +
       10;
  const std::string body = purge_confirmation_text(count_);
  text.draw_wrapped(canvas, body, x, y, theme.type.body, vexa::ui::FontWeight::Regular, width,
                    vexa::ui::TextAlign::Left, theme.colors.text);
  y += text.measure_wrapped(body, theme.type.body, vexa::ui::FontWeight::Regular, width).height + 6;
  text.draw_wrapped(canvas, "This cannot be undone or recovered from the server.", x, y,
                    theme.type.small, vexa::ui::FontWeight::Regular, width,
                    vexa::ui::TextAlign::Left, theme.colors.text_muted);
  draw_button(canvas, text, g.cancel, "Cancel", theme.colors.surface, theme.colors.text, theme);
  draw_button(canvas, text, g.confirm, "Delete permanently", theme.colors.danger,
              theme.colors.accent_text, theme);
}

vexa::ui::AccessNode BulkPurgeConfirmation::accessibility() const {
  vexa::ui::AccessNode node;
  node.role = "dialog";
  node.name = "Delete permanently?";
  node.description = purge_accessible_description(count_);
  vexa::ui::AccessNode cancel;
  cancel.role = "button";
  cancel.name = "Cancel";
  cancel.id = "mail.bulk-purge:cancel";
  vexa::ui::AccessNode confirm;
  confirm.role = "button";
  confirm.name = "Delete permanently";
  confirm.id = "mail.bulk-purge:confirm";
  node.children = {std::move(cancel), std::move(confirm)};
  return node;
}

}  // namespace mail::core
