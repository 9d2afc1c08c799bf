#include "launch/startup.h"

#include <fmt/format.h>

#include "automation/mail_action.h"
#include "scenes/scenes.h"
#include "engine/worker.h"
#include "store/account_list.h"
#include "store/preferences.h"
#include "vexa/accounts/accounts.h"
#include "vexa/log.h"
#include "vexa/ui/image_store.h"

namespace mail::core {

vexa::ui::LaunchedRoot build_normal_root() {
  // 1. Accounts and secrets. A file that cannot be read is said so on screen and never written
  // over; whatever can still be read is loaded.
  std::vector<store::AccountEntry> entries;
  std::size_t active = 0;
  std::optional<std::string> active_id;
  std::vector<std::string> problems;
  auto account_store = vexa::accounts::AccountStore::load();
  auto vault = vexa::accounts::SecretVault::open();
  if (!vault) {
    vexa::log::error("mail::app", "mail: could not open the secret vault",
                     {{"error", vault.error()}});
    problems.push_back(fmt::format("Passwords couldn’t be loaded — {}", vault.error()));
  }
  if (!account_store) {
    vexa::log::error("mail::app", "mail: could not load accounts",
                     {{"error", account_store.error()}});
    problems.insert(problems.begin(),
                    fmt::format("Accounts couldn’t be loaded — {}", account_store.error()));
  } else {
    auto loaded = store::load_accounts(*account_store, vault ? &*vault : nullptr);
    for (const auto& problem : loaded.problems) {
      vexa::log::error("mail::app", "mail: could not read an account",
                       {{"account", problem.account}, {"error", problem.reason}});
      problems.push_back(fmt::format("An account couldn’t be loaded — {}", problem.reason));
    }
    entries = std::move(loaded.entries);
    active = loaded.active;
    if (auto id = account_store->active_id(vexa::accounts::AccountTypeId::from("email"))) {
      active_id = id->text();
    }
  }

  // 2. and 3. Shared state.
  auto state = std::make_shared<MailState>();
  state->images = std::make_shared<vexa::ui::ImageStore>();
  for (auto& e : entries) state->accounts.push_back(AccountSlot{std::move(e)});
  state->selected_account = active;
  state->follow_current_account();
  state->current_minute = now_minutes();
  if (!problems.empty()) {
    std::string text = problems.front();
    if (problems.size() > 1)
      text += fmt::format(" (and {} more; see the log)", problems.size() - 1);
    state->set_status(std::move(text));
  }

  // 4. The worker: live when it can be built, otherwise offline.
  engine::WorkerHandle worker = engine::start_default_worker();

  // 5. The root.
  PersistenceLocation location{PersistenceLocation::Kind::ConfigRoot, {}};
  auto app = std::make_unique<MailApp>(state, std::move(worker), location);
  bool plain = store::load_compose_format(location.resolve()) == store::ComposeFormat::Text;
  app->core().composer().plain_text = plain;
  app->core().saved_plain_text = plain;
  // A store or vault that failed to load is never written over by the selected-account upkeep.
  if (!account_store || !vault ||
      (active_id && state->current_account() && state->current_account()->entry.id == *active_id)) {
    app->set_persisted_account(state->current_account()
                                   ? std::optional(state->current_account()->entry.id)
                                   : std::nullopt);
  }
  return vexa::ui::LaunchedRoot{std::move(app), {}};
}

vexa::ui::LaunchDescription launch_description() {
  vexa::ui::LaunchDescription d;
  d.app_id = kAppId;
  d.scene_names = scene_names();
  d.root_factory = build_normal_root;
  d.scene_factory = build_scene;
  d.app_hook = [](vexa::ui::App& app) {
    app.set_window_title("Mail");
    automation::register_mail_action_family(app.action_registry_mut());
  };
  d.initial_size = scene_window_size;
  d.predicate = [] { return true; };
  d.persistence_opener = vexa::persist::open;
  d.resizable = true;
  d.fullscreen = false;
  d.decorated = true;
  d.remember_size = true;
  return d;
}

int run(int argc, char** argv) {
  return vexa::ui::launch::run_or_exit(launch_description(), argc, argv);
}

}  // namespace mail::core
