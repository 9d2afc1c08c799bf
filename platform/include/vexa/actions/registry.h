#pragma once
// The action host's registry: operation families by type ("mail.action"), typed dispatch of an
// encoded action against the document, and the history of reported typed actions, so that local
// changes and automation changes share one path and one record.
#include <cstdint>
#include <expected>
#include <functional>
#include <map>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "vexa/ui/persist.h"

namespace vexa::actions {

struct EncodedAction {
  std::string operation_type;
  nlohmann::json value;
};

// A family handler applies an encoded value to the document; the error text reaches the caller.
using FamilyHandler = std::function<std::expected<nlohmann::json, std::string>(
    const nlohmann::json&, persist::Document&)>;

struct HistoryEntry {
  std::uint64_t sequence = 0;
  EncodedAction action;
  bool ok = false;
  std::string error;
};

class Registry {
 public:
  void register_family(std::string operation_type, FamilyHandler handler);
  bool has_family(const std::string& operation_type) const;

  // Runs the family's handler and records the outcome in the history.
  std::expected<nlohmann::json, std::string> dispatch(const EncodedAction& action,
                                                      persist::Document& doc);

  // Records an action that the caller carried out itself.
  void report_typed_action(const EncodedAction& action, bool ok, std::string error = {});
  const std::vector<HistoryEntry>& history() const { return history_; }

 private:
  std::map<std::string, FamilyHandler> families_;
  std::vector<HistoryEntry> history_;
  std::uint64_t next_sequence_ = 1;
};

}  // namespace vexa::actions
