#include "vexa/log.h"

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <memory>
#include <mutex>
#include <nlohmann/json.hpp>
#include <string_view>

namespace vexa::log {
namespace {

Level threshold_from_env() {
  const char* value = std::getenv("VEXA_LOG");
  if (value == nullptr) return Level::Info;
  return parse_level(value).value_or(Level::Info);
}

struct Registry {
  // Recursive so that a sink may add or remove sinks while it runs.
  std::recursive_mutex mutex;
  std::map<int, std::shared_ptr<Sink>> sinks;
  int next_token = 1;
  std::atomic<Level> threshold{threshold_from_env()};
};

Registry& registry() {
  static Registry r;
  return r;
}

// A sink that logs would otherwise re-enter the lock; its nested events go to stderr only.
thread_local bool in_emit = false;

}  // namespace

const char* level_name(Level level) {
  switch (level) {
    case Level::Debug:
      return "debug";
    case Level::Info:
      return "info";
    case Level::Warn:
      return "warn";
    case Level::Error:
      return "error";
  }
  return "info";
}

std::optional<Level> parse_level(std::string_view name) {
  if (name == "debug") return Level::Debug;
  if (name == "info") return Level::Info;
  if (name == "warn") return Level::Warn;
  if (name == "error") return Level::Error;
  return std::nullopt;
}

Level threshold() { return registry().threshold.load(); }
void set_threshold(Level level) { registry().threshold.store(level); }

std::string to_json_line(const Event& event) {
  nlohmann::ordered_json line;
  line["target"] = event.target;
  line["level"] = level_name(event.level);
  line["message"] = event.message;
  for (const auto& [name, value] : event.fields) {
    if (name == "target" || name == "level") continue;
    line[name] = value;
  }
  // Log text often carries server replies; never let a bad byte lose the event.
  return line.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

void emit(Level level, std::string target, std::string message, Fields fields) {
  Registry& r = registry();
  Event event{std::move(target), level, std::move(message), {}};
  event.fields.reserve(fields.size() + 1);
  event.fields.emplace_back("message", event.message);
  for (auto& field : fields) {
    if (field.first == "message") continue;
    event.fields.push_back(std::move(field));
  }
  const bool to_stderr = level >= r.threshold;
  if (in_emit) {
    if (to_stderr) std::fprintf(stderr, "%s\n", to_json_line(event).c_str());
    return;
  }
  std::lock_guard lock(r.mutex);
  in_emit = true;
  if (to_stderr) {
    const std::string line = to_json_line(event) + "\n";
    std::fwrite(line.data(), 1, line.size(), stderr);
    std::fflush(stderr);
  }
  std::vector<std::shared_ptr<Sink>> sinks;
  sinks.reserve(r.sinks.size());
  for (const auto& entry : r.sinks) sinks.push_back(entry.second);
  for (const auto& sink : sinks) {
    try {
      (*sink)(event);
    } catch (...) {
      // A failing sink must not take the caller down with it.
    }
  }
  in_emit = false;
}

int add_sink(Sink sink) {
  Registry& r = registry();
  std::lock_guard lock(r.mutex);
  const int token = r.next_token++;
  r.sinks.emplace(token, std::make_shared<Sink>(std::move(sink)));
  return token;
}

void remove_sink(int token) {
  Registry& r = registry();
  std::lock_guard lock(r.mutex);
  r.sinks.erase(token);
}

}  // namespace vexa::log
