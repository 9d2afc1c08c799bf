#include <algorithm>

#include "mailbox/conversations.h"
#include "vexa/ui/format.h"
#include "vexa/ui/icon.h"
#include "views/avatar_picture.h"
#include "views/date_labels.h"
#include "views/pane_impl.h"
#include "views/pane_texts.h"

namespace mail::views {

using vexa::ui::Canvas;
using vexa::ui::Color;
using vexa::ui::IconName;
using vexa::ui::Rect;
using vexa::ui::TextRenderer;
using vexa::ui::Theme;

namespace {

std::string_view shown_name(const MailAddress& a) {
  return a.name && !a.name->empty() ? std::string_view(*a.name) : std::string_view(a.address);
}

struct Drawing {
  Canvas& canvas;
  const Theme& theme;
  const TextRenderer& text;
  const core::MailState& state;
};

// The header of one card; returns where it ends.
double draw_card_header(const Drawing& d, const MailMessage& m, double x, double y, double w) {
  const auto& colors = d.theme.colors;
  const double r = 17 * std::max(static_cast<double>(d.text.text_scale()), 1.0);
  const vexa::ui::Point centre{x + r + 1, y + r + 1};
  draw_avatar(d.canvas, d.state.images.get(), centre, r,
              {.name = m.from.name.value_or(""), .address = m.from.address}, d.theme);

  const auto name_m = d.text.measure_weighted("Ag", 13.5, weight(2));
  const auto addr_m = d.text.measure("Ag", 11.5);
  const double name_top = centre.y - (name_m.height + addr_m.height) / 2;
  const double name_bottom = name_top + name_m.height;
  const double addr_bottom = name_bottom + addr_m.height;

  const std::string date = full_date(m.time);
  const auto dm = d.text.measure(date, 11.5);
  const double date_x = x + w - dm.width;
  d.text.draw_text(d.canvas, date, date_x, name_bottom - dm.height, 11.5, colors.text_muted);

  std::string to = "to ";
  for (std::size_t i = 0; i < m.to.size(); ++i) {
    if (i > 0) to += ", ";
    to += shown_name(m.to[i]);
  }
  const std::string to_shown =
      d.text.elide_to_width(to, 11, std::min(std::max(0.4 * w, 150.0), w - 60));
  const auto tm = d.text.measure(to_shown, 11);
  const double to_x = x + w - tm.width;
  d.text.draw_text(d.canvas, to_shown, to_x, addr_bottom - tm.height, 11, colors.text_muted);

  const double text_x = x + 2 * r + 10;
  const double width = std::max(0.0, std::min(date_x, to_x) - kRowMargin - text_x);
  d.text.draw_text_weighted(
      d.canvas, d.text.elide_to_width_weighted(shown_name(m.from), 13.5, weight(2), width), text_x,
      name_top, 13.5, weight(2), colors.text);
  d.text.draw_text(d.canvas, d.text.elide_to_width(m.from.address, 11.5, width), text_x,
                   name_bottom, 11.5, colors.text_muted);
  return std::max(std::max(addr_bottom, centre.y + r) + kRowMargin, y + 48);
}

// Plain text body, line by line; returns the bottom.
double draw_body(const Drawing& d, std::string_view body, double x, double y, double w,
                 double limit) {
  const auto& colors = d.theme.colors;
  while (y < limit) {
    const std::size_t end = body.find('\n');
    std::string_view line = body.substr(0, end);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (line.empty()) {
      y += 8;
    } else {
      const auto color = line.front() == '>' ? colors.text_muted : colors.text;
      const auto m = d.text.measure_wrapped(line, 13, weight(0), w);
      d.text.draw_wrapped(d.canvas, line, x, y, 13, weight(0), w, vexa::ui::TextAlign::Left, color);
      y += std::max(m.height, 18.0) + 2;
    }
    if (end == std::string_view::npos) break;
    body.remove_prefix(end + 1);
  }
  return y;
}

}  // namespace

void Pane::Impl::draw_reader(Pane& p, Canvas& canvas) {
  p.attachment_regions_.clear();
  p.banner_.reset();
  const core::MailState& state = *p.state_;
  const Theme theme = Theme::dark().with_text_scale(p.text_scale_);
  const auto& colors = theme.colors;
  TextRenderer text;
  text.set_text_scale(theme.text_scale);
  const Rect& rect = p.rect_;
  const double s = clamped_scale(p.text_scale_);
  const Drawing d{canvas, theme, text, state};
  canvas.push_clip(rect);
  canvas.fill_rect(rect, colors.background);

  if (state.bulk_mode) {
    const std::string title = selected_title(state.bulk_selection.size());
    const double y = rect.top + 56;
    text.draw_text_weighted(canvas, title, rect.left + 24, y, 20, weight(3), colors.text);
    text.draw_wrapped(canvas,
                      "Choose a batch action in the message list. Individual message actions are "
                      "paused while selecting.",
                      rect.left + 24, y + text.measure("Ag", 20).height + 30, 13, weight(0),
                      std::max(0.0, rect.width() - 48), vexa::ui::TextAlign::Left,
                      colors.text_muted);
    canvas.pop_clip();
    return;
  }

  const std::vector<const MailMessage*> conversation =
      state.selected_message ? reader_conversation(state.messages, *state.selected_message)
                             : std::vector<const MailMessage*>{};
  if (conversation.empty()) {
    const std::string_view note = "Select a conversation to read";
    const auto m = text.measure(note, 14);
    const double cx = (rect.left + rect.right) / 2;
    const double cy = (rect.top + rect.bottom) / 2;
    vexa::ui::Icon::draw(canvas, IconName::Envelope, {cx - 16, cy - 44, cx + 16, cy - 12},
                         colors.text_muted);
    text.draw_text(canvas, note, cx - m.width / 2, cy, 14, colors.text_muted);
    canvas.pop_clip();
    return;
  }

  const MailMessage* selected = state.messages.find(*state.selected_message);
  const bool starred = selected != nullptr && selected->starred;
  const bool labels = !state.layout.narrow && rect.width() >= 480;
  for (const HitRegion& r : p.regions_) {
    std::string label;
    IconName icon = IconName::Reply;
    switch (r.kind) {
      case RegionKind::Reply:
        label = "Reply";
        break;
      case RegionKind::Archive:
        label = "Archive", icon = IconName::Archive;
        break;
      case RegionKind::Delete:
        label = "Delete", icon = IconName::Trash;
        break;
      case RegionKind::Star:
        label = starred ? "Unstar" : "Star";
        icon = starred ? IconName::StarFilled : IconName::Star;
        break;
      case RegionKind::MarkUnread:
        label = "Mark unread", icon = IconName::Envelope;
        break;
      default:
        continue;
    }
    // Drawn here rather than as a button face: the fixed widths leave no room for its padding.
    if (r.rect.contains(state.pointer)) canvas.fill_rounded_rect(r.rect, 6, colors.surface_raised);
    const double cy = (r.rect.top + r.rect.bottom) / 2;
    const Color ink = icon == IconName::StarFilled ? colors.accent : colors.text;
    if (!labels) {
      const double cx = (r.rect.left + r.rect.right) / 2;
      vexa::ui::Icon::draw(canvas, icon, {cx - 8, cy - 8, cx + 8, cy + 8}, ink);
      continue;
    }
    const std::string shown = text.elide_to_width(label, 12.5, std::max(0.0, r.rect.width() - 26));
    const auto lm = text.measure(shown, 12.5);
    const double x = (r.rect.left + r.rect.right - (16 + 6 + lm.width)) / 2;
    vexa::ui::Icon::draw(canvas, icon, {x, cy - 8, x + 16, cy + 8}, ink);
    text.draw_text(canvas, shown, x + 22, cy - lm.height / 2, 12.5, colors.text);
  }

  const MailMessage& last = *conversation.back();
  const double title_top = rect.top + (s > 1.25 ? 124 : 56);
  const double title_width = std::max(rect.width() - 48, s > 1.25 ? 120.0 : 0.0);
  const std::string title =
      text.elide_to_width_weighted(conversation_subject(last.subject), 20, weight(3), title_width);
  text.draw_text_weighted(canvas, title, rect.left + 24, title_top, 20, weight(3), colors.text);
  double y = title_top + text.measure_weighted("Ag", 20, weight(3)).height + 4;
  const std::string count =
      conversation_count_line(conversation.size(), display_name(state.current_folder));
  text.draw_text(canvas, count, rect.left + 24, y, 12, colors.text_muted);
  y += text.measure(count, 12).height + 8;
  if (state.previewing() && selected != nullptr) {
    const std::string_view note =
        selected->seen ? "Preview · read state unchanged" : "Preview · remains unread";
    const auto m = text.measure(note, 11);
    const Rect pill{rect.left + 24, y, rect.left + 24 + m.width + 16, y + m.height + 6};
    canvas.fill_rounded_rect(pill, pill.height() / 2, colors.surface_raised);
    text.draw_text(canvas, note, pill.left + 8, pill.top + 3, 11, colors.warning);
    y = pill.bottom + 8;
  }

  const double card_left = rect.left + 24;
  const double card_right = rect.right - 24;
  const double pad = 12;
  for (std::size_t i = 0; i < conversation.size() && y < rect.bottom; ++i) {
    const MailMessage& m = *conversation[i];
    const bool is_last = i + 1 == conversation.size();
    const double x = card_left + pad;
    const double w = std::max(0.0, card_right - card_left - 2 * pad);
    // Outlined after its content, whose height decides the card's.
    const double card_top = y;
    double bottom = draw_card_header(d, m, x, y + pad, w);
    if (is_last) {
      bottom = draw_body(d, m.body_text, x, bottom, w, rect.bottom);
      if (!m.attachments.empty() && bottom < rect.bottom) {
        bottom += 8;
        const std::string heading = attachment_heading(m.attachments.size());
        text.draw_text_weighted(canvas, heading, x, bottom, 12, weight(2), colors.text_muted);
        bottom += text.measure_weighted(heading, 12, weight(2)).height + 8;
        double cx = x;
        for (std::size_t a = 0; a < m.attachments.size() && bottom < rect.bottom; ++a) {
          const std::string chip_text =
              m.attachments[a].filename + "  " + vexa::ui::format::bytes(m.attachments[a].size);
          const auto cm = text.measure(chip_text, 11.5);
          const double cw = cm.width + 64;
          if (cx > x && cx + cw > x + w) {
            cx = x;
            bottom += 36;
          }
          const Rect chip{cx, bottom, cx + cw, bottom + 30};
          const bool hover = chip.contains(state.pointer);
          canvas.fill_rounded_rect(chip, 8, hover ? colors.border : colors.surface_raised);
          vexa::ui::Icon::draw(canvas, IconName::Attachment,
                               {chip.left + 12, chip.top + 7, chip.left + 28, chip.top + 23},
                               colors.text_muted);
          text.draw_text(canvas, chip_text, chip.left + 36, chip.top + (30 - cm.height) / 2, 11.5,
                         colors.text);
          p.attachment_regions_.emplace_back(chip, a);
          cx += cw + 8;
        }
        bottom += 30;
      }
    }
    canvas.stroke_rounded_rect({card_left, card_top, card_right, bottom + pad}, theme.corner_radius,
                               colors.border);
    y = bottom + pad + 12;
  }
  canvas.pop_clip();
}

}  // namespace mail::views
