#pragma once
// The in-memory tree behind every document, with the set of nodes changed since the last
// commit. Storage is optional: without it the document lives only in memory.
#include <cstdint>
#include <expected>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <utility>
#include <vector>

#include "vexa/ui/persist.h"

namespace vexa::persist {

struct Node {
  NodeId parent = kNoNode;
  Kind kind = Kind::Map;
  std::string key;       // under a map parent
  std::int64_t pos = 0;  // under a list parent: ascending order, gaps allowed
  std::string text;      // Kind::String
  bool flag = false;     // Kind::Bool
  std::map<std::string, NodeId, std::less<>> children;  // Kind::Map
  std::vector<NodeId> items;                            // Kind::List, in order
  bool stored = false;                                  // has a row in storage
};

// What a commit must write: rows to delete, then rows to insert or update.
struct ChangeSet {
  std::vector<NodeId> deleted;
  std::vector<std::pair<NodeId, const Node*>> written;
};

class Store {
 public:
  virtual ~Store() = default;
  virtual std::expected<void, std::string> write(const ChangeSet& changes) = 0;
};

class TreeDocument final : public Document {
 public:
  // `nodes` must hold a root map under kRoot; every stored node is marked stored.
  TreeDocument(std::unordered_map<NodeId, Node> nodes, NodeId next_id,
               std::unique_ptr<Store> store);

  std::optional<Kind> kind(NodeId node) const override;
  std::optional<NodeId> get(NodeId map, std::string_view key) const override;
  std::vector<std::string> keys(NodeId map) const override;
  std::vector<NodeId> elements(NodeId list) const override;
  std::optional<std::string> string_value(NodeId node) const override;
  std::optional<bool> bool_value(NodeId node) const override;

  NodeId put_map(NodeId map, std::string_view key) override;
  NodeId put_list(NodeId map, std::string_view key) override;
  void put_string(NodeId map, std::string_view key, std::string_view value) override;
  void put_bool(NodeId map, std::string_view key, bool value) override;
  void remove(NodeId map, std::string_view key) override;
  void list_push_string(NodeId list, std::string_view value) override;
  void list_remove(NodeId list, std::size_t index) override;

  std::uint64_t revision() const override { return revision_; }
  bool has_pending_changes() const override { return !dirty_.empty() || !deleted_.empty(); }
  std::expected<void, std::string> commit() override;
  void discard_pending() override;
  nlohmann::json to_json() const override;

  Store* store() const { return store_.get(); }

 private:
  const Node* find(NodeId id, Kind kind) const;
  Node* find(NodeId id, Kind kind);
  NodeId add_child(NodeId map, std::string_view key, Kind kind);
  void drop_subtree(NodeId id);
  void touch(NodeId id);
  // Keeps the node as the last commit left it (or its absence), once per pending window.
  void remember(NodeId id);
  nlohmann::json node_json(NodeId id) const;

  std::unordered_map<NodeId, Node> nodes_;
  NodeId next_id_;
  std::unique_ptr<Store> store_;
  std::unordered_set<NodeId> dirty_;
  std::unordered_set<NodeId> deleted_;
  // Each node changed since the last commit, as it was then; nullopt where it did not exist.
  std::unordered_map<NodeId, std::optional<Node>> undo_;
  std::uint64_t revision_ = 0;
};

}  // namespace vexa::persist
