#include "scenes/scenes.h"

#include <array>
#include <cstdlib>
#include <filesystem>

#include "scenes/sample_mailbox.h"
#include "mailbox/conversations.h"

namespace mail::core {

namespace {

bool one_of(const std::string& name, std::initializer_list<const char*> names) {
  for (const char* n : names) {
    if (name == n) return true;
  }
  return false;
}

// mkdtemp under the system temporary directory; empty when it cannot be made.
std::filesystem::path make_scene_directory() {
  std::error_code ec;
  std::filesystem::path base = std::filesystem::temp_directory_path(ec);
  if (ec) return {};
  std::string pattern = (base / "vexa-mail-sample-XXXXXX").string();
  if (mkdtemp(pattern.data()) == nullptr) return {};
  return pattern;
}

}  // namespace

const std::vector<std::string>& scene_names() {
  static const std::vector<std::string> names = {"wide",
                                                 "narrow",
                                                 "narrow_detail",
                                                 "narrow_drawer",
                                                 "mid",
                                                 "compose",
                                                 "compose_narrow",
                                                 "setup",
                                                 "setup_narrow",
                                                 "setup_add",
                                                 "setup_oauth",
                                                 "firstrun",
                                                 "html_mail",
                                                 "search",
                                                 "preview",
                                                 "bulk",
                                                 "bulk_purge_confirmation",
                                                 "reply",
                                                 "context_menu",
                                                 "loading",
                                                 "empty",
                                                 "offline",
                                                 "error"};
  return names;
}

std::pair<std::uint32_t, std::uint32_t> scene_window_size(const std::optional<std::string>& scene) {
  const std::string name = scene.value_or("wide");
  if (one_of(name,
             {"narrow", "narrow_detail", "narrow_drawer", "compose_narrow", "setup_narrow"})) {
    return {560, 860};
  }
  if (name == "mid") return {1000, 720};
  if (one_of(name, {"compose", "reply"})) return {1180, 820};
  if (one_of(name, {"setup", "setup_add", "setup_oauth", "firstrun", "error"})) return {1100, 780};
  if (name == "html_mail") return {1280, 820};
  return {1280, 800};
}

SharedState sample_state() {
  auto state = std::make_shared<MailState>();
  state->current_minute = now_minutes();
  SampleMailbox sample = load_sample_mailbox(state->current_minute);
  for (std::size_t i = 0; i < sample.accounts.size(); ++i) {
    store::AccountEntry entry{store::account_id_for(sample.accounts[i].email), sample.accounts[i],
                              true, false};
    for (auto& m : sample.account_messages[i]) state->messages.merge(std::move(m), entry.id);
    state->accounts.push_back(AccountSlot{std::move(entry)});
  }
  state->follow_current_account();
  state->selected_message = top_message(state->messages, state->current_folder);
  return state;
}

vexa::ui::LaunchedRoot build_scene(const std::optional<std::string>& scene) {
  const std::string name = scene.value_or("wide");
  // A scene never touches the user's files: without a directory of its own it persists
  // nothing, its document included.
  std::filesystem::path dir = make_scene_directory();
  PersistenceLocation location;
  if (!dir.empty()) location = {PersistenceLocation::Kind::Directory, dir};

  SharedState state = name == "firstrun" ? std::make_shared<MailState>() : sample_state();
  auto app = std::make_unique<MailApp>(state, std::nullopt, location);
  MailApp* root = app.get();

  if (name == "loading") {
    app->core().mark_busy_for_scene();
    state->set_status("Syncing Inbox…");
  } else if (name == "empty") {
    state->messages.clear();
    state->selected_message.reset();
  } else if (name == "offline") {
    state->set_status("You’re offline · Showing downloaded mail");
  } else if (name == "narrow_detail") {
    app->main_view().shell().set_detail_shown(true);
    app->main_view().shell().snap();
  } else if (name == "narrow_drawer") {
    auto& shell = app->main_view().shell();
    if (shell.has_sidebar()) shell.set_sidebar_mode(vexa::ui::SidebarMode::Open);
    shell.snap_sidebar(true);
  } else if (name == "bulk") {
    state->bulk_mode = true;
    for (const auto& entry : folder_entries(state->messages, state->current_folder)) {
      if (state->bulk_selection.size() == 2) break;
      state->bulk_selection.push_back(entry.id);
    }
  } else if (name == "bulk_purge_confirmation") {
    // Moving needs the document, which the first frame brings.
    app->on_first_sync([root](vexa::persist::Document& doc) {
      MailState& st = root->state();
      std::vector<MessageId> moving;
      for (const auto& entry : folder_entries(st.messages, FolderRole::Inbox)) {
        if (moving.size() == 2) break;
        moving.push_back(entry.id);
      }
      st.bulk_mode = true;
      st.bulk_selection = moving;
      root->commands().bulk_action(BulkAction::MoveToTrash, doc);
      root->commands().open_folder(st.current_account_index(), FolderRole::Trash);
      st.bulk_mode = true;
      st.bulk_selection = moving;
      st.queue(intent::ConfirmBulkPurge{});
    });
  } else if (name == "context_menu") {
    if (state->selected_message) {
      state->queue(intent::OpenContextMenu{*state->selected_message, 790, 206});
    }
  } else if (name == "search") {
    state->search_query = "spatial";
  } else if (name == "preview") {
    if (state->selected_message) app->commands().preview_message(*state->selected_message);
  }
  // Scenes whose surfaces are not built yet start in the default sample view.
  app->dispatch_intents();
  return vexa::ui::LaunchedRoot{std::move(app), dir, dir.empty()};
}

}  // namespace mail::core
