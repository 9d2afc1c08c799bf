#pragma once
// SQLite storage of the document: one row per node. Rows are only ever written by `write`,
// which applies one change set in one transaction.
#include <cstdint>
#include <expected>
#include <filesystem>
#include <memory>
#include <string>
#include <unordered_map>

#include "tree_document.h"

struct sqlite3;
struct sqlite3_stmt;

namespace vexa::persist {

class SqliteStore final : public Store {
 public:
  struct Opened {
    std::unique_ptr<SqliteStore> store;
    std::unordered_map<NodeId, Node> nodes;  // every reachable node, marked stored
    NodeId next_id = kRoot + 1;
  };
  // Creates the file when missing. An existing file is only touched after it has been
  // recognised as a document.
  static std::expected<Opened, std::string> open(const std::filesystem::path& path);

  ~SqliteStore() override;
  SqliteStore(const SqliteStore&) = delete;
  SqliteStore& operator=(const SqliteStore&) = delete;

  std::expected<void, std::string> write(const ChangeSet& changes) override;

  // Rows inserted, updated or deleted by the last successful write; lets tests prove that a
  // commit costs what changed.
  std::int64_t last_write_rows() const { return last_write_rows_; }

 private:
  explicit SqliteStore(sqlite3* db) : db_(db) {}
  std::expected<void, std::string> prepare();

  sqlite3* db_;
  sqlite3_stmt* delete_ = nullptr;
  sqlite3_stmt* upsert_ = nullptr;
  std::int64_t last_write_rows_ = 0;
};

}  // namespace vexa::persist
