#include "sqlite_store.h"

#include <fmt/format.h>
#include <sqlite3.h>

#include <algorithm>
#include <functional>
#include <system_error>
#include <vector>

namespace vexa::persist {
namespace {

// "VEXA" in the database header marks the file as ours before any table is read.
constexpr int kApplicationId = 0x56455841;
constexpr std::string_view kFormat = "vexa.persist.document";
constexpr std::string_view kVersion = "1";

class Statement {
 public:
  Statement(sqlite3* db, const char* sql) {
    rc_ = sqlite3_prepare_v2(db, sql, -1, &stmt_, nullptr);
  }
  ~Statement() { sqlite3_finalize(stmt_); }
  Statement(const Statement&) = delete;
  Statement& operator=(const Statement&) = delete;
  bool ok() const { return rc_ == SQLITE_OK; }
  int rc() const { return rc_; }
  sqlite3_stmt* get() const { return stmt_; }
  int step() { return rc_ = sqlite3_step(stmt_); }

 private:
  sqlite3_stmt* stmt_ = nullptr;
  int rc_;
};

std::string blob_text(sqlite3_stmt* stmt, int column) {
  const void* data = sqlite3_column_blob(stmt, column);
  int size = sqlite3_column_bytes(stmt, column);
  return data ? std::string(static_cast<const char*>(data), static_cast<std::size_t>(size))
              : std::string();
}

int exec(sqlite3* db, const char* sql) { return sqlite3_exec(db, sql, nullptr, nullptr, nullptr); }

struct Probe {
  int rc = SQLITE_OK;
  std::int64_t value = 0;
};

Probe single_integer(sqlite3* db, const char* sql) {
  Statement stmt(db, sql);
  if (!stmt.ok()) return {stmt.rc(), 0};
  int rc = stmt.step();
  if (rc == SQLITE_ROW) return {SQLITE_OK, sqlite3_column_int64(stmt.get(), 0)};
  return {rc == SQLITE_DONE ? SQLITE_OK : rc, 0};
}

// The first column of the first row; nullopt on error or no row.
std::optional<std::string> single_text(sqlite3* db, const char* sql) {
  Statement stmt(db, sql);
  if (!stmt.ok() || stmt.step() != SQLITE_ROW) return std::nullopt;
  const unsigned char* text = sqlite3_column_text(stmt.get(), 0);
  return text ? std::optional<std::string>(reinterpret_cast<const char*>(text)) : std::nullopt;
}

bool has_our_schema(sqlite3* db) {
  Statement meta(db, "SELECT value FROM meta WHERE key = ?1");
  if (!meta.ok()) return false;
  auto read = [&](std::string_view key) -> std::optional<std::string> {
    sqlite3_reset(meta.get());
    sqlite3_bind_text(meta.get(), 1, key.data(), static_cast<int>(key.size()), SQLITE_STATIC);
    if (meta.step() != SQLITE_ROW) return std::nullopt;
    return blob_text(meta.get(), 0);
  };
  if (read("format") != kFormat || read("version") != kVersion) return false;
  Statement columns(db, "SELECT id, parent, key, pos, kind, value FROM nodes LIMIT 0");
  return columns.ok();
}

void load_nodes(sqlite3* db, std::unordered_map<NodeId, Node>& nodes, NodeId& max_id, int& rc) {
  Statement rows(db, "SELECT id, parent, key, pos, kind, value FROM nodes");
  if (!rows.ok()) {
    rc = rows.rc();
    return;
  }
  while (rows.step() == SQLITE_ROW) {
    sqlite3_stmt* s = rows.get();
    NodeId id = sqlite3_column_int64(s, 0);
    if (id > max_id) max_id = id;
    auto kind = sqlite3_column_int(s, 4);
    if (id == kRoot || kind < 0 || kind > static_cast<int>(Kind::Bool)) continue;
    Node node;
    node.parent = sqlite3_column_int64(s, 1);
    node.key = blob_text(s, 2);
    node.pos = sqlite3_column_int64(s, 3);
    node.kind = static_cast<Kind>(kind);
    if (node.kind == Kind::String) node.text = blob_text(s, 5);
    if (node.kind == Kind::Bool) node.flag = sqlite3_column_int(s, 5) != 0;
    node.stored = true;
    nodes.emplace(id, std::move(node));
  }
  rc = rows.rc() == SQLITE_DONE ? SQLITE_OK : rows.rc();
}

// Links children to parents and keeps only what is reachable from the root. Transactions
// make dangling rows impossible in practice; if a damaged file has them anyway they stay
// invisible rather than failing the whole document.
std::unordered_map<NodeId, Node> link(std::unordered_map<NodeId, Node> loaded) {
  std::unordered_map<NodeId, std::vector<NodeId>> by_parent;
  for (const auto& [id, node] : loaded) by_parent[node.parent].push_back(id);
  std::unordered_map<NodeId, Node> out;
  Node root;
  root.stored = true;
  out.emplace(kRoot, std::move(root));
  std::vector<NodeId> stack{kRoot};
  while (!stack.empty()) {
    NodeId parent = stack.back();
    stack.pop_back();
    auto children = by_parent.find(parent);
    if (children == by_parent.end()) continue;
    Node& p = out.at(parent);
    auto& ids = children->second;
    if (p.kind == Kind::List) {
      std::sort(ids.begin(), ids.end(), [&](NodeId a, NodeId b) {
        const Node& na = loaded.at(a);
        const Node& nb = loaded.at(b);
        return na.pos != nb.pos ? na.pos < nb.pos : a < b;
      });
    } else {
      // Two rows for one key cannot come from us; should a damaged file have them, the newer
      // node wins.
      std::sort(ids.begin(), ids.end(), std::greater<>());
    }
    for (NodeId child : ids) {
      Node& c = loaded.at(child);
      if (p.kind == Kind::Map) {
        if (!p.children.emplace(c.key, child).second) continue;
      } else if (p.kind == Kind::List) {
        p.items.push_back(child);
      } else {
        continue;
      }
      out.emplace(child, std::move(c));
      stack.push_back(child);
    }
  }
  return out;
}

}  // namespace

std::expected<SqliteStore::Opened, std::string> SqliteStore::open(
    const std::filesystem::path& path) {
  const std::string shown = path.string();
  std::error_code ec;
  auto status = std::filesystem::status(path, ec);
  bool exists = std::filesystem::exists(status);
  if (exists && !std::filesystem::is_regular_file(status)) {
    return std::unexpected(fmt::format("{} is not a document file", shown));
  }

  sqlite3* raw = nullptr;
  int flags = SQLITE_OPEN_READWRITE | (exists ? 0 : SQLITE_OPEN_CREATE);
  int rc = sqlite3_open_v2(shown.c_str(), &raw, flags, nullptr);
  std::unique_ptr<SqliteStore> store(new SqliteStore(raw));
  auto fail = [&](std::string_view what) {
    return std::unexpected(fmt::format("cannot open the document {}: {}", shown,
                                       what.empty() ? "unknown error" : what));
  };
  if (rc != SQLITE_OK) return fail(raw ? sqlite3_errmsg(raw) : sqlite3_errstr(rc));
  sqlite3_extended_result_codes(raw, 1);
  // SQLite falls back to reading only, and every change would fail to save unnoticed.
  if (sqlite3_db_readonly(raw, "main") == 1) {
    return std::unexpected(
        fmt::format("the document {} is read-only; Mail needs to write to it", shown));
  }
  sqlite3_busy_timeout(raw, 1000);

  // One writer per file: two processes each holding their own copy of the tree would hand out
  // the same node ids and overwrite each other's rows. Exclusive mode also keeps WAL's
  // wal-index in process memory, so no -shm file is needed.
  if (exec(raw, "PRAGMA locking_mode = EXCLUSIVE") != SQLITE_OK) return fail(sqlite3_errmsg(raw));

  // Nothing may be written before the file is known to be ours.
  Probe app_id = single_integer(raw, "PRAGMA application_id");
  Probe tables = single_integer(raw, "SELECT count(*) FROM sqlite_master");
  int probe_rc = app_id.rc != SQLITE_OK ? app_id.rc : tables.rc;
  if ((probe_rc & 0xff) == SQLITE_BUSY) {
    return std::unexpected(fmt::format("the document {} is in use by another process", shown));
  }
  const auto damaged = [&] {
    return std::unexpected(fmt::format("the document {} is damaged", shown));
  };
  if ((probe_rc & 0xff) == SQLITE_CORRUPT) return damaged();
  if ((probe_rc & 0xff) == SQLITE_NOTADB) {
    return std::unexpected(fmt::format("{} is not a document of this application", shown));
  }
  if (probe_rc != SQLITE_OK) return fail(sqlite3_errmsg(raw));
  bool fresh = app_id.value == 0 && tables.value == 0;
  if (!fresh && app_id.value != kApplicationId) {
    return std::unexpected(fmt::format("{} is not a document of this application", shown));
  }
  // Our mark without our tables: the file was ours and lost its content.
  if (!fresh && !has_our_schema(raw)) return damaged();

  // WAL with synchronous=FULL syncs the log on every commit, so a transaction that `commit`
  // reported is on disk even after a power loss; NORMAL would only survive a process crash.
  if (single_text(raw, "PRAGMA journal_mode = WAL") != "wal") return fail(sqlite3_errmsg(raw));
  if (exec(raw, "PRAGMA synchronous = FULL") != SQLITE_OK) return fail(sqlite3_errmsg(raw));

  if (fresh) {
    const std::string create = fmt::format(
        "BEGIN EXCLUSIVE;"
        "CREATE TABLE meta (key TEXT PRIMARY KEY, value TEXT NOT NULL) WITHOUT ROWID;"
        "CREATE TABLE nodes (id INTEGER PRIMARY KEY, parent INTEGER NOT NULL, key BLOB,"
        " pos INTEGER NOT NULL DEFAULT 0, kind INTEGER NOT NULL, value BLOB);"
        "INSERT INTO meta VALUES ('format', '{}'), ('version', '{}');"
        "PRAGMA application_id = {};"
        "COMMIT;",
        kFormat, kVersion, kApplicationId);
    rc = exec(raw, create.c_str());
    if (rc != SQLITE_OK) {
      std::string why = sqlite3_errmsg(raw);
      exec(raw, "ROLLBACK");
      return fail(why);
    }
  } else {
    // Takes the exclusive lock now, not at the first commit, so a second opener fails at once.
    if (exec(raw, "BEGIN EXCLUSIVE; COMMIT;") != SQLITE_OK) {
      if ((sqlite3_extended_errcode(raw) & 0xff) == SQLITE_BUSY) {
        return std::unexpected(fmt::format("the document {} is in use by another process", shown));
      }
      return fail(sqlite3_errmsg(raw));
    }
    if (single_text(raw, "PRAGMA quick_check") != "ok") {
      return std::unexpected(fmt::format("the document {} is damaged", shown));
    }
  }

  Opened opened;
  NodeId max_id = kRoot;
  std::unordered_map<NodeId, Node> loaded;
  load_nodes(raw, loaded, max_id, rc);
  if ((rc & 0xff) == SQLITE_CORRUPT) return damaged();
  if (rc != SQLITE_OK) return fail(sqlite3_errmsg(raw));
  opened.nodes = link(std::move(loaded));
  opened.next_id = max_id + 1;
  if (auto prepared = store->prepare(); !prepared) return std::unexpected(prepared.error());
  opened.store = std::move(store);
  return opened;
}

SqliteStore::~SqliteStore() {
  sqlite3_finalize(delete_);
  sqlite3_finalize(upsert_);
  sqlite3_close_v2(db_);
}

std::expected<void, std::string> SqliteStore::prepare() {
  if (sqlite3_prepare_v3(db_, "DELETE FROM nodes WHERE id = ?1", -1, SQLITE_PREPARE_PERSISTENT,
                         &delete_, nullptr) != SQLITE_OK ||
      sqlite3_prepare_v3(db_,
                         "INSERT INTO nodes (id, parent, key, pos, kind, value)"
                         " VALUES (?1, ?2, ?3, ?4, ?5, ?6) ON CONFLICT (id) DO UPDATE SET"
                         " parent = excluded.parent, key = excluded.key, pos = excluded.pos,"
                         " kind = excluded.kind, value = excluded.value",
                         -1, SQLITE_PREPARE_PERSISTENT, &upsert_, nullptr) != SQLITE_OK) {
    return std::unexpected(fmt::format("cannot prepare the document: {}", sqlite3_errmsg(db_)));
  }
  return {};
}

std::expected<void, std::string> SqliteStore::write(const ChangeSet& changes) {
  auto failed = [&]() -> std::expected<void, std::string> {
    std::string why = sqlite3_errmsg(db_);
    if (!sqlite3_get_autocommit(db_)) exec(db_, "ROLLBACK");
    return std::unexpected(fmt::format("cannot save the document: {}", why));
  };
  const auto before = sqlite3_total_changes64(db_);
  if (exec(db_, "BEGIN IMMEDIATE") != SQLITE_OK) return failed();
  for (NodeId id : changes.deleted) {
    sqlite3_reset(delete_);
    sqlite3_bind_int64(delete_, 1, id);
    if (sqlite3_step(delete_) != SQLITE_DONE) return failed();
  }
  for (const auto& [id, node] : changes.written) {
    sqlite3_reset(upsert_);
    sqlite3_clear_bindings(upsert_);
    sqlite3_bind_int64(upsert_, 1, id);
    sqlite3_bind_int64(upsert_, 2, node->parent);
    sqlite3_bind_blob(upsert_, 3, node->key.data(), static_cast<int>(node->key.size()),
                      SQLITE_STATIC);
    sqlite3_bind_int64(upsert_, 4, node->pos);
    sqlite3_bind_int(upsert_, 5, static_cast<int>(node->kind));
    if (node->kind == Kind::String) {
      sqlite3_bind_blob64(upsert_, 6, node->text.data(), node->text.size(), SQLITE_STATIC);
    } else if (node->kind == Kind::Bool) {
      sqlite3_bind_int(upsert_, 6, node->flag ? 1 : 0);
    }
    if (sqlite3_step(upsert_) != SQLITE_DONE) return failed();
  }
  if (exec(db_, "COMMIT") != SQLITE_OK) return failed();
  last_write_rows_ = sqlite3_total_changes64(db_) - before;
  return {};
}

}  // namespace vexa::persist
