#include "views/pane.h"

#include <algorithm>
#include <cmath>

#include "mailbox/conversations.h"
#include "vexa/ui/layout.h"
#include "views/pane_impl.h"
#include "views/pane_texts.h"

namespace mail::views {

using vexa::ui::Rect;

vexa::ui::FontWeight weight(int level) {
  switch (level) {
    case 1:
      return vexa::ui::FontWeight::Medium;
    case 2:
      return vexa::ui::FontWeight::Semibold;
    case 3:
      return vexa::ui::FontWeight::Bold;
    default:
      return vexa::ui::FontWeight::Regular;
  }
}

double clamped_scale(float text_scale) {
  if (!std::isfinite(text_scale)) return 1.0;
  return std::clamp(static_cast<double>(text_scale), 0.5, 4.0);
}

Pane::Pane(PaneKind kind, core::SharedState state, PaneHost& host)
    : kind_(kind), state_(std::move(state)), host_(host) {
  if (kind_ == PaneKind::List) {
    // The catalogue lives with the root; the English text stands in until it hands one down.
    search_ = std::make_unique<vexa::ui::TextInput>(
        vexa::ui::TextInput::local()
            .with_kind(static_cast<std::uint8_t>(vexa::ui::InputKind::Search))
            .with_placeholder("Search")
            .with_font_size(13));
  }
}

Pane::~Pane() = default;

std::string_view Pane::type_name() const {
  switch (kind_) {
    case PaneKind::Sidebar:
      return "MailSidebar";
    case PaneKind::List:
      return "MailList";
    case PaneKind::Reader:
      return "MailReader";
  }
  return "MailList";
}

std::string_view Pane::test_id() const {
  switch (kind_) {
    case PaneKind::Sidebar:
      return "mail_sidebar";
    case PaneKind::List:
      return "mail_list";
    case PaneKind::Reader:
      return "mail_reader";
  }
  return "mail_list";
}

void Pane::sync(vexa::persist::Document& doc, const vexa::ui::FrameContext& ctx) {
  if (!search_) return;
  // The field shows the query the state holds: whatever empties or sets it (opening a message,
  // a scene) empties or fills the field with it.
  if (search_->text() != state_->search_query) search_->set_text(state_->search_query);
  search_->sync(doc, ctx);
}

std::expected<vexa::ui::LayoutNode, std::string> Pane::build_layout(
    vexa::ui::LayoutEngine& engine, const vexa::ui::FrameContext& ctx) {
  text_scale_ = ctx.text_scale;
  auto node = engine.new_leaf(vexa::ui::LayoutStyle::fill());
  if (node) engine.set_widget(*node, this);
  return node;
}

void Pane::apply_layout(const vexa::ui::LayoutEngine& /*engine*/, Rect rect) {
  rect_ = rect;
  layout_regions();
}

void Pane::layout_regions() {
  regions_.clear();
  switch (kind_) {
    case PaneKind::Sidebar:
      Impl::layout_sidebar(*this);
      break;
    case PaneKind::List:
      Impl::layout_list(*this);
      break;
    case PaneKind::Reader:
      Impl::layout_reader(*this);
      break;
  }
}

void Pane::draw(vexa::ui::Canvas& canvas) {
  switch (kind_) {
    case PaneKind::Sidebar:
      Impl::draw_sidebar(*this, canvas);
      break;
    case PaneKind::List:
      Impl::draw_list(*this, canvas);
      break;
    case PaneKind::Reader:
      Impl::draw_reader(*this, canvas);
      break;
  }
}

bool Pane::needs_animation_frame() const { return false; }

bool Pane::needs_redraw() const {
  return redraw_ || state_->changed || (search_ && search_->needs_redraw());
}

void Pane::reset_redraw() {
  redraw_ = false;
  if (search_) search_->reset_redraw();
}

std::optional<std::string> Pane::Impl::tooltip_for(const Pane& p, const HitRegion& region) {
  const MailMessage* message =
      region.kind == RegionKind::MessageRow || region.kind == RegionKind::RowStar
          ? p.state_->messages.find(region.message)
          : nullptr;
  const auto star_text = [](bool starred) { return starred ? "Unstar (S)" : "Star (S)"; };
  switch (region.kind) {
    case RegionKind::ComposeButton:
      return "Compose (C)";
    case RegionKind::AccountRow:
      return "Open account";
    case RegionKind::AccountExpander:
      return "Expand or collapse account";
    case RegionKind::AccountSettings:
      return "Account settings";
    case RegionKind::AddAccount:
      return "Add account";
    case RegionKind::FolderRow:
      return "Open folder";
    case RegionKind::MessageRow:
      return message != nullptr && message->folder == FolderRole::Drafts ? "Edit draft"
                                                                         : "Open message";
    case RegionKind::RowStar:
      return star_text(message != nullptr && message->starred);
    case RegionKind::SearchField:
      return "Search mail (/ or Ctrl+F)";
    case RegionKind::ClearSearch:
      return "Clear search";
    case RegionKind::Refresh:
      return "Refresh (F5)";
    case RegionKind::BulkToggle:
      return p.state_->bulk_mode ? "Done selecting messages (Esc)"
                                 : "Select messages for bulk actions (X)";
    case RegionKind::SelectAll:
      return "Select all visible messages";
    case RegionKind::BulkButton:
      return std::string(bulk_tooltip(region.bulk));
    case RegionKind::Reply:
      return "Reply (R)";
    case RegionKind::Archive:
      return "Archive (E)";
    case RegionKind::Delete:
      return "Delete (Delete)";
    case RegionKind::Star: {
      const MailMessage* selected = p.state_->selected_message
                                        ? p.state_->messages.find(*p.state_->selected_message)
                                        : nullptr;
      return star_text(selected != nullptr && selected->starred);
    }
    case RegionKind::MarkUnread:
      return "Mark unread (U)";
  }
  return "Open account";
}

std::optional<std::string> Pane::tooltip() const {
  const vexa::ui::Point at = state_->pointer;
  if (kind_ == PaneKind::Reader) {
    if (banner_ && banner_->contains(at)) return "Load or block remote images";
    for (const auto& [rect, index] : attachment_regions_) {
      if (rect.contains(at)) return "Save attachment";
    }
  }
  for (auto it = regions_.rbegin(); it != regions_.rend(); ++it) {
    if (!it->rect.contains(at)) continue;
    // A row lies over its own star control; the smaller control names what a press does.
    if (it->kind == RegionKind::MessageRow) {
      const auto star = std::find_if(regions_.begin(), regions_.end(), [&](const HitRegion& r) {
        return r.kind == RegionKind::RowStar && r.message == it->message && r.rect.contains(at);
      });
      if (star != regions_.end()) return Impl::tooltip_for(*this, *star);
    }
    return Impl::tooltip_for(*this, *it);
  }
  return std::nullopt;
}

}  // namespace mail::views
