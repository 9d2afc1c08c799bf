#include "vexa/actions/registry.h"

#include <fmt/format.h>

#include <exception>

namespace vexa::actions {
namespace {

// The history keeps between this many and twice this many recent entries; without a bound a
// long session would grow it without end.
constexpr std::size_t kHistoryLimit = 1000;

}  // namespace

void Registry::register_family(std::string operation_type, FamilyHandler handler) {
  families_[std::move(operation_type)] = std::move(handler);
}

bool Registry::has_family(const std::string& operation_type) const {
  return families_.contains(operation_type);
}

std::expected<nlohmann::json, std::string> Registry::dispatch(const EncodedAction& action,
                                                              persist::Document& doc) {
  std::expected<nlohmann::json, std::string> outcome;
  auto family = families_.find(action.operation_type);
  if (family == families_.end() || !family->second) {
    outcome =
        std::unexpected(fmt::format("no action family registered for {}", action.operation_type));
  } else {
    // A handler's library exception must not unwind into the host's frame loop.
    try {
      outcome = family->second(action.value, doc);
    } catch (const std::exception& e) {
      outcome = std::unexpected(std::string(e.what()));
    }
  }
  report_typed_action(action, outcome.has_value(), outcome ? std::string() : outcome.error());
  return outcome;
}

void Registry::report_typed_action(const EncodedAction& action, bool ok, std::string error) {
  // Trimmed in halves so that recording stays cheap.
  if (history_.size() >= 2 * kHistoryLimit) {
    history_.erase(history_.begin(), history_.begin() + static_cast<std::ptrdiff_t>(kHistoryLimit));
  }
  history_.push_back(
      HistoryEntry{next_sequence_++, action, ok, ok ? std::string() : std::move(error)});
}

}  // namespace vexa::actions
