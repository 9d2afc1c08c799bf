#include "tree_document.h"

#include <nlohmann/json.hpp>

namespace vexa::persist {

TreeDocument::TreeDocument(std::unordered_map<NodeId, Node> nodes, NodeId next_id,
                           std::unique_ptr<Store> store)
    : nodes_(std::move(nodes)), next_id_(next_id), store_(std::move(store)) {
  nodes_[kRoot].kind = Kind::Map;
  nodes_[kRoot].stored = true;  // the root is implicit and never has a row
  if (next_id_ <= kRoot) next_id_ = kRoot + 1;
}

const Node* TreeDocument::find(NodeId id, Kind kind) const {
  auto it = nodes_.find(id);
  if (it == nodes_.end() || it->second.kind != kind) return nullptr;
  return &it->second;
}

Node* TreeDocument::find(NodeId id, Kind kind) {
  auto it = nodes_.find(id);
  if (it == nodes_.end() || it->second.kind != kind) return nullptr;
  return &it->second;
}

std::optional<Kind> TreeDocument::kind(NodeId node) const {
  auto it = nodes_.find(node);
  if (it == nodes_.end()) return std::nullopt;
  return it->second.kind;
}

std::optional<NodeId> TreeDocument::get(NodeId map, std::string_view key) const {
  const Node* m = find(map, Kind::Map);
  if (!m) return std::nullopt;
  auto it = m->children.find(key);
  if (it == m->children.end()) return std::nullopt;
  return it->second;
}

std::vector<std::string> TreeDocument::keys(NodeId map) const {
  std::vector<std::string> out;
  if (const Node* m = find(map, Kind::Map)) {
    out.reserve(m->children.size());
    for (const auto& [key, id] : m->children) out.push_back(key);
  }
  return out;
}

std::vector<NodeId> TreeDocument::elements(NodeId list) const {
  const Node* l = find(list, Kind::List);
  return l ? l->items : std::vector<NodeId>{};
}

std::optional<std::string> TreeDocument::string_value(NodeId node) const {
  const Node* n = find(node, Kind::String);
  if (!n) return std::nullopt;
  return n->text;
}

std::optional<bool> TreeDocument::bool_value(NodeId node) const {
  const Node* n = find(node, Kind::Bool);
  if (!n) return std::nullopt;
  return n->flag;
}

void TreeDocument::remember(NodeId id) {
  if (undo_.contains(id)) return;
  auto it = nodes_.find(id);
  undo_.emplace(id, it == nodes_.end() ? std::nullopt : std::optional<Node>(it->second));
}

void TreeDocument::touch(NodeId id) {
  dirty_.insert(id);
  ++revision_;
}

void TreeDocument::drop_subtree(NodeId id) {
  // Iterative so that a deep tree cannot exhaust the stack.
  std::vector<NodeId> stack{id};
  while (!stack.empty()) {
    NodeId current = stack.back();
    stack.pop_back();
    auto it = nodes_.find(current);
    if (it == nodes_.end()) continue;
    for (const auto& [key, child] : it->second.children) stack.push_back(child);
    for (NodeId child : it->second.items) stack.push_back(child);
    remember(current);
    if (it->second.stored) deleted_.insert(current);
    dirty_.erase(current);
    nodes_.erase(it);
  }
}

NodeId TreeDocument::add_child(NodeId map, std::string_view key, Kind kind) {
  Node* m = find(map, Kind::Map);
  if (!m) return kNoNode;
  remember(map);
  auto it = m->children.find(key);
  if (it != m->children.end()) {
    NodeId old = it->second;
    m->children.erase(it);
    drop_subtree(old);
  }
  NodeId id = next_id_++;
  remember(id);
  Node node;
  node.parent = map;
  node.kind = kind;
  node.key = std::string(key);
  // `m` stays valid: unordered_map never moves its elements on insertion.
  nodes_.emplace(id, std::move(node));
  m->children.emplace(std::string(key), id);
  touch(id);
  return id;
}

NodeId TreeDocument::put_map(NodeId map, std::string_view key) {
  return add_child(map, key, Kind::Map);
}

NodeId TreeDocument::put_list(NodeId map, std::string_view key) {
  return add_child(map, key, Kind::List);
}

void TreeDocument::put_string(NodeId map, std::string_view key, std::string_view value) {
  if (auto existing = get(map, key)) {
    if (Node* n = find(*existing, Kind::String)) {
      if (n->text == value) return;
      remember(*existing);
      n->text = std::string(value);
      touch(*existing);
      return;
    }
  }
  NodeId id = add_child(map, key, Kind::String);
  if (id != kNoNode) nodes_.at(id).text = std::string(value);
}

void TreeDocument::put_bool(NodeId map, std::string_view key, bool value) {
  if (auto existing = get(map, key)) {
    if (Node* n = find(*existing, Kind::Bool)) {
      if (n->flag == value) return;
      remember(*existing);
      n->flag = value;
      touch(*existing);
      return;
    }
  }
  NodeId id = add_child(map, key, Kind::Bool);
  if (id != kNoNode) nodes_.at(id).flag = value;
}

void TreeDocument::remove(NodeId map, std::string_view key) {
  Node* m = find(map, Kind::Map);
  if (!m) return;
  auto it = m->children.find(key);
  if (it == m->children.end()) return;
  remember(map);
  NodeId old = it->second;
  m->children.erase(it);
  drop_subtree(old);
  ++revision_;
}

void TreeDocument::list_push_string(NodeId list, std::string_view value) {
  Node* l = find(list, Kind::List);
  if (!l) return;
  remember(list);
  NodeId id = next_id_++;
  remember(id);
  Node node;
  node.parent = list;
  node.kind = Kind::String;
  node.text = std::string(value);
  // Positions only grow, so removing an element never renumbers its neighbours' rows.
  node.pos = l->items.empty() ? 0 : nodes_.at(l->items.back()).pos + 1;
  nodes_.emplace(id, std::move(node));
  l->items.push_back(id);
  touch(id);
}

void TreeDocument::list_remove(NodeId list, std::size_t index) {
  Node* l = find(list, Kind::List);
  if (!l || index >= l->items.size()) return;
  remember(list);
  NodeId old = l->items[index];
  l->items.erase(l->items.begin() + static_cast<std::ptrdiff_t>(index));
  drop_subtree(old);
  ++revision_;
}

std::expected<void, std::string> TreeDocument::commit() {
  if (!has_pending_changes()) return {};
  if (store_) {
    ChangeSet changes;
    changes.deleted.assign(deleted_.begin(), deleted_.end());
    changes.written.reserve(dirty_.size());
    for (NodeId id : dirty_) changes.written.emplace_back(id, &nodes_.at(id));
    if (auto written = store_->write(changes); !written) return written;
  }
  for (NodeId id : dirty_) nodes_.at(id).stored = true;
  dirty_.clear();
  deleted_.clear();
  undo_.clear();
  return {};
}

void TreeDocument::discard_pending() {
  if (undo_.empty() && !has_pending_changes()) return;
  for (auto& [id, before] : undo_) {
    if (before) {
      nodes_.insert_or_assign(id, std::move(*before));
    } else {
      nodes_.erase(id);
    }
  }
  undo_.clear();
  dirty_.clear();
  deleted_.clear();
  ++revision_;
}

nlohmann::json TreeDocument::node_json(NodeId id) const {
  const Node& n = nodes_.at(id);
  switch (n.kind) {
    case Kind::Map: {
      nlohmann::json out = nlohmann::json::object();
      for (const auto& [key, child] : n.children) out[key] = node_json(child);
      return out;
    }
    case Kind::List: {
      nlohmann::json out = nlohmann::json::array();
      for (NodeId child : n.items) out.push_back(node_json(child));
      return out;
    }
    case Kind::String:
      return n.text;
    case Kind::Bool:
      return n.flag;
  }
  return nullptr;
}

nlohmann::json TreeDocument::to_json() const { return node_json(kRoot); }

std::unique_ptr<Document> open_memory() {
  std::unordered_map<NodeId, Node> nodes;
  nodes.emplace(kRoot, Node{});
  return std::make_unique<TreeDocument>(std::move(nodes), kRoot + 1, nullptr);
}

}  // namespace vexa::persist
