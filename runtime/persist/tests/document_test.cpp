// The in-memory behaviour every document shares, whatever stores it.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "tree_document.h"
#include "vexa/ui/persist.h"

namespace vexa::persist {
namespace {

using nlohmann::json;

TEST(Document, TypedReadsAreAbsentForOtherKinds) {
  auto doc = open_memory();
  doc->put_map(kRoot, "m");
  doc->put_list(kRoot, "l");
  doc->put_string(kRoot, "s", "text");
  doc->put_bool(kRoot, "b", true);

  struct Case {
    const char* key;
    bool map, list, string, boolean;
  };
  const std::vector<Case> cases = {
      {"m", true, false, false, false},        {"l", false, true, false, false},
      {"s", false, false, true, false},        {"b", false, false, false, true},
      {"missing", false, false, false, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.key);
    EXPECT_EQ(doc->get_map(kRoot, c.key).has_value(), c.map);
    EXPECT_EQ(doc->get_list(kRoot, c.key).has_value(), c.list);
    EXPECT_EQ(doc->get_string(kRoot, c.key).has_value(), c.string);
    EXPECT_EQ(doc->get_bool(kRoot, c.key).has_value(), c.boolean);
  }
  // A scalar is not a container: reads through it find nothing.
  auto s = *doc->get(kRoot, "s");
  EXPECT_FALSE(doc->get(s, "x"));
  EXPECT_TRUE(doc->keys(s).empty());
  EXPECT_TRUE(doc->elements(s).empty());
}

TEST(Document, PutReplacesWholeSubtreeAndOldHandlesGoStale) {
  auto doc = open_memory();
  NodeId flags = doc->put_map(kRoot, "flags");
  NodeId msg = doc->put_map(flags, "m1");
  NodeId labels = doc->put_list(msg, "labels");
  doc->list_push_string(labels, "work");

  NodeId fresh = doc->put_map(kRoot, "flags");
  EXPECT_NE(fresh, flags);
  EXPECT_EQ(doc->to_json(), json::parse(R"({"flags":{}})"));
  for (NodeId stale : {flags, msg, labels}) EXPECT_FALSE(doc->kind(stale));

  // Writes through a stale handle do nothing rather than resurrect the subtree.
  EXPECT_EQ(doc->put_map(msg, "x"), kNoNode);
  doc->put_string(msg, "x", "y");
  doc->list_push_string(labels, "z");
  EXPECT_EQ(doc->to_json(), json::parse(R"({"flags":{}})"));
}

TEST(Document, EnsureKeepsMatchingContainerAndReplacesOtherKinds) {
  auto doc = open_memory();
  NodeId flags = doc->put_map(kRoot, "flags");
  doc->put_bool(flags, "keep", true);
  EXPECT_EQ(doc->ensure_map(kRoot, "flags"), flags);
  EXPECT_EQ(doc->get_bool(flags, "keep"), true);

  doc->put_string(kRoot, "labels", "not a list");
  NodeId labels = doc->ensure_list(kRoot, "labels");
  EXPECT_EQ(doc->kind(labels), Kind::List);
  EXPECT_EQ(doc->ensure_list(kRoot, "labels"), labels);

  NodeId was_list = doc->ensure_map(kRoot, "labels");
  EXPECT_EQ(doc->kind(was_list), Kind::Map);
  EXPECT_FALSE(doc->kind(labels));
}

TEST(Document, KeysInAscendingByteOrder) {
  auto doc = open_memory();
  for (const char* key : {"b", "\xc3\xa9", "B", "a", "", "aa", "a\x01"}) {
    doc->put_bool(kRoot, key, true);
  }
  EXPECT_EQ(doc->keys(kRoot),
            (std::vector<std::string>{"", "B", "a", "a\x01", "aa", "b", "\xc3\xa9"}));
}

TEST(Document, ListKeepsOrderThroughRemovals) {
  auto doc = open_memory();
  NodeId list = doc->put_list(kRoot, "l");
  for (const char* v : {"a", "b", "c", "d"}) doc->list_push_string(list, v);
  doc->list_remove(list, 0);
  doc->list_remove(list, 1);
  doc->list_remove(list, 9);  // out of range: nothing
  doc->list_push_string(list, "e");
  EXPECT_EQ(doc->to_json()["l"], json::parse(R"(["b","d","e"])"));
}

TEST(Document, RevisionAdvancesOnlyOnRealChanges) {
  auto doc = open_memory();
  std::uint64_t last = doc->revision();
  auto changed = [&] {
    bool advanced = doc->revision() != last;
    last = doc->revision();
    return advanced;
  };
  doc->put_string(kRoot, "s", "a");
  EXPECT_TRUE(changed());
  doc->put_string(kRoot, "s", "a");
  EXPECT_FALSE(changed());
  doc->put_string(kRoot, "s", "b");
  EXPECT_TRUE(changed());
  doc->put_bool(kRoot, "s", false);  // kind change
  EXPECT_TRUE(changed());
  doc->put_bool(kRoot, "s", false);
  EXPECT_FALSE(changed());
  doc->remove(kRoot, "missing");
  EXPECT_FALSE(changed());
  doc->remove(kRoot, "s");
  EXPECT_TRUE(changed());
  NodeId list = doc->put_list(kRoot, "l");
  EXPECT_TRUE(changed());
  doc->list_push_string(list, "x");
  EXPECT_TRUE(changed());
  doc->list_remove(list, 0);
  EXPECT_TRUE(changed());
  EXPECT_TRUE(doc->commit());
  EXPECT_FALSE(changed());
}

// Fails a chosen number of writes, then records what it was asked to write.
class FlakyStore : public Store {
 public:
  explicit FlakyStore(int failures) : failures_(failures) {}
  std::expected<void, std::string> write(const ChangeSet& changes) override {
    if (failures_-- > 0) return std::unexpected("disk full");
    deleted += changes.deleted.size();
    written += changes.written.size();
    return {};
  }
  std::size_t deleted = 0, written = 0;

