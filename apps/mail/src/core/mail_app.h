#pragma once
// The root widget: owns the shared state, the worker conversation, the welcome panel and the
// per-frame upkeep (events, status clearing, document reconciliation, first connection,
// automatic refresh, selected-account persistence).
#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>

#include "overlays/bulk_purge.h"
#include "core/commands.h"
#include "overlays/composer_window.h"
#include "overlays/context_menu.h"
#include "core/mail_core.h"
#include "core/main_view.h"
#include "core/semantic.h"
#include "overlays/shortcut_reference.h"
#include "vexa/ui/empty_state.h"
#include "vexa/ui/text.h"
#include "vexa/ui/widget.h"

namespace mail::core {

class MailApp : public vexa::ui::Widget, private SemanticHost {
 public:
  MailApp(SharedState state, std::optional<engine::WorkerHandle> worker,
          PersistenceLocation location);
  ~MailApp() override;

  std::string_view type_name() const override { return "MailApp"; }
  void sync(vexa::persist::Document& doc, const vexa::ui::FrameContext& ctx) override;
  std::expected<vexa::ui::LayoutNode, std::string> build_layout(
      vexa::ui::LayoutEngine& engine, const vexa::ui::FrameContext& ctx) override;
  void apply_layout(const vexa::ui::LayoutEngine& engine, vexa::ui::Rect rect) override;
  void draw(vexa::ui::Canvas& canvas) override;
  vexa::ui::EventResult handle_event(const vexa::ui::Event& event,
                                     vexa::persist::Document& doc) override;
  bool perform_semantic_action(std::string_view id, std::string_view action,
                               vexa::persist::Document& doc) override;
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

  Commands& commands() override { return commands_; }
  const ContextMenu& context_menu_layer() const { return context_menu_; }
  const BulkPurgeConfirmation& purge_confirmation() const { return purge_; }
  const ShortcutReference& shortcut_reference() const { return reference_; }

  // Runs `change` at the start of the first frame, with the document (scenes whose state is
  // made through the user's own operations).
  void on_first_sync(std::function<void(vexa::persist::Document&)> change) {
    first_sync_ = std::move(change);
  }

  // Runs the queued view intents in order. Without a document, EditDraft opens the composer
  // without loading the stored draft.
  void dispatch_intents(vexa::persist::Document* doc = nullptr);

  // Shell requests from the dispatcher, taken by the navigation shell's integration:
  // ShowReader, ShowList and CloseDrawer.
  bool take_show_reader() { return std::exchange(show_reader_requested_, false); }
  bool take_show_list() { return std::exchange(show_list_requested_, false); }
  bool take_close_drawer() { return std::exchange(close_drawer_requested_, false); }
  MainView& main_view() { return *main_view_; }
  ComposerWindow& composer_window() { return composer_window_; }

 private:
  void status_upkeep(vexa::ui::Clock::time_point now);
  void reconcile(vexa::persist::Document& doc);
  void surface_draft(vexa::persist::Document& doc);
  void automatic_refresh();
  void persist_selected_account();

  // SemanticHost.
  MailState& mail_state() override { return *state_; }
  ContextMenu& context_menu() override { return context_menu_; }
  void activate_context_entry(std::size_t index, vexa::persist::Document& doc) override;
  bool purge_confirmation_open() const override { return purge_.is_open(); }
  void confirm_purge(vexa::persist::Document& doc) override;
  void cancel_purge() override { purge_.close(); }

  // Input layers in routing order; each answers whether it took the event.
  bool route_overlays(const vexa::ui::Event& event, vexa::persist::Document& doc);
  // The navigation shell and its panes (integrated separately); Ignored until then.
  vexa::ui::EventResult route_to_panes(const vexa::ui::Event& event, vexa::persist::Document& doc);
  bool run_main_view_shortcut(const vexa::ui::Event& event, vexa::persist::Document& doc);
  void open_composer_new(bool forget_draft);
  void open_bulk_purge();
  vexa::ui::Rect window_rect() const;
  // Carries out ShowReader, ShowList and CloseDrawer on the shell.
  void apply_shell_requests();

  SharedState state_;
  MailCore core_;
  Commands commands_{core_};
  std::unique_ptr<MainView> main_view_;
  ComposerWindow composer_window_;
  vexa::ui::FrameContext layout_ctx_{};
  ContextMenu context_menu_;
  BulkPurgeConfirmation purge_;
  ShortcutReference reference_;
  bool show_reader_requested_ = false;
  bool show_list_requested_ = false;
  bool close_drawer_requested_ = false;
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
  std::function<void(vexa::persist::Document&)> first_sync_;

  // Reconciliation runs only when the document or the store moved since the last pass.
  std::uint64_t reconciled_doc_revision_ = ~0ull;
  std::uint64_t reconciled_store_changes_ = ~0ull;
  std::optional<MessageId> draft_message_id_;
  std::optional<vexa::ui::LayoutNode> welcome_node_;
  float text_scale_ = 1.0f;
  double scale_factor_ = 1.0;
  vexa::ui::Size window_{};
};

}  // namespace mail::core
