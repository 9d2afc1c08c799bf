// Documents stored in a file: round trips, what reaches the disk, and files that are not ours.
#include <gtest/gtest.h>
#include <sqlite3.h>
#include <stdlib.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <nlohmann/json.hpp>

#include "sqlite_store.h"
#include "temp_dir.h"
#include "tree_document.h"
#include "vexa/ui/persist.h"

namespace vexa::persist {
namespace {

namespace fs = std::filesystem;
using nlohmann::json;

class DocumentFile : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = temp_.path();
    path_ = dir_ / "document.sqlite3";
  }

  std::unique_ptr<Document> open_ok() {
    auto doc = open_file(path_);
    EXPECT_TRUE(doc) << doc.error();
    return doc ? std::move(*doc) : open_memory();
  }
  static std::int64_t rows_of_last_commit(Document& doc) {
    auto* tree = dynamic_cast<TreeDocument*>(&doc);
    return static_cast<SqliteStore*>(tree->store())->last_write_rows();
  }
  static std::string read_bytes(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
  }

  vexa::testing::TempDir temp_{"vexa-persist"};
  fs::path dir_;
  fs::path path_;
};

TEST_F(DocumentFile, RoundTripThroughReopen) {
  json expected;
  {
    auto doc = open_ok();
    NodeId flags = doc->ensure_map(kRoot, "flags");
    NodeId m1 = doc->ensure_map(flags, "m1");
    doc->put_bool(m1, "read", true);
    doc->put_string(m1, "folder", "archive");
    NodeId labels = doc->ensure_list(m1, "labels");
    for (const char* l : {"work", "home", "later", "x"}) doc->list_push_string(labels, l);
    doc->put_string(kRoot, "empty", "");
    doc->put_string(kRoot, std::string("nul\0key", 7), std::string("a\0b", 3));
    NodeId gone = doc->put_map(kRoot, "gone");
    doc->put_string(gone, "deep", "x");
    ASSERT_TRUE(doc->commit());

    // Changes after a commit: replace a subtree, remove keys and list elements, change kinds.
    NodeId m2 = doc->put_map(flags, "m1");
    doc->put_bool(m2, "starred", false);
    doc->remove(kRoot, "gone");
    doc->put_bool(kRoot, "empty", true);
    NodeId list = doc->put_list(kRoot, "list");
    for (const char* v : {"a", "b", "c", "d", "e"}) doc->list_push_string(list, v);
    ASSERT_TRUE(doc->commit());
    doc->list_remove(list, 0);
    doc->list_remove(list, 2);
    doc->list_push_string(list, "f");
    ASSERT_TRUE(doc->commit());
    expected = doc->to_json();
  }
  EXPECT_EQ(expected["list"], json::parse(R"(["b","c","e","f"])"));
  EXPECT_FALSE(expected.contains("gone"));
  auto reopened = open_ok();
  EXPECT_EQ(reopened->to_json(), expected);

  // Ids handed out after a reopen never collide with stored ones.
  NodeId list = *reopened->get_list(kRoot, "list");
  reopened->list_push_string(list, "g");
  reopened->put_bool(kRoot, "new", true);
  ASSERT_TRUE(reopened->commit());
  expected = reopened->to_json();
  reopened.reset();
  EXPECT_EQ(open_ok()->to_json(), expected);
}

TEST_F(DocumentFile, UncommittedChangesAreNotOnDisk) {
  {
    auto doc = open_ok();
    doc->put_string(kRoot, "kept", "1");
    ASSERT_TRUE(doc->commit());
    doc->put_string(kRoot, "lost", "2");
    doc->remove(kRoot, "kept");
  }
  EXPECT_EQ(open_ok()->to_json(), json::parse(R"({"kept":"1"})"));
}

