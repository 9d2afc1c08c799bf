#include <fmt/core.h>

#include <algorithm>

#include "mailbox/conversations.h"
#include "store/account_list.h"
#include "vexa/ui/button.h"
#include "vexa/ui/icon.h"
#include "views/avatar_picture.h"
#include "views/pane_impl.h"

namespace mail::views {

using vexa::ui::Canvas;
using vexa::ui::IconName;
using vexa::ui::Rect;
using vexa::ui::TextRenderer;
using vexa::ui::Theme;

namespace {

IconName folder_icon(FolderRole role) {
  switch (role) {
    case FolderRole::Inbox:
      return IconName::Inbox;
    case FolderRole::Starred:
      return IconName::Star;
    case FolderRole::Sent:
      return IconName::Sent;
    case FolderRole::Drafts:
      return IconName::Drafts;
    case FolderRole::Archive:
      return IconName::Archive;
    case FolderRole::Trash:
      return IconName::Trash;
    case FolderRole::Junk:
      return IconName::Junk;
  }
  return IconName::Folder;
}

double centred(const TextRenderer& text, std::string_view s, double size, const Rect& r) {
  return (r.top + r.bottom - text.measure(s, size).height) / 2;
}

}  // namespace

void Pane::Impl::draw_sidebar(Pane& p, Canvas& canvas) {
  const core::MailState& state = *p.state_;
  const Theme theme = Theme::dark().with_text_scale(p.text_scale_);
  const auto& colors = theme.colors;
  TextRenderer text;
  text.set_text_scale(theme.text_scale);
  const Rect& rect = p.rect_;
  const vexa::ui::Point pointer = state.pointer;
  canvas.push_clip(rect);
  canvas.fill_rect(rect, colors.surface);
  text.draw_text_weighted(canvas, "Mail", rect.left + 60, rect.top + 19, 16, weight(2),
                          colors.text);

  const std::size_t selected = state.current_account_index();
  for (const HitRegion& r : p.regions_) {
    if (r.rect.top >= rect.bottom) break;
    const bool hover = r.rect.contains(pointer);
    switch (r.kind) {
      case RegionKind::ComposeButton:
        vexa::ui::Button::paint(canvas, r.rect,
                                {.label = "Compose",
                                 .icon = IconName::Compose,
                                 .style = vexa::ui::ButtonStyle::Primary,
                                 .hovered = hover,
                                 .font_size = 14},
                                theme, text);
        break;
      case RegionKind::AccountRow: {
        if (r.account >= state.accounts.size()) break;
        const store::AccountEntry& entry = state.accounts[r.account].entry;
        if (hover) canvas.fill_rounded_rect(r.rect, theme.corner_radius, colors.surface_raised);
        const double icon_top = (r.rect.top + r.rect.bottom - 16) / 2;
        vexa::ui::Icon::draw(
            canvas,
            state.accounts[r.account].collapsed ? IconName::ChevronRight : IconName::ChevronDown,
            {r.rect.left + 6, icon_top, r.rect.left + 22, icon_top + 16}, colors.text_muted);
        const std::string name = store::account_label(entry.config);
        draw_avatar(
            canvas, state.images.get(), {r.rect.left + 36, r.rect.top + 22}, 13,
            {.name = name, .address = entry.config.email, .seed = entry.avatar_seed ? 1u : 0u},
            theme);
        const double x = r.rect.left + 57;
        const double width = std::max(0.0, rect.width() - 108);
        text.draw_text(canvas, text.elide_to_width(name, 13, width), x, r.rect.top + 5, 13,
                       colors.text);
        text.draw_text(canvas, text.elide_to_width(entry.config.email, 10.5, width), x,
                       r.rect.top + 24, 10.5, colors.text_muted);
        break;
      }
      case RegionKind::AccountSettings:
        if (hover) canvas.fill_rounded_rect(r.rect, 6, colors.border);
        vexa::ui::Icon::draw(canvas, IconName::Settings, r.rect.inset(7), colors.text_muted);
        break;
      case RegionKind::FolderRow: {
        const bool current = r.account == selected && r.folder == state.current_folder;
        if (current) {
          canvas.fill_rounded_rect(r.rect, theme.corner_radius, colors.selection);
        } else if (hover) {
          canvas.fill_rounded_rect(r.rect, theme.corner_radius, colors.surface_raised);
        }
        const double icon_top = (r.rect.top + r.rect.bottom - 16) / 2;
        vexa::ui::Icon::draw(canvas, folder_icon(r.folder),
                             {r.rect.left + 10, icon_top, r.rect.left + 26, icon_top + 16},
                             colors.text_muted);
        const std::string_view name = display_name(r.folder);
        text.draw_text_weighted(canvas, name, r.rect.left + 36, centred(text, name, 13, r.rect), 13,
                                weight(current ? 2 : 0), colors.text);
        if (r.account == selected) {
          // Counts are of the loaded mailbox, which is the selected account's.
          const std::size_t unread = folder_counts(state.messages, r.folder).unread;
          if (unread == 0) break;
          const std::string n = fmt::format("{}", unread);
          const auto m = text.measure(n, 11);
          const double w = std::max(m.width + 14, 20.0);
          const double cy = (r.rect.top + r.rect.bottom) / 2;
          const double h = std::max(m.height + 2, 18.0);
          const Rect pill{r.rect.right - 8 - w, cy - h / 2, r.rect.right - 8, cy + h / 2};
          canvas.fill_rounded_rect(pill, h / 2, colors.accent);
          text.draw_text(canvas, n, pill.left + (w - m.width) / 2, cy - m.height / 2, 11,
                         colors.accent_text);
        }
        break;
      }
      case RegionKind::AddAccount: {
        if (hover) canvas.fill_rounded_rect(r.rect, theme.corner_radius, colors.surface_raised);
        const double icon_top = (r.rect.top + r.rect.bottom - 16) / 2;
        vexa::ui::Icon::draw(canvas, IconName::Plus,
                             {r.rect.left + 10, icon_top, r.rect.left + 26, icon_top + 16},
                             colors.text_muted);
        text.draw_text(canvas, "Add account", r.rect.left + 36,
                       centred(text, "Add account", 13, r.rect), 13, colors.text);
        break;
      }
      default:
        break;
    }
  }
  canvas.pop_clip();
}

}  // namespace mail::views
