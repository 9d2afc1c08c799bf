#include <algorithm>
#include <array>

#include "mailbox/conversations.h"
#include "views/pane_impl.h"

namespace mail::views {

using vexa::ui::Point;
using vexa::ui::Rect;

namespace {

constexpr std::array<FolderRole, 7> kSidebarFolders = {
    FolderRole::Inbox,   FolderRole::Starred, FolderRole::Sent, FolderRole::Drafts,
    FolderRole::Archive, FolderRole::Junk,    FolderRole::Trash};

// Every selected message is still loaded and in Trash: only then may the panel offer removal
// for good.
bool selection_all_in_trash(const core::MailState& state) {
  if (state.bulk_selection.empty()) return false;
  return std::all_of(state.bulk_selection.begin(), state.bulk_selection.end(),
                     [&](const MessageId& id) {
                       const MailMessage* m = state.messages.find(id);
                       return m != nullptr && m->folder == FolderRole::Trash;
                     });
}

}  // namespace

Rect Pane::Impl::shell_control(const Pane& p) {
  if (p.state_->shell_control_present) return p.state_->shell_control;
  const Rect& r = p.rect_;
  return {r.left + 12, r.top + 12, r.left + 48, r.top + 48};
}

double Pane::Impl::content_inset(const Pane& p) {
  const core::LayoutFlags& flags = p.state_->layout;
  switch (p.kind_) {
    case PaneKind::Reader:
      return flags.narrow && flags.detail_shown ? 118 : 20;
    case PaneKind::List:
      if (!flags.narrow && flags.sidebar_shown) return 20;
      break;
    case PaneKind::Sidebar:
      break;
  }
  return shell_control(p).right - p.rect_.left + 4;
}

void Pane::Impl::layout_sidebar(Pane& p) {
  const Rect& r = p.rect_;
  const double c = shell_control(p).bottom;
  p.regions_.push_back(
      {.rect = {r.left + 12, c + 8, r.right - 12, c + 48}, .kind = RegionKind::ComposeButton});
  double y = c + 62;
  const auto& accounts = p.state_->accounts;
  for (std::size_t i = 0; i < accounts.size(); ++i) {
    p.regions_.push_back({.rect = {r.left + 8, y, r.right - 8, y + 44},
                          .kind = RegionKind::AccountRow,
                          .account = i});
    p.regions_.push_back({.rect = {r.left + 8, y, r.left + 36, y + 44},
                          .kind = RegionKind::AccountExpander,
                          .account = i});
    p.regions_.push_back({.rect = {r.right - 44, y + 7, r.right - 14, y + 37},
                          .kind = RegionKind::AccountSettings,
                          .account = i});
    if (accounts[i].collapsed) {
      y += 60;
      continue;
    }
    double top = y + 50;
    for (const FolderRole folder : kSidebarFolders) {
      p.regions_.push_back({.rect = {r.left + 14, top, r.right - 10, top + 36},
                            .kind = RegionKind::FolderRow,
                            .account = i,
                            .folder = folder});
      top += 36;
    }
    y = top + 16;
  }
  p.regions_.push_back(
      {.rect = {r.left + 8, y, r.right - 8, y + 38}, .kind = RegionKind::AddAccount});
}

void Pane::Impl::layout_list(Pane& p) {
  const Rect& r = p.rect_;
  const core::MailState& state = *p.state_;
  const double s = clamped_scale(p.text_scale_);
  const double h = p.metrics_.control_height;
  const double inset = content_inset(p);

  const Rect refresh{r.right - 16 - h, r.top + 12, r.right - 16, r.top + 12 + h};
  p.regions_.push_back({.rect = refresh, .kind = RegionKind::Refresh});
  p.regions_.push_back(
      {.rect = {r.left + inset * s, r.top + 12 * s, r.left + inset * s + 32 * s, r.top + 44 * s},
       .kind = RegionKind::BulkToggle});

  double rows_top = r.top + p.metrics_.header_height;
  if (state.bulk_mode) {
    const double a = r.left + 14 * s;
    const double c = r.right - 14 * s;
    const double m = a + (c - a - 8 * s) / 2;
    const double bh = 38 * s;
    const double y1 = r.top + p.metrics_.header_height + 6 * s;
    const double y2 = y1 + bh + 7 * s;
    const double y3 = y2 + bh + 7 * s;
    p.regions_.push_back({.rect = {a, y1, m, y1 + bh}, .kind = RegionKind::SelectAll});
    const auto bulk = [&](Rect rect, BulkAction action) {
      p.regions_.push_back({.rect = rect, .kind = RegionKind::BulkButton, .bulk = action});
    };
    bulk({m + 8 * s, y1, c, y1 + bh}, BulkAction::Archive);
    bulk({a, y2, m, y2 + bh}, BulkAction::MarkRead);
    bulk({m + 8 * s, y2, c, y2 + bh}, BulkAction::MarkUnread);
    bulk({a, y3, c, y3 + bh},
         selection_all_in_trash(state) ? BulkAction::DeletePermanently : BulkAction::MoveToTrash);
    rows_top += 140 * s;
  } else {
    const double x1 = refresh.left - 10;
    const double x0 =
        std::max(x1 - std::clamp(0.46 * r.width(), 140.0, 230.0), r.left + inset + 70);
    p.regions_.push_back(
        {.rect = {x0, r.top + 12, x1, r.top + 12 + h}, .kind = RegionKind::SearchField});
    if (!state.search_query.empty()) {
      p.regions_.push_back(
          {.rect = {x1 - 26, r.top + 12, x1, r.top + 12 + h}, .kind = RegionKind::ClearSearch});
    }
    if (p.search_) p.search_->apply_layout_external({x0 + 30, r.top + 12, x1 - 26, r.top + 12 + h});
  }

  double top = rows_top;
  for (const VisibleEntry& entry : p.host_.visible_list()) {
    if (top >= r.bottom) break;
    const double c = top + p.metrics_.star_offset;
    p.regions_.push_back({.rect = {r.right - 42, c - 12, r.right - 18, c + 12},
                          .kind = RegionKind::RowStar,
                          .message = entry.id});
    const double bottom = top + p.metrics_.row_height;
    p.regions_.push_back({.rect = {r.left, top, r.right, bottom},
                          .kind = RegionKind::MessageRow,
                          .message = entry.id});
    top = bottom;
  }
}

void Pane::Impl::layout_reader(Pane& p) {
  const core::MailState& state = *p.state_;
  if (!state.selected_message || state.bulk_mode) return;
  const Rect& r = p.rect_;
  const double e = clamped_scale(p.text_scale_) > 1.25 ? 56 : 0;
  const bool icons_only = state.layout.narrow || r.width() < 480;
  struct Button {
    RegionKind kind;
    double width;
  };
  const std::array<Button, 5> buttons = {{{RegionKind::Reply, 78},
                                          {RegionKind::Archive, 88},
                                          {RegionKind::Delete, 78},
                                          {RegionKind::Star, 64},
                                          {RegionKind::MarkUnread, 104}}};
  double x = r.left + (state.layout.narrow && state.layout.detail_shown ? 118 : 20);
  for (const Button& b : buttons) {
    const double w = icons_only ? 38 : b.width;
    p.regions_.push_back({.rect = {x, r.top + e + 12, x + w, r.top + e + 44}, .kind = b.kind});
    x += w + 8;
  }
}

const HitRegion* Pane::Impl::find(const Pane& p, Point at,
                                  std::initializer_list<RegionKind> kinds) {
  for (const RegionKind kind : kinds) {
    for (const HitRegion& region : p.regions_) {
      if (region.kind == kind && region.rect.contains(at)) return &region;
    }
  }
  return nullptr;
}

}  // namespace mail::views