 private:
  int failures_;
};

TEST(Document, FailedCommitKeepsChangesPending) {
  auto store = std::make_unique<FlakyStore>(1);
  FlakyStore* flaky = store.get();
  std::unordered_map<NodeId, Node> nodes;
  nodes.emplace(kRoot, Node{});
  TreeDocument doc(std::move(nodes), 1, std::move(store));

  NodeId m = doc.put_map(kRoot, "m");
  doc.put_string(m, "a", "1");
  auto first = doc.commit();
  ASSERT_FALSE(first);
  EXPECT_EQ(first.error(), "disk full");
  EXPECT_TRUE(doc.has_pending_changes());

  ASSERT_TRUE(doc.commit());
  EXPECT_FALSE(doc.has_pending_changes());
  EXPECT_EQ(flaky->written, 2u);

  // A node created and removed between commits never reaches the store.
  doc.put_string(m, "tmp", "x");
  doc.remove(m, "tmp");
  EXPECT_FALSE(doc.has_pending_changes());
  doc.remove(kRoot, "m");
  ASSERT_TRUE(doc.commit());
  EXPECT_EQ(flaky->deleted, 2u);
}

TEST(Document, DiscardingReturnsToTheLastCommit) {
  auto store = std::make_unique<FlakyStore>(0);
  FlakyStore* flaky = store.get();
  std::unordered_map<NodeId, Node> nodes;
  nodes.emplace(kRoot, Node{});
  TreeDocument doc(std::move(nodes), 1, std::move(store));
  NodeId m = doc.put_map(kRoot, "m");
  doc.put_string(m, "s", "old");
  doc.put_bool(m, "b", false);
  NodeId l = doc.put_list(m, "l");
  doc.list_push_string(l, "one");
  doc.list_push_string(l, "two");
  doc.put_map(kRoot, "gone");
  ASSERT_TRUE(doc.commit());
  const json committed = doc.to_json();
  const std::size_t written = flaky->written;

  // Every kind of change, then discarded.
  doc.put_string(m, "s", "new");
  doc.put_bool(m, "b", true);
  doc.list_push_string(l, "three");
  doc.list_remove(l, 0);
  doc.remove(kRoot, "gone");
  doc.put_map(m, "s");  // replaces a string with a map
  NodeId fresh = doc.put_map(kRoot, "fresh");
  doc.put_string(fresh, "x", "y");
  const auto revision = doc.revision();
  doc.discard_pending();
  EXPECT_EQ(doc.to_json(), committed);
  EXPECT_FALSE(doc.has_pending_changes());
  EXPECT_GT(doc.revision(), revision) << "readers must see that it changed back";
  EXPECT_EQ(doc.get_string(m, "s"), "old") << "old handles are good again";

  // The next change and commit write only what it changed.
  doc.put_string(m, "s", "later");
  ASSERT_TRUE(doc.commit());
  EXPECT_EQ(flaky->written, written + 1);
  EXPECT_EQ(flaky->deleted, 0u);
}

TEST(Document, MemoryDocumentCommitsWithoutStorage) {
  auto doc = open_memory();
  doc->put_bool(kRoot, "b", true);
  EXPECT_TRUE(doc->has_pending_changes());
  EXPECT_TRUE(doc->commit());
  EXPECT_FALSE(doc->has_pending_changes());
  EXPECT_EQ(doc->to_json(), json::parse(R"({"b":true})"));
}

}  // namespace
}  // namespace vexa::persist
