#pragma once
// The application's persistent document: a tree of maps, lists, strings and booleans under one
// root map, stored in SQLite. Changes accumulate in memory and `commit` writes exactly the
// changed nodes in one transaction, so a write costs what changed, not the document's size.
// A kill at any moment loses nothing committed and never corrupts the file.
#include <cstdint>
#include <expected>
#include <filesystem>
#include <memory>
#include <nlohmann/json_fwd.hpp>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vexa::persist {

enum class Kind : std::uint8_t { Map = 0, List = 1, String = 2, Bool = 3 };

// A node handle; stable for the life of the node. 0 is the root map.
using NodeId = std::int64_t;
inline constexpr NodeId kRoot = 0;
// Returned by a write that had no valid target (a stale handle or a parent of the wrong kind);
// every read of it is absent and every write to it does nothing.
inline constexpr NodeId kNoNode = -1;

class Document {
 public:
  virtual ~Document() = default;

  // --- reads (never create anything) ---
  virtual std::optional<Kind> kind(NodeId node) const = 0;
  // Child of a map under key; nullopt when missing or `map` is not a map.
  virtual std::optional<NodeId> get(NodeId map, std::string_view key) const = 0;
  // Keys of a map in ascending byte order.
  virtual std::vector<std::string> keys(NodeId map) const = 0;
  // Elements of a list in order.
  virtual std::vector<NodeId> elements(NodeId list) const = 0;
  virtual std::optional<std::string> string_value(NodeId node) const = 0;
  virtual std::optional<bool> bool_value(NodeId node) const = 0;

  // Typed child reads: absent when missing or of another kind.
  std::optional<NodeId> get_map(NodeId map, std::string_view key) const;
  std::optional<NodeId> get_list(NodeId map, std::string_view key) const;
  std::optional<std::string> get_string(NodeId map, std::string_view key) const;
  std::optional<bool> get_bool(NodeId map, std::string_view key) const;

  // --- writes (replace whatever the key held; writing an equal scalar changes nothing) ---
  virtual NodeId put_map(NodeId map, std::string_view key) = 0;
  virtual NodeId put_list(NodeId map, std::string_view key) = 0;
  virtual void put_string(NodeId map, std::string_view key, std::string_view value) = 0;
  virtual void put_bool(NodeId map, std::string_view key, bool value) = 0;
  // Removes the key and its whole subtree; nothing when missing.
  virtual void remove(NodeId map, std::string_view key) = 0;
  virtual void list_push_string(NodeId list, std::string_view value) = 0;
  virtual void list_remove(NodeId list, std::size_t index) = 0;

  // Map under key, created (replacing a non-map) when needed.
  NodeId ensure_map(NodeId map, std::string_view key);
  NodeId ensure_list(NodeId map, std::string_view key);

  // Advances on every change; lets callers skip work when nothing changed.
  virtual std::uint64_t revision() const = 0;
  // True when changes are waiting for commit.
  virtual bool has_pending_changes() const = 0;
  // Writes pending changes in one transaction. On failure the changes stay pending.
  virtual std::expected<void, std::string> commit() = 0;
  // Forgets every change since the last commit: the document reads again as the file holds
  // it (what a caller does when a commit failed and the change must not stand).
  virtual void discard_pending() = 0;

  // The whole tree as JSON (maps as objects, lists as arrays).
  virtual nlohmann::json to_json() const = 0;
};

// Opens (creating when missing) the document file. A file that exists but cannot be opened
// or is not a document is reported, never replaced.
std::expected<std::unique_ptr<Document>, std::string> open_file(const std::filesystem::path& path);
// A document that lives only in memory (commit succeeds and writes nothing).
std::unique_ptr<Document> open_memory();

// The default location: $XDG_DATA_HOME/vexa/<app id>/document.sqlite3.
std::filesystem::path default_path(std::string_view app_id);

// The launcher's persistence opener: opens the document for the application at the given
// directory, or the default location when the directory is empty.
std::expected<std::unique_ptr<Document>, std::string> open(std::string_view app_id,
                                                           const std::filesystem::path& dir);

}  // namespace vexa::persist
