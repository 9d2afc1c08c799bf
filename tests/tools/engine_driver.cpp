// Runs the live mail worker from JSON lines on stdin and prints every event as a JSON line on
// stdout, so integration tests can talk to real servers through exactly the code the app uses.
//
//   {"command":"connect","config":{...,"secret":"..."}}
//   {"command":"sync","config":{...},"folder":"inbox"}
//   {"command":"store_flags"|"purge","config":{...},"message":{"message_id":..,"folder":..,
//    "seen":..,"starred":..}}
//   {"command":"move","config":{...},"message":{...},"target":"archive"}
//   {"command":"send","config":{...},"draft":{...}}
//
// Each event line carries "elapsed_ms" (fractional) from reading its command to the event's
// arrival, before the line is written. Option: --timeout-ms N.
#include <fmt/format.h>

#include <chrono>
#include <cstdio>
#include <iostream>
#include <nlohmann/json.hpp>
#include <string>

#include "engine/live_backend.h"
#include "engine/worker.h"
#include "mail_record_json.h"
#include "mailbox/overloaded.h"
#include "mailbox/types.h"
#include "store/stored_config.h"

namespace {

using nlohmann::json;
using namespace mail;
using namespace mail::engine;

json event_json(const WorkerEvent& event) {
  return std::visit(
      Overloaded{
          [](const Connected& e) {
            return json{{"event", "Connected"}, {"email", e.email}};
          },
          [](const FoldersListed& e) {
            json names = json::array();
            for (const auto& m : e.mailboxes) names.push_back(m.name);
            return json{{"event", "FoldersListed"}, {"email", e.email}, {"mailboxes", names}};
          },
          [](const Synced& e) {
            json messages = json::array();
            for (const auto& m : e.messages) {
              messages.push_back(vexa::testing::record_json(m, true));
            }
            return json{{"event", "Synced"},
                        {"folder", folder_key(e.folder)},
                        {"email", e.email},
                        {"messages", messages}};
          },
          [](const Delivered& e) {
            return json{{"event", "Delivered"}, {"bytes", e.bytes}};
          },
          [](const SignedIn& e) {
            return json{{"event", "SignedIn"}, {"account_key", e.account_key}};
          },
          [](const Failed& e) {
            return json{{"event", "Failed"},
                        {"kind", e.command_kind},
                        {"label", e.label},
                        {"message", e.message}};
          },
          [](const Finished& e) {
            return json{{"event", "Finished"}, {"kind", e.command_kind}};
          },
      },
      event);
}

std::optional<FolderRole> folder_of(const json& j, const char* key) {
  return parse_folder_key(j.value(key, std::string()));
}

std::expected<WorkerCommand, std::string> parse_command(const json& j) {
  auto config = stored_config_from_json(j.at("config"));
  if (!config) return std::unexpected(config.error());
  config->secret = j.at("config").value("secret", std::string());
  const std::string name = j.at("command").get<std::string>();
  auto message = [&]() {
    MailMessage m;
    const json& in = j.at("message");
    if (in.contains("message_id") && !in["message_id"].is_null()) {
      m.message_id = in["message_id"].get<std::string>();
    }
    m.folder = folder_of(in, "folder").value_or(FolderRole::Inbox);
    m.seen = in.value("seen", false);
    m.starred = in.value("starred", false);
    return m;
  };
  if (name == "connect") return make_connect(*config);
  if (name == "sync") {
    auto folder = folder_of(j, "folder");
    if (!folder) return std::unexpected(std::string("unknown folder"));
    return make_sync_folder(*config, *folder);
  }
  if (name == "store_flags") return make_store_flags(*config, message());
  if (name == "purge") return make_purge_message(*config, message());
  if (name == "move") {
    auto target = folder_of(j, "target");
    if (!target) return std::unexpected(std::string("unknown target"));
    return make_move_message(*config, message(), *target);
  }
  if (name == "send") {
    auto draft = mail::draft_from_json(j.at("draft"));
    if (!draft) return std::unexpected(draft.error());
    return make_send(*config, *draft);
  }
  return std::unexpected("unknown command " + name);
}

}  // namespace

int main(int argc, char** argv) {
  LiveOptions options;
  for (int i = 1; i + 1 < argc; ++i) {
    if (std::string(argv[i]) == "--timeout-ms") {
      options.timeout = std::chrono::milliseconds(std::stol(argv[i + 1]));
    }
  }
  auto backend = make_live_backend(options);
  if (!backend) {
    std::fprintf(stderr, "engine_driver: %s\n", backend.error().c_str());
    return 1;
  }
  WorkerHandle worker = start_worker(std::move(*backend));
  std::string line;
  while (std::getline(std::cin, line)) {
    if (line.empty()) continue;
    const auto started = std::chrono::steady_clock::now();
    std::expected<WorkerCommand, std::string> command;
    try {
      command = parse_command(json::parse(line));
    } catch (const std::exception& e) {
      command = std::unexpected(std::string(e.what()));
    }
    if (!command) {
      std::cout << json{{"event", "DriverError"}, {"error", command.error()}}.dump(
                       -1, ' ', false, json::error_handler_t::replace)
                << std::endl;
      continue;
    }
    worker.commands.send(std::move(*command));
    while (auto event = worker.events.recv()) {
      // Taken before the event is written out, so it covers the engine's work only.
      const double elapsed_ms =
          std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - started)
              .count();
      json out = event_json(*event);
      out["elapsed_ms"] = elapsed_ms;
      // Replacing rather than throwing: a test tool must never die on what a message contains.
      std::cout << out.dump(-1, ' ', false, json::error_handler_t::replace) << std::endl;
      if (std::holds_alternative<Finished>(*event)) break;
    }
  }
  return 0;
}
