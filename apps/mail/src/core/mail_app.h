#pragma once
// The root widget: owns the shared state, the worker conversation, the welcome panel and the
// per-frame upkeep (events, status clearing, document reconciliation, first connection,
// automatic refresh, selected-account persistence).
#include <chrono>
#include <memory>
#include <optional>
#include <string>

#include "core/mail_core.h"
#include "vexa/ui/empty_state.h"
#include "vexa/ui/text.h"
#include "vexa/ui/widget.h"

namespace mail::core {

// Toast tone for a status text: 3 failure, 2 unavailable, 0 progress, 1 information.
int toast_tone(std::string_view status);

class MailApp : public vexa::ui::Widget {
 public:
  MailApp(SharedState state, std::optional<engine::WorkerHandle> worker, PersistenceLocation location);
  ~MailApp() override;

  std::string_view type_name() const override { return "MailApp"; }
  void sync(vexa::persist::Document& doc, const vexa::ui::FrameContext& ctx) override;
  std::expected<vexa::ui::LayoutNode, std::string> build_layout(vexa::ui::LayoutEngine& engine,
                                                                const vexa::ui::FrameContext& ctx) override;
  void apply_layout(const vexa::ui::LayoutEngine& engine, vexa::ui::Rect rect) override;
  void draw(vexa::ui::Canvas& canvas) override;
  vexa::ui::EventResult handle_event(const vexa::ui::Event& event, vexa::persist::Document& doc) override;
  vexa::ui::AccessNode accessibility() const override;
  bool needs_idle_sync() const override;
  bool needs_animation_frame() const override;
  std::optional<vexa::ui::Clock::time_point> next_wakeup() override;
  bool needs_redraw() const override;
  void reset_redraw() override;
  std::vector<vexa::ui::Widget*> children() override;
  vexa::ui::Widget* hit_test(vexa::ui::Point p) override;

  MailCore& core() { return core_; }
  MailState& state() { return *state_; }
  bool welcome_shown() const;
  bool setup_open() const { return setup_open_; }
  // Scenes and tests open or close the setup sheet (its surfaces come later).
  void set_setup_open(bool open);
  // The id last saved as the active account (tests).
  const std::optional<std::string>& persisted_account() const { return persisted_account_; }
  void set_persisted_account(std::optional<std::string> id) { persisted_account_ = std::move(id); }

  // Runs the queued view intents in order.
  void dispatch_intents();

 private:
  void status_upkeep(vexa::ui::Clock::time_point now);
  void reconcile(vexa::persist::Document& doc);
  void surface_draft(vexa::persist::Document& doc);
  void automatic_refresh();
  void persist_selected_account();

  SharedState state_;
  MailCore core_;
  vexa::ui::EmptyState welcome_;
  vexa::ui::TextRenderer text_;

  std::optional<std::string> status_seen_;
  std::optional<vexa::ui::Clock::time_point> status_clear_at_;
  std::optional<vexa::ui::Clock::time_point> poll_at_;
  std::optional<std::string> persisted_account_;
  bool redraw_ = true;
  bool open_setup_request_ = false;
  bool setup_open_ = false;
  bool first_pass_done_ = false;

  // Reconciliation runs only when the document or the store moved since the last pass.
  std::uint64_t reconciled_doc_revision_ = ~0ull;
  std::uint64_t reconciled_store_changes_ = ~0ull;
  std::optional<MessageId> draft_message_id_;
  std::optional<vexa::ui::LayoutNode> welcome_node_;
  float text_scale_ = 1.0f;
  vexa::ui::Size window_{};
};

}  // namespace mail::core
