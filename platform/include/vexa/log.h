#pragma once
// Structured logs: target, level, message and named fields; printed as one JSON object per
// line on stderr. VEXA_LOG=debug|info|warn|error filters (default info). A host may add a sink
// that sees every event (the headless driver echoes them on stdout).
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace vexa::log {

enum class Level { Debug = 0, Info = 1, Warn = 2, Error = 3 };

using Fields = std::vector<std::pair<std::string, std::string>>;

struct Event {
  std::string target;
  Level level;
  std::string message;
  Fields fields;  // "message" is always the first field, as the event's own text
};

const char* level_name(Level level);
// "debug", "info", "warn" or "error"; anything else is not a level.
std::optional<Level> parse_level(std::string_view name);

// The lowest level printed on stderr: VEXA_LOG when it names a level, else Info. Sinks see
// every event regardless.
Level threshold();
void set_threshold(Level level);

// Emits the event to stderr (when not filtered) and to every sink.
void emit(Level level, std::string target, std::string message, Fields fields = {});

inline void debug(std::string t, std::string m, Fields f = {}) {
  emit(Level::Debug, std::move(t), std::move(m), std::move(f));
}
inline void info(std::string t, std::string m, Fields f = {}) {
  emit(Level::Info, std::move(t), std::move(m), std::move(f));
}
inline void warn(std::string t, std::string m, Fields f = {}) {
  emit(Level::Warn, std::move(t), std::move(m), std::move(f));
}
inline void error(std::string t, std::string m, Fields f = {}) {
  emit(Level::Error, std::move(t), std::move(m), std::move(f));
}

using Sink = std::function<void(const Event&)>;
// Returns a token for remove_sink. Sinks are called on the emitting thread, under a lock.
int add_sink(Sink sink);
void remove_sink(int token);

// The JSON object line for an event (without a trailing newline).
std::string to_json_line(const Event& event);

}  // namespace vexa::log
