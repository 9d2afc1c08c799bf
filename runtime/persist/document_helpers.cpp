// Typed reads and ensure-writes shared by every document implementation.
#include "vexa/ui/persist.h"

namespace vexa::persist {
namespace {

std::optional<NodeId> child_of_kind(const Document& doc, NodeId map, std::string_view key,
                                    Kind wanted) {
  auto child = doc.get(map, key);
  if (!child || doc.kind(*child) != wanted) return std::nullopt;
  return child;
}

}  // namespace

std::optional<NodeId> Document::get_map(NodeId map, std::string_view key) const {
  return child_of_kind(*this, map, key, Kind::Map);
}

std::optional<NodeId> Document::get_list(NodeId map, std::string_view key) const {
  return child_of_kind(*this, map, key, Kind::List);
}

std::optional<std::string> Document::get_string(NodeId map, std::string_view key) const {
  auto child = get(map, key);
  return child ? string_value(*child) : std::nullopt;
}

std::optional<bool> Document::get_bool(NodeId map, std::string_view key) const {
  auto child = get(map, key);
  return child ? bool_value(*child) : std::nullopt;
}

NodeId Document::ensure_map(NodeId map, std::string_view key) {
  if (auto existing = get_map(map, key)) return *existing;
  return put_map(map, key);
}

NodeId Document::ensure_list(NodeId map, std::string_view key) {
  if (auto existing = get_list(map, key)) return *existing;
  return put_list(map, key);
}

}  // namespace vexa::persist
