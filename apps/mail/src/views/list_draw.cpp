#include <fmt/core.h>

#include <algorithm>
#include <cctype>
#include <cmath>

#include "mailbox/conversations.h"
#include "vexa/ui/button.h"
#include "vexa/ui/icon.h"
#include "views/avatar_picture.h"
#include "views/date_labels.h"
#include "views/pane_impl.h"
#include "views/pane_texts.h"

namespace mail::views {

using vexa::ui::Canvas;
using vexa::ui::Color;
using vexa::ui::IconName;
using vexa::ui::Point;
using vexa::ui::Rect;
using vexa::ui::TextRenderer;
using vexa::ui::Theme;

ListMetrics measure_list_metrics(const TextRenderer& text) {
  ListMetrics m;
  m.sender_line_height = text.measure_weighted("Ag", 13.5, weight(3)).height;
  m.subject_line_top = m.sender_line_height + kRowMargin + kLineGap;
  m.subject_line_height = text.measure_weighted("Ag", 12.5, weight(2)).height;
  m.snippet_line_top = m.subject_line_top + m.subject_line_height + kLineGap;
  m.snippet_line_height = text.measure("Ag", 11.5).height;
  m.star_offset = m.snippet_line_top + m.snippet_line_height / 2;
  m.avatar_centre_offset =
      (m.sender_line_height + m.subject_line_height + 2 * kRowMargin + kLineGap) / 2;
  m.avatar_radius = 17 * std::max(static_cast<double>(text.text_scale()), 1.0);
  m.row_height = std::max({std::ceil(m.snippet_line_top + m.snippet_line_height + kRowMargin), 78.0,
                           std::ceil(2 * kRowMargin + 2 * m.avatar_radius)});
  m.control_height = std::max(2 * kControlMargin + text.measure("Ag", 13).height, 32.0);
  m.header_height = std::max(m.control_height + 24, 56.0);
  return m;
}

namespace {

struct Ctx {
  Canvas& canvas;
  const Theme& theme;
  const TextRenderer& text;
  Point pointer;
};

void pill(const Ctx& c, std::string_view label, double left, double centre_y, double size,
          int level, Color fill, Color ink) {
  const auto m = c.text.measure_weighted(label, size, weight(level));
  const double h = std::max(m.height + 2, 16.0);
  const Rect r{left, centre_y - h / 2, left + m.width + 18, centre_y + h / 2};
  c.canvas.fill_rounded_rect(r, h / 2, fill);
  c.text.draw_text_weighted(c.canvas, label, r.left + 9, centre_y - m.height / 2, size,
                            weight(level), ink);
}

void checkbox(const Ctx& c, Rect r, bool ticked) {
  const auto& colors = c.theme.colors;
  if (ticked) {
    c.canvas.fill_rounded_rect(r, 4, colors.accent);
    vexa::ui::Icon::draw(c.canvas, IconName::Check, r.inset(2), colors.accent_text);
  } else {
    c.canvas.stroke_rounded_rect(r, 4, colors.text_muted, 1.5);
  }
}

void draw_header(Pane& p, const core::MailState& state, const std::vector<HitRegion>& regions,
                 const Ctx& c, double s) {
  const auto& colors = c.theme.colors;
  const auto region = [&](RegionKind kind) -> const HitRegion* {
    for (const HitRegion& r : regions) {
      if (r.kind == kind) return &r;
    }
    return nullptr;
  };
  const HitRegion* toggle = region(RegionKind::BulkToggle);
  const HitRegion* refresh = region(RegionKind::Refresh);
  const HitRegion* search = region(RegionKind::SearchField);
  if (toggle == nullptr || refresh == nullptr) return;

  const Rect t = toggle->rect;
  const double box = 18 * s;
  const Point tc{(t.left + t.right) / 2, (t.top + t.bottom) / 2};
  if (t.contains(c.pointer)) c.canvas.fill_rounded_rect(t, 6 * s, colors.surface_raised);
  checkbox(c, {tc.x - box / 2, tc.y - box / 2, tc.x + box / 2, tc.y + box / 2}, state.bulk_mode);

  // Title and its count pill.
  const std::string title =
      state.bulk_mode ? "Selected" : std::string(display_name(state.current_folder));
  const double limit = (search != nullptr ? search->rect.left : refresh->rect.left) - 12 * s;
  const double title_x = t.right + 12 * s;
  const std::string shown =
      c.text.elide_to_width_weighted(title, 18, weight(3), std::max(0.0, limit - title_x));
  const auto tm = c.text.measure_weighted(shown, 18, weight(3));
  c.text.draw_text_weighted(c.canvas, shown, title_x, tc.y - tm.height / 2, 18, weight(3),
                            colors.text);
  if (title_x + tm.width + 26 * s < limit) {
    const std::size_t count = state.bulk_mode
                                  ? state.bulk_selection.size()
                                  : folder_counts(state.messages, state.current_folder).total;
    pill(c, fmt::format("{}", count), title_x + tm.width + 8 * s, tc.y, 12, 0,
         colors.surface_raised, colors.text_muted);
  }

  if (search != nullptr) {
    const Rect f = search->rect;
    c.canvas.fill_rounded_rect(f, f.height() / 2, colors.surface_raised);
    const bool focused = p.search_input() != nullptr && p.search_input()->focused();
    c.canvas.stroke_rounded_rect(f, f.height() / 2, focused ? colors.focus_ring : colors.border);
    const double icon = 16;
    vexa::ui::Icon::draw(c.canvas, IconName::Search,
                         {f.left + 10, (f.top + f.bottom - icon) / 2, f.left + 10 + icon,
                          (f.top + f.bottom + icon) / 2},
                         colors.text_muted);
    if (state.search_query.empty() && !focused) {
      const auto m = c.text.measure("Search", 13);
      c.text.draw_text(c.canvas, "Search", f.left + 30, (f.top + f.bottom - m.height) / 2, 13,
                       colors.text_muted);
    } else if (p.search_input() != nullptr) {
      p.search_input()->draw(c.canvas);
    }
    if (const HitRegion* clear = region(RegionKind::ClearSearch)) {
      const Rect r = clear->rect;
      const double cy = (r.top + r.bottom) / 2;
      vexa::ui::Icon::draw(c.canvas, IconName::Close, {r.left + 4, cy - 8, r.left + 20, cy + 8},
                           colors.text_muted);
    }
  }

  vexa::ui::Button::paint(c.canvas, refresh->rect,
                          {.icon = IconName::Refresh,
                           .style = vexa::ui::ButtonStyle::Quiet,
                           .hovered = refresh->rect.contains(c.pointer)},
                          c.theme, c.text);

  for (const HitRegion& r : regions) {
    if (r.kind != RegionKind::SelectAll && r.kind != RegionKind::BulkButton) continue;
    const bool hover = r.rect.contains(c.pointer);
    c.canvas.fill_rounded_rect(r.rect, c.theme.corner_radius,
                               hover ? colors.border : colors.surface_raised);
    std::string_view label = "Select all";
    IconName icon = IconName::Check;
    if (r.kind == RegionKind::BulkButton) {
      label = bulk_label(r.bulk);
      switch (r.bulk) {
        case BulkAction::Archive:
          icon = IconName::Archive;
          break;
        case BulkAction::MoveToTrash:
        case BulkAction::DeletePermanently:
          icon = IconName::Trash;
          break;
        case BulkAction::MarkRead:
          icon = IconName::Envelope;
          break;
        case BulkAction::MarkUnread:
          icon = IconName::Envelope;
          break;
      }
    }
    const auto m = c.text.measure(label, 13);
    const double cy = (r.rect.top + r.rect.bottom) / 2;
    const double start = (r.rect.left + r.rect.right - (m.width + 24)) / 2;
    const Color ink = r.bulk == BulkAction::DeletePermanently && r.kind == RegionKind::BulkButton
                          ? colors.danger
                          : colors.text;
    vexa::ui::Icon::draw(c.canvas, icon, {start, cy - 8, start + 16, cy + 8}, ink);
    c.text.draw_text(c.canvas, label, start + 24, cy - m.height / 2, 13, ink);
  }
}

void draw_row(const core::MailState& state, const ListMetrics& m, const Rect& row,
              const VisibleEntry& entry, double swipe, const Ctx& c, double s) {
  const auto& colors = c.theme.colors;
  const MailMessage* msg = state.messages.find(entry.id);
  c.canvas.push_clip(row);
  if (std::abs(swipe) > 1) {
    const double cy = (row.top + row.bottom) / 2;
    const auto lm = c.text.measure("Delete", 12);
    if (swipe > 0) {
      c.canvas.fill_rect({row.left, row.top, row.left + swipe, row.bottom}, colors.danger);
      vexa::ui::Icon::draw(c.canvas, IconName::Trash,
                           {row.left + 18, cy - 8, row.left + 34, cy + 8}, colors.accent_text);
      c.text.draw_text(c.canvas, "Delete", row.left + 40, cy - lm.height / 2, 12,
                       colors.accent_text);
    } else {
      c.canvas.fill_rect({row.right + swipe, row.top, row.right, row.bottom}, colors.success);
      const double ix = row.right - 90;
      vexa::ui::Icon::draw(c.canvas, IconName::Archive, {ix, cy - 8, ix + 16, cy + 8},
                           colors.accent_text);
      c.text.draw_text(c.canvas, "Archive", ix + 22, cy - lm.height / 2, 12, colors.accent_text);
    }
  }
  const Rect r{row.left + swipe, row.top, row.right + swipe, row.bottom};
  const bool in_bulk =
      state.bulk_mode && std::find(state.bulk_selection.begin(), state.bulk_selection.end(),
                                   entry.id) != state.bulk_selection.end();
  const bool selected = !state.bulk_mode && !state.layout.narrow && state.selected_message &&
                        *state.selected_message == entry.id;
  Color background = colors.background;
  if (selected || in_bulk) {
    background = colors.selection;
  } else if (row.contains(c.pointer)) {
    background = colors.surface_raised;
  }
  c.canvas.fill_rect(r, background);
  c.canvas.line({row.left, row.bottom - 0.5}, {row.right, row.bottom - 0.5}, colors.border);

  if (msg != nullptr) {
    const double avatar_cy = r.top + m.avatar_centre_offset;
    if (state.bulk_mode) {
      checkbox(c, {r.left + 4, avatar_cy - 8, r.left + 20, avatar_cy + 8}, in_bulk);
    } else if (!msg->seen) {
      c.canvas.fill_circle({r.left + 12, avatar_cy}, 4, colors.accent);
    }
    const double radius = m.avatar_radius;
    draw_avatar(c.canvas, state.images.get(), {r.left + 25 + radius, avatar_cy}, radius,
                {.name = msg->from.name.value_or(""), .address = msg->from.address}, c.theme);

    const double x = r.left + 25 + 2 * radius + kRowMargin;
    const double e = r.right - 14;
    const std::string date = row_date_label(msg->time, state.current_minute);
    const auto dm = c.text.measure(date, 11.5);
    const double sender_bottom = r.top + kRowMargin + m.sender_line_height;
    c.text.draw_text(c.canvas, date, e - dm.width, sender_bottom - dm.height, 11.5,
                     colors.text_muted);

    const std::string sender =
        msg->from.name && !msg->from.name->empty() ? *msg->from.name : msg->from.address;
    const int sender_weight = msg->seen ? 1 : 3;
    c.text.draw_text_weighted(
        c.canvas,
        c.text.elide_to_width_weighted(sender, 13.5, weight(sender_weight),
                                       std::max(0.0, e - dm.width - kRowMargin - x)),
        x, r.top + kRowMargin, 13.5, weight(sender_weight), colors.text);

    const int subject_weight = msg->seen ? 0 : 2;
    const double subject_end = e - (entry.count > 1 ? 48 * s : 16 * s);
    c.text.draw_text_weighted(
        c.canvas,
        c.text.elide_to_width_weighted(conversation_subject(msg->subject), 12.5,
                                       weight(subject_weight), std::max(0.0, subject_end - x)),
        x, r.top + m.subject_line_top, 12.5, weight(subject_weight), colors.text);
    if (entry.count > 1) {
      const std::string n = fmt::format("{}", entry.count);
      const auto nm = c.text.measure_weighted(n, 10.5, weight(2));
      const double ph = std::max(nm.height + 2, 16.0);
      const double cy = r.top + m.subject_line_top + m.subject_line_height / 2;
      const Rect pr{e - (nm.width + 18), cy - ph / 2, e, cy + ph / 2};
      c.canvas.fill_rounded_rect(pr, ph / 2, colors.surface_raised);
      c.text.draw_text_weighted(c.canvas, n, pr.left + 6, cy - nm.height / 2, 10.5, weight(2),
                                colors.text_muted);
    }

    const bool attachments = !msg->attachments.empty();
    const double snippet_end = e - (attachments ? 64 * s : 28 * s);
    c.text.draw_text(
        c.canvas,
        c.text.elide_to_width(snippet(msg->body_text), 11.5, std::max(0.0, snippet_end - x)), x,
        r.top + m.snippet_line_top, 11.5, colors.text_muted);

    const double sy = r.top + m.star_offset;
    vexa::ui::Icon::draw(c.canvas, msg->starred ? IconName::StarFilled : IconName::Star,
                         {e - 24, sy - 8, e - 8, sy + 8},
                         msg->starred ? colors.accent : colors.text_muted);
    if (attachments) {
      vexa::ui::Icon::draw(c.canvas, IconName::Attachment, {e - 46, sy - 7, e - 30, sy + 7},
                           colors.text_muted);
    }
  }
  c.canvas.pop_clip();
}

bool blank(std::string_view text) {
  return std::all_of(text.begin(), text.end(),
                     [](unsigned char ch) { return std::isspace(ch) != 0; });
}

void draw_empty(const core::MailState& state, const Rect& area, const Ctx& c) {
  const auto& colors = c.theme.colors;
  const bool query_empty = blank(state.search_query);
  const EmptyListText words =
      empty_list_text(state.messages.size() > 0, !state.accounts.empty(), query_empty);
  const double width = std::max(0.0, std::min(area.width() - 48, 360.0));
  const double cx = (area.left + area.right) / 2;
  const auto tm = c.text.measure_weighted(words.title, 16, weight(2));
  const auto bm = c.text.measure_wrapped(words.body, 13, weight(0), width);
  const double icon = 32;
  const double height = icon + 16 + tm.height + 8 + bm.height;
  double y = area.top + std::max(0.0, (area.height() - height) / 2);
  vexa::ui::Icon::draw(c.canvas, query_empty ? IconName::Inbox : IconName::Search,
                       {cx - icon / 2, y, cx + icon / 2, y + icon}, colors.text_muted);
  y += icon + 16;
  c.text.draw_text_weighted(c.canvas, words.title, cx - tm.width / 2, y, 16, weight(2),
                            colors.text);
  y += tm.height + 8;
  c.text.draw_wrapped(c.canvas, words.body, cx - width / 2, y, 13, weight(0), width,
                      vexa::ui::TextAlign::Center, colors.text_muted);
}

}  // namespace

void Pane::Impl::draw_list(Pane& p, Canvas& canvas) {
  core::MailState& state = *p.state_;
  if (state.search_focus_request) {
    state.search_focus_request = false;
    focus_search(p, true);
  } else if (p.search_ && p.search_->focused() != state.search_focus) {
    p.search_->set_focused(state.search_focus);
  }
  const Theme theme = Theme::dark().with_text_scale(p.text_scale_);
  TextRenderer text;
  text.set_text_scale(theme.text_scale);
  p.metrics_ = measure_list_metrics(text);
  // The regions follow the measured metrics, so what is painted is what a press hits.
  p.layout_regions();

  const double s = clamped_scale(p.text_scale_);
  const Rect& rect = p.rect_;
  canvas.push_clip(rect);
  canvas.fill_rect(rect, theme.colors.background);
  const Ctx c{canvas, theme, text, state.pointer};
  draw_header(p, state, p.regions_, c, s);

  const std::vector<VisibleEntry> visible = p.host_.visible_list();
  const double rows_top = rect.top + p.metrics_.header_height + (state.bulk_mode ? 140 * s : 0);
  if (visible.empty()) {
    draw_empty(state, {rect.left, rows_top, rect.right, rect.bottom}, c);
  } else {
    std::size_t index = 0;
    for (const HitRegion& region : p.regions_) {
      if (region.kind != RegionKind::MessageRow || index >= visible.size()) continue;
      const VisibleEntry& entry = visible[index++];
      const double swipe = p.swipe_active_ && p.swiped_id_ == entry.id ? p.swipe_offset_ : 0.0;
      draw_row(state, p.metrics_, region.rect, entry, swipe, c, s);
    }
  }
  canvas.pop_clip();
}

}  // namespace mail::views
