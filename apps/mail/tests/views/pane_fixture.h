#pragma once
// A hand-built mailbox and a host that records what the panes ask of it.
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "state/mail_state.h"
#include "mailbox/conversations.h"
#include "vexa/ui/layout.h"
#include "vexa/ui/persist.h"
#include "views/pane.h"

namespace mail::views::testing {

inline MessageId id_of(int n) {
  MessageId id{};
  id[15] = static_cast<std::uint8_t>(n);
  return id;
}

inline MailMessage message(int n, FolderRole folder = FolderRole::Inbox, std::int64_t time = 0) {
  MailMessage m;
  m.id = id_of(n);
  m.folder = folder;
  m.time = time == 0 ? 1000 + n : time;
  m.subject = "Subject " + std::to_string(n);
  m.from = {.address = "sender" + std::to_string(n) + "@example.com", .name = "Sender"};
  m.body_text = "Body of " + std::to_string(n);
  return m;
}

inline core::AccountSlot account(std::string email, bool collapsed = false) {
  core::AccountSlot slot;
  slot.entry.id = email;
  slot.entry.config.email = std::move(email);
  slot.entry.config.display_name = "Someone";
  slot.collapsed = collapsed;
  return slot;
}

class FakeHost : public PaneHost {
 public:
  explicit FakeHost(core::SharedState state) : state_(std::move(state)) {}

  void message_action(const MessageId& id, MessageAction action,
                      vexa::persist::Document&) override {
    actions.emplace_back(id, action);
  }
  void mark_unread(const MessageId& id, vexa::persist::Document&) override {
    unread_marked.push_back(id);
  }
  std::size_t bulk_action(BulkAction action, vexa::persist::Document&) override {
    bulk_actions.push_back(action);
    return bulk_result;
  }
  void open_message(const MessageId& id, vexa::persist::Document&) override {
    opened.push_back(id);
  }
  void open_folder(std::size_t account_index, FolderRole folder) override {
    folders_opened.emplace_back(account_index, folder);
  }
  void select_all_visible() override { ++select_all_calls; }
  std::vector<VisibleEntry> visible_list() const override {
    if (search_results && !state_->search_query.empty()) return *search_results;
    return folder_entries(state_->messages, state_->current_folder);
  }

  std::vector<std::pair<MessageId, MessageAction>> actions;
  std::vector<MessageId> unread_marked;
  std::vector<BulkAction> bulk_actions;
  std::size_t bulk_result = 0;
  std::vector<MessageId> opened;
  std::vector<std::pair<std::size_t, FolderRole>> folders_opened;
  int select_all_calls = 0;
  std::optional<std::vector<VisibleEntry>> search_results;

 private:
  core::SharedState state_;
};

// A state, a host and one pane laid out in `rect`.
struct PaneBench {
  explicit PaneBench(PaneKind kind, vexa::ui::Rect rect = {0, 0, 400, 800})
      : state(std::make_shared<core::MailState>()),
        host(state),
        pane(kind, state, host),
        doc(vexa::persist::open_memory()),
        rect(rect) {}

  void add(MailMessage m) { state->messages.merge(std::move(m)); }
  void layout() { pane.apply_layout(engine_stub(), rect); }
  vexa::ui::EventResult send(const vexa::ui::Event& e) { return pane.handle_event(e, *doc); }
  vexa::ui::EventResult press(double x, double y,
                              vexa::ui::PointerButton b = vexa::ui::PointerButton::Primary) {
    return send(vexa::ui::PointerEvent{
        .type = vexa::ui::PointerEvent::Type::Press, .x = x, .y = y, .button = b});
  }
  vexa::ui::EventResult move(double x, double y) {
    return send(vexa::ui::PointerEvent{.type = vexa::ui::PointerEvent::Type::Move, .x = x, .y = y});
  }
  vexa::ui::EventResult release(double x, double y) {
    return send(
        vexa::ui::PointerEvent{.type = vexa::ui::PointerEvent::Type::Release, .x = x, .y = y});
  }

  std::vector<HitRegion> of_kind(RegionKind kind) const {
    std::vector<HitRegion> out;
    for (const HitRegion& r : pane.regions()) {
      if (r.kind == kind) out.push_back(r);
    }
    return out;
  }
  std::optional<HitRegion> first(RegionKind kind) const {
    auto all = of_kind(kind);
    if (all.empty()) return std::nullopt;
    return all.front();
  }
  static vexa::ui::Point centre(const vexa::ui::Rect& r) {
    return {(r.left + r.right) / 2, (r.top + r.bottom) / 2};
  }

  core::SharedState state;
  FakeHost host;
  Pane pane;
  std::unique_ptr<vexa::persist::Document> doc;
  vexa::ui::Rect rect;

 private:
  // Panes take their rectangle from the caller, never from the engine.
  static const vexa::ui::LayoutEngine& engine_stub() {
    static const vexa::ui::LayoutEngine engine;
    return engine;
  }
};

}  // namespace mail::views::testing
