#include "core/mail_app.h"

#include <fmt/format.h>

#include <algorithm>

#include "compose/draft_message.h"
#include "core/shortcuts.h"
#include "engine/worker_protocol.h"
#include "store/account_list.h"
#include "store/mail_document.h"
#include "vexa/log.h"
#include "vexa/ui/canvas.h"
#include "vexa/ui/layout.h"
#include "vexa/ui/theme.h"
#include "vexa/ui/toast.h"
#include "views/pane_texts.h"

namespace mail::core {

namespace {

constexpr auto kStatusLifetime = std::chrono::seconds(3) + std::chrono::nanoseconds(500'000'000);
constexpr auto kPollInterval = std::chrono::milliseconds(16);

}  // namespace

MailApp::MailApp(SharedState state, std::optional<engine::WorkerHandle> worker,
                 PersistenceLocation location)
    : state_(state),
      core_(std::move(state), std::move(worker), std::move(location)),
      welcome_("Welcome to Mail", "Add your email account to start reading and sending mail.",
               "Add account", "mail.add-account") {
  main_view_ = std::make_unique<MainView>(state_, commands_);
}

void MailApp::apply_shell_requests() {
  if (take_show_reader()) main_view_->show_reader();
  if (take_show_list()) main_view_->show_list();
  if (take_close_drawer()) main_view_->close_drawer();
}

MailApp::~MailApp() = default;

bool MailApp::welcome_shown() const { return state_->accounts.empty() && !setup_open_; }

void MailApp::set_setup_open(bool open) {
  if (setup_open_ == open) return;
  setup_open_ = open;
  if (open) state_->clear_status();
  redraw_ = true;
}

void MailApp::sync(vexa::persist::Document& doc, const vexa::ui::FrameContext& ctx) {
  if (auto change = std::exchange(first_sync_, nullptr)) change(doc);
  poll_at_.reset();
  text_scale_ = ctx.text_scale;
  scale_factor_ = ctx.scale_factor;
  window_ = ctx.window;
  main_view_->sync(doc, ctx);

  // 1. The welcome panel's "Add account".
  if (welcome_.take_activated()) open_setup_request_ = true;
  if (open_setup_request_) {
    set_setup_open(true);
    open_setup_request_ = false;
  }

  // 2. Worker events.
  core_.drain_events(doc);

  // 4. Status line upkeep.
  status_upkeep(ctx.now);

  // 5. Local document reconciliation, and the first connection.
  MailState& st = *state_;
  if (!st.loaded) {
    for (const MessageId& id : st.messages.order()) {
      if (const MailMessage* m = st.messages.find_any(id)) store::record_fetched(doc, *m);
    }
  }
  reconcile(doc);
  if (!st.loaded) {
    if (const AccountSlot* account = st.current_account(); account && core_.has_worker()) {
      core_.submit(engine::make_connect(account->entry.config), account->entry.id);
      core_.submit(engine::make_sync_folder(account->entry.config, FolderRole::Inbox),
                   account->entry.id);
      // A problem found while loading the accounts stays on screen instead.
      if (!st.status) st.set_status("Syncing…");
    }
    st.loaded = true;
  }

  // 6. Automatic refresh.
  automatic_refresh();

  // 7. Selected-account persistence.
  persist_selected_account();

  dispatch_intents(&doc);
}

void MailApp::status_upkeep(vexa::ui::Clock::time_point now) {
  MailState& st = *state_;
  if (st.status != status_seen_) {
    status_seen_ = st.status;
    if (st.status) {
      status_clear_at_ =
          now + std::chrono::duration_cast<vexa::ui::Clock::duration>(kStatusLifetime);
    } else {
      status_clear_at_.reset();
    }
    return;
  }
  if (status_clear_at_ && now >= *status_clear_at_) {
    st.status.reset();
    status_seen_.reset();
    status_clear_at_.reset();
    st.changed = true;
  }
}

void MailApp::reconcile(vexa::persist::Document& doc) {
  MailState& st = *state_;
  if (doc.revision() == reconciled_doc_revision_ &&
      st.messages.change_counter() == reconciled_store_changes_) {
    return;
  }
  bool changed = false;
  std::vector<MessageId> purged;
  for (const MessageId& id : st.messages.order()) {
    if (store::is_purged(doc, uuid_text(id))) purged.push_back(id);
  }
  for (const auto& id : purged) {
    st.messages.remove(id);
    if (st.selected_message == id) st.selected_message.reset();
    changed = true;
  }
  if (store::reconcile(doc, st.messages)) changed = true;
  if (changed) st.changed = true;
  surface_draft(doc);
  reconciled_doc_revision_ = doc.revision();
  reconciled_store_changes_ = st.messages.change_counter();
}

void MailApp::surface_draft(vexa::persist::Document& doc) {
  MailState& st = *state_;
  DraftData draft = store::load_draft(doc);
  bool empty = draft.to.empty() && draft.cc.empty() && draft.bcc.empty() && draft.subject.empty() &&
               draft.body.empty() && !draft.html_body && draft.attachments.empty();
  if (empty) {
    if (draft_message_id_ && st.messages.remove(*draft_message_id_)) st.changed = true;
    return;
  }
  if (!draft_message_id_) draft_message_id_ = new_uuid_v4();
  const AccountSlot* account = st.current_account();
  MailMessage record =
      compose::message_from_draft(draft, account ? sender_of(account->entry.config) : MailAddress{},
                                  FolderRole::Drafts, *draft_message_id_, st.current_minute);
  if (const MailMessage* existing = st.messages.find(record.id)) {
    record.time = existing->time;
    if (*existing == record) return;
  }
  st.messages.merge(std::move(record));
  st.changed = true;
}

void MailApp::automatic_refresh() {
  if (!core_.has_worker()) return;
  MailState& st = *state_;
  st.current_minute = now_minutes();
  if (core_.busy() || st.accounts.empty()) return;
  if (core_.last_refresh_minute == 0) {
    core_.last_refresh_minute = st.current_minute;
  } else if (st.current_minute - core_.last_refresh_minute > 4) {
    core_.start_refresh();
  }
}

void MailApp::persist_selected_account() {
  MailState& st = *state_;
  const AccountSlot* account = st.current_account();
  if (account == nullptr) return;
  if (persisted_account_ == account->entry.id) return;
  std::optional<std::filesystem::path> dir = core_.location().resolve();
  if (dir) {
    std::vector<store::AccountEntry> entries;
    entries.reserve(st.accounts.size());
    for (const auto& slot : st.accounts) entries.push_back(slot.entry);
    if (auto saved = store::save_accounts(entries, st.current_account_index(), *dir); !saved) {
      st.set_status(
          fmt::format("Selected account, but could not save that preference: {}", saved.error()));
      return;
    }
  }
  persisted_account_ = account->entry.id;
}

void MailApp::dispatch_intents(vexa::persist::Document* doc) {
  MailState& st = *state_;
  ComposerState& composer = core_.composer();
  while (!st.intents.empty()) {
    ViewIntent next = std::move(st.intents.front());
    st.intents.pop_front();
    std::visit(
        [&](auto& i) {
          using I = std::decay_t<decltype(i)>;
          if constexpr (std::is_same_v<I, intent::ShowReader>) {
            show_reader_requested_ = true;
          } else if constexpr (std::is_same_v<I, intent::ShowList>) {
            show_list_requested_ = true;
          } else if constexpr (std::is_same_v<I, intent::CloseDrawer>) {
            close_drawer_requested_ = true;
          } else if constexpr (std::is_same_v<I, intent::ComposeNew>) {
            open_composer_new(true);
          } else if constexpr (std::is_same_v<I, intent::Reply> ||
                               std::is_same_v<I, intent::ReplyAll> ||
                               std::is_same_v<I, intent::Forward>) {
            if (!st.messages.contains(i.id)) return;
            // The reply and forward contents come with the composer's own surfaces; until then
            // the composer opens on an unrelated new message.
            open_composer_new(true);
          } else if constexpr (std::is_same_v<I, intent::EditDraft>) {
            if (!st.messages.contains(i.id)) return;
            context_menu_.close();
            if (doc != nullptr) composer.draft = store::load_draft(*doc);
            composer.editing_draft = i.id;
            composer.open = true;
          } else if constexpr (std::is_same_v<I, intent::OpenContextMenu>) {
            context_menu_.open(st.messages, i.id, {i.x, i.y});
          } else if constexpr (std::is_same_v<I, intent::OpenAccountSetup>) {
            set_setup_open(true);
          } else if constexpr (std::is_same_v<I, intent::SaveAttachment>) {
            // Saving attachments arrives with the attachment pickers.
          } else if constexpr (std::is_same_v<I, intent::Command>) {
            core_.submit(std::move(i.command));
          } else if constexpr (std::is_same_v<I, intent::SetStatus>) {
            st.set_status(std::move(i.text));
          } else if constexpr (std::is_same_v<I, intent::ConfirmBulkPurge>) {
            open_bulk_purge();
          }
        },
        next);
  }
  redraw_ = true;
}

void MailApp::open_composer_new(bool forget_draft) {
  context_menu_.close();
  ComposerState& composer = core_.composer();
  composer.draft = DraftData{};
  if (forget_draft) composer.editing_draft.reset();
  composer.open = true;
  redraw_ = true;
}

void MailApp::open_bulk_purge() {
  auto checked = check_bulk_purge(*state_);
  if (!checked) {
    state_->set_status(checked.error());
    return;
  }
  purge_.open(*checked);
}

void MailApp::confirm_purge(vexa::persist::Document& doc) {
  purge_.close();
  const std::size_t n = commands_.bulk_action(BulkAction::DeletePermanently, doc);
  state_->set_status(n > 0 ? bulk_status(BulkAction::DeletePermanently, n)
                           : std::string(kPurgeSelectionChanged));
}

void MailApp::activate_context_entry(std::size_t index, vexa::persist::Document& doc) {
  const auto& menu = context_menu_.state();
  if (!menu) return;
  const MessageId id = menu->message;
  std::optional<MessageAction> action = context_menu_.take_entry(index);
  if (!action) return;
  if (!state_->messages.contains(id)) {
    state_->set_status("That message is no longer available.");
    return;
  }
  commands_.message_action(id, *action, doc);
}

vexa::ui::Rect MailApp::window_rect() const {
  if (!rect_.empty()) return rect_;
  return {0, 0, window_.width, window_.height};
}

bool MailApp::needs_idle_sync() const { return core_.busy() || status_clear_at_.has_value(); }

bool MailApp::needs_animation_frame() const {
  return needs_idle_sync() || main_view_->needs_animation_frame();
}

std::optional<vexa::ui::Clock::time_point> MailApp::next_wakeup() {
  std::optional<vexa::ui::Clock::time_point> wake;
  if (core_.busy()) {
    if (!poll_at_) poll_at_ = vexa::ui::Clock::now() + kPollInterval;
    wake = poll_at_;
  }
  if (status_clear_at_ && (!wake || *status_clear_at_ < *wake)) wake = status_clear_at_;
  return wake;
}

bool MailApp::needs_redraw() const {
  return redraw_ || state_->changed || welcome_.needs_redraw() || main_view_->needs_redraw();
}

void MailApp::reset_redraw() {
  redraw_ = false;
  state_->changed = false;
  welcome_.reset_redraw();
  main_view_->reset_redraw();
}

std::vector<vexa::ui::Widget*> MailApp::children() {
  if (welcome_shown()) return {&welcome_};
  return {&main_view_->shell()};
}

vexa::ui::Widget* MailApp::hit_test(vexa::ui::Point p) {
  if (welcome_shown()) {
    if (auto* hit = welcome_.hit_test(p)) return hit;
  }
  return rect_.contains(p) ? this : nullptr;
}

std::expected<vexa::ui::LayoutNode, std::string> MailApp::build_layout(
    vexa::ui::LayoutEngine& engine, const vexa::ui::FrameContext& ctx) {
  layout_ctx_ = ctx;
  auto welcome = welcome_.build_layout(engine, ctx);
  if (!welcome) return welcome;
  vexa::ui::LayoutStyle style;
  style.width = vexa::ui::Dimension::percent(100);
  style.height = vexa::ui::Dimension::percent(100);
  auto root = engine.new_node(style, {*welcome});
  if (!root) {
    vexa::log::error("mail::app", "mail: failed to create root layout node",
                     {{"error", root.error()}});
    return *welcome;
  }
  welcome_node_ = *welcome;
  return root;
}

void MailApp::apply_layout(const vexa::ui::LayoutEngine& engine, vexa::ui::Rect rect) {
  rect_ = rect;
  if (welcome_node_) welcome_.apply_layout(engine, rect);
  apply_shell_requests();
  main_view_->layout(rect, layout_ctx_);
  if (core_.composer().open) composer_window_.place(rect);
}

void MailApp::draw(vexa::ui::Canvas& canvas) {
  const auto& theme = vexa::ui::Theme::current();
  const vexa::ui::Rect window = window_rect();
  text_.set_text_scale(text_scale_);
  canvas.fill_rect(rect_, theme.colors.background);
  main_view_->draw(canvas);
  if (welcome_shown()) {
    canvas.fill_rect(rect_, theme.colors.background);
    welcome_.draw(canvas);
  }
  // The composer window and the account setup sheet draw here once they exist.
  context_menu_.draw(canvas, state_->messages, window, text_scale_);
  purge_.draw(canvas, window, text_scale_);
  if (state_->status) {
    vexa::ui::toast::paint_transient(canvas, text_, rect_, *state_->status,
                                     views::status_tone(*state_->status));
  }
  if (reference_.is_open()) {
    reference_.place(window, text_scale_);
    reference_.draw(canvas);
  }
}

bool MailApp::route_overlays(const vexa::ui::Event& event, vexa::persist::Document& doc) {
  const vexa::ui::Rect window = window_rect();
  // 2. Shortcut reference.
  if (reference_.is_open()) {
    reference_.place(window, text_scale_);
    reference_.handle_event(event, scale_factor_);
    return true;
  }
  // 3. Permanent-deletion confirmation.
  if (purge_.is_open()) {
    switch (purge_.handle_event(event, window)) {
      case BulkPurgeConfirmation::Input::Confirm:
        confirm_purge(doc);
        dispatch_intents(&doc);
        break;
      case BulkPurgeConfirmation::Input::Cancel:
        purge_.close();
        break;
      case BulkPurgeConfirmation::Input::Swallowed:
        break;
    }
    return true;
  }
  // 4. Composer window: its editor and window dragging come with the composer surfaces; until
  // then it keeps the keyboard so that typing never reaches the main-view shortcuts.
  if (core_.composer().open) {
    composer_window_.place(window);
    if (const auto* pointer = std::get_if<vexa::ui::PointerEvent>(&event)) {
      using Type = vexa::ui::PointerEvent::Type;
      const vexa::ui::Point at{pointer->x, pointer->y};
      if (pointer->type == Type::Move && composer_window_.drag(at)) return true;
      if (pointer->type == Type::Release && composer_window_.grabbed()) {
        composer_window_.release();
        return true;
      }
      if (pointer->type == Type::Press && pointer->button == vexa::ui::PointerButton::Primary &&
          composer_window_.press(at) != ComposerWindow::Grab::None) {
        return true;
      }
    }
    if (const auto* key = std::get_if<vexa::ui::KeyEvent>(&event)) {
      if (key->pressed && key->key == "Escape") core_.composer().open = false;
      return true;
    }
    if (std::holds_alternative<vexa::ui::TextEvent>(event)) return true;
  }
  // 5. Context menu.
  if (context_menu_.is_open()) {
    ContextMenu::Outcome outcome = context_menu_.handle_event(event, window, text_scale_);
    if (outcome.activate) {
      activate_context_entry(*outcome.activate, doc);
      dispatch_intents(&doc);
    }
    if (outcome.consumed) return true;
  }
  // 6. Welcome panel.
  if (welcome_shown()) {
    auto result = welcome_.handle_event(event, doc);
    if (welcome_.take_activated()) open_setup_request_ = true;
    if (result == vexa::ui::EventResult::Consumed) return true;
  }
  // 7. Account setup sheet: its fields come with the setup surfaces; it keeps the keyboard.
  if (setup_open_ && (std::holds_alternative<vexa::ui::KeyEvent>(event) ||
                      std::holds_alternative<vexa::ui::TextEvent>(event))) {
    return true;
  }
  return false;
}

vexa::ui::EventResult MailApp::route_to_panes(const vexa::ui::Event& event,
                                              vexa::persist::Document& doc) {
  return main_view_->handle_event(event, doc);
}

bool MailApp::run_main_view_shortcut(const vexa::ui::Event& event, vexa::persist::Document& doc) {
  const auto* key = std::get_if<vexa::ui::KeyEvent>(&event);
  if (key == nullptr || !key->pressed || state_->search_focus) return false;
  std::optional<Shortcut> shortcut = match_shortcut(*key);
  if (!shortcut) return false;
  ShortcutHooks hooks;
  hooks.open_reference = [this] { reference_.open(); };
  hooks.compose_new = [this] { state_->queue(intent::ComposeNew{}); };
  hooks.refresh = [this] { core_.start_refresh(); };
  if (!run_shortcut(*shortcut, commands_, *state_, doc, hooks)) return false;
  dispatch_intents(&doc);
  return true;
}

vexa::ui::EventResult MailApp::handle_event(const vexa::ui::Event& event,
                                            vexa::persist::Document& doc) {
  // 1. The pointer position, for hovering and tooltips (events arrive in logical pixels).
  if (const auto* pointer = std::get_if<vexa::ui::PointerEvent>(&event)) {
    if (pointer->type == vexa::ui::PointerEvent::Type::Move)
      state_->pointer = {pointer->x, pointer->y};
  }
  if (route_overlays(event, doc)) {
    redraw_ = true;
    return vexa::ui::EventResult::Consumed;
  }
  // 8. The panes, then the main-view shortcuts for what they left.
  const vexa::ui::EventResult panes = route_to_panes(event, doc);
  dispatch_intents(&doc);
  const bool consumed =
      panes == vexa::ui::EventResult::Consumed || run_main_view_shortcut(event, doc);
  apply_shell_requests();
  if (consumed) {
    redraw_ = true;
    return vexa::ui::EventResult::Consumed;
  }
  return vexa::ui::EventResult::Ignored;
}

bool MailApp::perform_semantic_action(std::string_view id, std::string_view action,
                                      vexa::persist::Document& doc) {
  if (!core::perform_semantic_action(*this, id, action, doc)) return false;
  dispatch_intents(&doc);
  apply_shell_requests();
  redraw_ = true;
  return true;
}

vexa::ui::AccessNode MailApp::accessibility() const {
  if (reference_.is_open()) return reference_.accessibility();
  if (purge_.is_open()) return purge_.accessibility();
  // The composer's and the setup sheet's nodes take precedence here once they exist.
  if (context_menu_.is_open()) return context_menu_.accessibility(state_->messages);
  vexa::ui::AccessNode root;
  root.role = "application";
  root.name = "Mail";
  root.id = "mail";
  root.value = "Current view: " + main_view_->current_view();
  if (welcome_shown()) {
    root.children.push_back(welcome_.accessibility());
  } else {
    root.children.push_back(main_view_->shell().accessibility());
  }
  return root;
}

}  // namespace mail::core
