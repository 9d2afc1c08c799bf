#include <fmt/core.h>

#include <algorithm>
#include <cmath>
#include <optional>
#include <variant>

#include "engine/worker_protocol.h"
#include "views/pane_impl.h"
#include "views/pane_texts.h"

namespace mail::views {

using vexa::ui::Event;
using vexa::ui::EventResult;
using vexa::ui::Point;
using vexa::ui::PointerButton;
using vexa::ui::PointerEvent;

namespace {

// Travel before a press on a row turns into a swipe, and the travel that commits one.
constexpr double kSwipeSlop = 6;
constexpr double kSwipeCommit = 72;

}  // namespace

void Pane::Impl::focus_search(Pane& p, bool focused) {
  if (p.search_) p.search_->set_focused(focused);
  if (p.state_->search_focus != focused) {
    p.state_->search_focus = focused;
    p.state_->changed = true;
  }
  p.redraw_ = true;
}

EventResult Pane::Impl::search_key(Pane& p, const Event& event, vexa::persist::Document& doc) {
  p.search_->handle_event(event, doc);
  core::MailState& state = *p.state_;
  state.search_query = p.search_->text();
  const std::vector<VisibleEntry> visible = p.host_.visible_list();
  state.selected_message =
      visible.empty() ? std::nullopt : std::optional<MessageId>(visible.front().id);
  state.changed = true;
  p.redraw_ = true;
  return EventResult::Consumed;
}

EventResult Pane::Impl::press_sidebar(Pane& p, Point at) {
  const HitRegion* hit =
      find(p, at,
           {RegionKind::ComposeButton, RegionKind::AccountExpander, RegionKind::AccountSettings,
            RegionKind::AccountRow, RegionKind::FolderRow, RegionKind::AddAccount});
  if (hit == nullptr) return EventResult::Ignored;
  core::MailState& state = *p.state_;
  switch (hit->kind) {
    case RegionKind::ComposeButton:
      state.queue(core::intent::ComposeNew{});
      break;
    case RegionKind::AccountExpander:
      if (hit->account < state.accounts.size()) {
        state.accounts[hit->account].collapsed = !state.accounts[hit->account].collapsed;
        state.changed = true;
      }
      break;
    case RegionKind::AccountSettings:
      state.queue(core::intent::OpenAccountSetup{.edit = true, .account_index = hit->account});
      break;
    case RegionKind::AccountRow:
      p.host_.open_folder(hit->account, FolderRole::Inbox);
      p.state_->queue(core::intent::CloseDrawer{});
      break;
    case RegionKind::FolderRow:
      p.host_.open_folder(hit->account, hit->folder);
      p.state_->queue(core::intent::CloseDrawer{});
      break;
    case RegionKind::AddAccount:
      state.queue(core::intent::OpenAccountSetup{.edit = false, .account_index = 0});
      break;
    default:
      return EventResult::Ignored;
  }
  p.redraw_ = true;
  return EventResult::Consumed;
}

EventResult Pane::Impl::press_list(Pane& p, Point at, vexa::persist::Document& doc) {
  const bool bulk_before = p.state_->bulk_mode;
  const HitRegion* hit =
      find(p, at,
           {RegionKind::Refresh, RegionKind::BulkToggle, RegionKind::SelectAll,
            RegionKind::BulkButton, RegionKind::ClearSearch, RegionKind::SearchField,
            RegionKind::RowStar, RegionKind::MessageRow});
  if (hit == nullptr) return EventResult::Ignored;
  // Copied out: the host's calls below may change what the regions were built from.
  const HitRegion region = *hit;
  const HitRegion* row = find(p, at, {RegionKind::MessageRow});
  const std::optional<MessageId> row_id =
      row != nullptr ? std::optional<MessageId>(row->message) : std::nullopt;
  switch (region.kind) {
    case RegionKind::Refresh: {
      core::MailState& state = *p.state_;
      if (const core::AccountSlot* account = state.current_account()) {
        state.queue(core::intent::Command{
            engine::make_sync_folder(account->entry.config, state.current_folder)});
        state.set_status(fmt::format("Syncing {}…", display_name(state.current_folder)));
      }
      break;
    }
    case RegionKind::BulkToggle: {
      core::MailState& state = *p.state_;
      state.bulk_mode = !state.bulk_mode;
      if (state.bulk_mode) {
        focus_search(p, false);
      } else {
        state.bulk_selection.clear();
      }
      state.changed = true;
      break;
    }
    case RegionKind::SelectAll:
      p.host_.select_all_visible();
      break;
    case RegionKind::BulkButton:
      if (region.bulk == BulkAction::DeletePermanently) {
        p.state_->queue(core::intent::ConfirmBulkPurge{});
      } else if (const std::size_t n = p.host_.bulk_action(region.bulk, doc); n > 0) {
        p.state_->set_status(bulk_count_text(region.bulk, n));
      }
      break;
    case RegionKind::ClearSearch:
      p.state_->search_query.clear();
      if (p.search_) p.search_->set_text("");
      focus_search(p, false);
      p.state_->changed = true;
      break;
    case RegionKind::SearchField:
      // Lets the input place its caret where the press landed; a press on the magnifier,
      // outside the text area, still focuses the field.
      if (p.search_) {
        p.search_->handle_event(
            PointerEvent{.type = PointerEvent::Type::Press, .x = at.x, .y = at.y}, doc);
      }
      focus_search(p, true);
      break;
    case RegionKind::RowStar:
      p.host_.message_action(region.message, MessageAction::ToggleStar, doc);
      break;
    case RegionKind::MessageRow: {
      focus_search(p, false);
      core::MailState& state = *p.state_;
      if (state.bulk_mode) {
        auto& sel = state.bulk_selection;
        if (auto it = std::find(sel.begin(), sel.end(), region.message); it != sel.end()) {
          sel.erase(it);
        } else {
          sel.push_back(region.message);
        }
        state.changed = true;
      } else if (const MailMessage* m = state.messages.find(region.message);
                 m != nullptr && m->folder == FolderRole::Drafts) {
        state.queue(core::intent::EditDraft{region.message});
      } else {
        p.host_.open_message(region.message, doc);
      }
      break;
    }
    default:
      return EventResult::Ignored;
  }
  if (!bulk_before && row_id) {
    // Arms the swipe: any press on a row outside bulk mode, the star control's included.
    p.pressed_on_row_ = true;
    p.press_ = at;
    p.pressed_id_ = *row_id;
  }
  p.redraw_ = true;
  return EventResult::Consumed;
}

EventResult Pane::Impl::press_reader(Pane& p, Point at, vexa::persist::Document& doc) {
  core::MailState& state = *p.state_;
  if (p.banner_ && p.banner_->contains(at)) {
    p.remote_images_ = !p.remote_images_;
    p.redraw_ = true;
    state.changed = true;
    return EventResult::Consumed;
  }
  if (state.selected_message) {
    for (const auto& [rect, index] : p.attachment_regions_) {
      if (!rect.contains(at)) continue;
      state.queue(core::intent::SaveAttachment{*state.selected_message, index});
      return EventResult::Consumed;
    }
  }
  const HitRegion* hit = find(p, at,
                              {RegionKind::Reply, RegionKind::Archive, RegionKind::Delete,
                               RegionKind::Star, RegionKind::MarkUnread});
  if (hit == nullptr || !state.selected_message) return EventResult::Ignored;
  const MessageId id = *state.selected_message;
  switch (hit->kind) {
    case RegionKind::Reply:
      state.queue(core::intent::Reply{id});
      break;
    case RegionKind::Archive:
      p.host_.message_action(id, MessageAction::Archive, doc);
      break;
    case RegionKind::Delete:
      p.host_.message_action(id, MessageAction::Delete, doc);
      break;
    case RegionKind::Star:
      p.host_.message_action(id, MessageAction::ToggleStar, doc);
      break;
    case RegionKind::MarkUnread:
      p.host_.mark_unread(id, doc);
      break;
    default:
      return EventResult::Ignored;
  }
  p.redraw_ = true;
  return EventResult::Consumed;
}

EventResult Pane::handle_event(const Event& event, vexa::persist::Document& doc) {
  layout_regions();
  if (kind_ == PaneKind::List && search_) {
    // The root may have taken the focus away (Escape, a shortcut): follow it.
    if (search_->focused() != state_->search_focus) search_->set_focused(state_->search_focus);
    const bool keyboard = std::holds_alternative<vexa::ui::KeyEvent>(event) ||
                          std::holds_alternative<vexa::ui::TextEvent>(event);
    if (keyboard && state_->search_focus) return Impl::search_key(*this, event, doc);
  }
  const auto* pointer = std::get_if<PointerEvent>(&event);
  if (pointer == nullptr) return EventResult::Ignored;
  const Point at{pointer->x, pointer->y};

  if (kind_ == PaneKind::List) {
    if (pointer->type == PointerEvent::Type::Move && pressed_on_row_) {
      const double dx = at.x - press_.x;
      if (std::abs(dx) > kSwipeSlop) {
        swipe_active_ = true;
        swiped_id_ = pressed_id_;
        swipe_offset_ = dx;
        redraw_ = true;
        state_->changed = true;
      }
      return EventResult::Ignored;
    }
    if (pointer->type == PointerEvent::Type::Release && pointer->button == PointerButton::Primary) {
      const bool was_swiping = swipe_active_;
      const double offset = swipe_offset_;
      const MessageId id = swiped_id_;
      swipe_active_ = false;
      swipe_offset_ = 0;
      pressed_on_row_ = false;
      if (!was_swiping) return EventResult::Ignored;
      redraw_ = true;
      state_->changed = true;
      if (offset <= -kSwipeCommit) {
        host_.message_action(id, MessageAction::Archive, doc);
      } else if (offset >= kSwipeCommit) {
        host_.message_action(id, MessageAction::Delete, doc);
      }
      return EventResult::Consumed;
    }
    if (pointer->type == PointerEvent::Type::Press && pointer->button == PointerButton::Secondary) {
      const HitRegion* row = Impl::find(*this, at, {RegionKind::MessageRow});
      if (row == nullptr) return EventResult::Ignored;
      state_->queue(core::intent::OpenContextMenu{row->message, at.x, at.y});
      return EventResult::Consumed;
    }
  }
  if (pointer->type != PointerEvent::Type::Press || pointer->button != PointerButton::Primary ||
      !rect_.contains(at)) {
    return EventResult::Ignored;
  }
  switch (kind_) {
    case PaneKind::Sidebar:
      return Impl::press_sidebar(*this, at);
    case PaneKind::List:
      return Impl::press_list(*this, at, doc);
    case PaneKind::Reader:
      return Impl::press_reader(*this, at, doc);
  }
  return EventResult::Ignored;
}

}  // namespace mail::views