TEST_F(DocumentFile, CommitWritesOnlyChangedRows) {
  auto doc = open_ok();
  NodeId flags = doc->put_map(kRoot, "flags");
  NodeId list = doc->put_list(kRoot, "list");
  for (int i = 0; i < 300; ++i) {
    NodeId m = doc->put_map(flags, "m" + std::to_string(i));
    doc->put_bool(m, "read", false);
    doc->put_string(m, "folder", "inbox");
    doc->list_push_string(list, std::to_string(i));
  }
  ASSERT_TRUE(doc->commit());
  EXPECT_EQ(rows_of_last_commit(*doc), 2 + 300 * 4);

  struct Case {
    const char* name;
    std::function<void()> change;
    std::int64_t rows;
  };
  const std::vector<Case> cases = {
      {"flip one flag", [&] { doc->put_bool(*doc->get_map(flags, "m7"), "read", true); }, 1},
      {"new key", [&] { doc->put_bool(*doc->get_map(flags, "m8"), "starred", true); }, 1},
      {"remove a message subtree", [&] { doc->remove(flags, "m9"); }, 3},
      {"replace a subtree", [&] { doc->put_map(flags, "m10"); }, 4},
      {"remove the first list element", [&] { doc->list_remove(list, 0); }, 1},
      {"push onto the list", [&] { doc->list_push_string(list, "tail"); }, 1},
      {"same value again", [&] { doc->put_string(*doc->get_map(flags, "m11"), "folder", "inbox"); },
       0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::int64_t before = rows_of_last_commit(*doc);
    c.change();
    ASSERT_TRUE(doc->commit());
    // A commit with nothing to do does not reach storage at all.
    EXPECT_EQ(c.rows == 0 ? before : c.rows, rows_of_last_commit(*doc));
  }
}

// Writes a database of someone else's making.
void foreign_database(const fs::path& p, const char* sql) {
  sqlite3* db = nullptr;
  ASSERT_EQ(sqlite3_open(p.c_str(), &db), SQLITE_OK);
  ASSERT_EQ(sqlite3_exec(db, sql, nullptr, nullptr, nullptr), SQLITE_OK);
  sqlite3_close(db);
}

TEST_F(DocumentFile, FileThatIsNotOursIsReportedAndLeftUntouched) {
  struct Case {
    const char* name;
    std::function<void(const fs::path&)> make;
    const char* error_part;
  };
  const std::vector<Case> cases = {
      {"garbage bytes",
       [](const fs::path& p) { std::ofstream(p, std::ios::binary) << std::string(5000, '\x5a'); },
       "is not a document of this application"},
      {"a database with other tables",
       [](const fs::path& p) { foreign_database(p, "CREATE TABLE notes (body TEXT);"); },
       "is not a document of this application"},
      {"our mark but no tables",
       [](const fs::path& p) {
         foreign_database(p, "PRAGMA application_id = 1447385153; CREATE TABLE x (y);");
       },
       "is damaged"},
      {"a directory", [](const fs::path& p) { fs::create_directory(p); }, "is not a document"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    fs::remove_all(path_);
    c.make(path_);
    std::string before = fs::is_regular_file(path_) ? read_bytes(path_) : "";
    auto doc = open_file(path_);
    ASSERT_FALSE(doc);
    EXPECT_NE(doc.error().find(c.error_part), std::string::npos) << doc.error();
    EXPECT_NE(doc.error().find(path_.string()), std::string::npos) << doc.error();
    if (fs::is_regular_file(path_)) {
      EXPECT_EQ(read_bytes(path_), before);
    }
    EXPECT_FALSE(fs::exists(path_.string() + "-wal"));
  }
}

TEST_F(DocumentFile, ADamagedOrReadOnlyDocumentIsCalledSo) {
  {
    auto doc = open_ok();
    for (int i = 0; i < 400; ++i)
      doc->put_string(kRoot, "k" + std::to_string(i), std::string(200, 'v'));
    ASSERT_TRUE(doc->commit());
  }
  // Pages past the header overwritten, as a failing disk or a bad copy leaves them.
  std::string bytes = read_bytes(path_);
  ASSERT_GT(bytes.size(), 16384u);
  for (std::size_t i = 4096; i < bytes.size(); ++i) bytes[i] = static_cast<char>(i * 7);
  std::ofstream(path_, std::ios::binary | std::ios::trunc) << bytes;
  auto damaged = open_file(path_);
  ASSERT_FALSE(damaged);
  EXPECT_NE(damaged.error().find("is damaged"), std::string::npos) << damaged.error();
  EXPECT_EQ(read_bytes(path_), bytes);

  // A document on a file system mounted read-only (root ignores file modes, so a mount it is).
  fs::remove(path_);
  ASSERT_TRUE(open_ok());
  const fs::path dir = path_.parent_path();
  const fs::path ro = dir.string() + "-ro";
  fs::create_directory(ro);
  const std::string bind = "mount --bind " + dir.string() + " " + ro.string() + " 2>/dev/null";
  const std::string remount = "mount -o remount,ro,bind " + ro.string() + " 2>/dev/null";
  if (std::system(bind.c_str()) != 0 || std::system(remount.c_str()) != 0) {
    std::system(("umount " + ro.string() + " 2>/dev/null").c_str());
    fs::remove(ro);
    GTEST_SKIP() << "cannot mount a read-only view here";
  }
  auto read_only = open_file(ro / path_.filename());
  std::system(("umount " + ro.string()).c_str());
  fs::remove(ro);
  ASSERT_FALSE(read_only);
  EXPECT_NE(read_only.error().find("is read-only"), std::string::npos) << read_only.error();
}

TEST_F(DocumentFile, EmptyFileBecomesADocument) {
  std::ofstream(path_).close();
  auto doc = open_ok();
  doc->put_bool(kRoot, "b", true);
  ASSERT_TRUE(doc->commit());
  doc.reset();
  EXPECT_EQ(open_ok()->to_json(), json::parse(R"({"b":true})"));
}

TEST_F(DocumentFile, SecondOpenerIsRefusedWhileTheFirstHoldsIt) {
  auto first = open_ok();
  first->put_bool(kRoot, "b", true);
  ASSERT_TRUE(first->commit());
  auto second = open_file(path_);
  ASSERT_FALSE(second);
  EXPECT_NE(second.error().find("in use"), std::string::npos) << second.error();
  first.reset();
  EXPECT_TRUE(open_file(path_));
}

TEST_F(DocumentFile, OpenPlacesTheFileInTheDirectoryOrTheDataHome) {
  auto in_dir = open("io.vexa.test", dir_ / "scene");
  ASSERT_TRUE(in_dir) << in_dir.error();
  EXPECT_TRUE(fs::exists(dir_ / "scene" / "document.sqlite3"));
  in_dir->reset();

  const char* old = getenv("XDG_DATA_HOME");
  std::string saved = old ? old : "";
  setenv("XDG_DATA_HOME", (dir_ / "data").c_str(), 1);
  EXPECT_EQ(default_path("io.vexa.test"),
            dir_ / "data" / "vexa" / "io.vexa.test" / "document.sqlite3");
  auto by_default = open("io.vexa.test", {});
  ASSERT_TRUE(by_default) << by_default.error();
  EXPECT_TRUE(fs::exists(dir_ / "data" / "vexa" / "io.vexa.test" / "document.sqlite3"));
  EXPECT_FALSE(open("../escape", {}));

  setenv("XDG_DATA_HOME", "relative", 1);
  EXPECT_EQ(default_path("a").string().find("relative"), std::string::npos);
  if (old) {
    setenv("XDG_DATA_HOME", saved.c_str(), 1);
  } else {
    unsetenv("XDG_DATA_HOME");
  }
}

}  // namespace
}  // namespace vexa::persist
