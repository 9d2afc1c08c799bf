// The list's in-window search over a small store.
#include "mailbox/local_search.h"

#include <gtest/gtest.h>

namespace mail {
namespace {

MailMessage make(int n, std::string subject, std::string name, std::string address,
                 std::string body, std::int64_t time, FolderRole folder = FolderRole::Inbox) {
  MailMessage m;
  m.id[15] = static_cast<std::uint8_t>(n);
  m.id[14] = static_cast<std::uint8_t>(n >> 8);
  m.subject = std::move(subject);
  m.from = {std::move(address), name.empty() ? std::nullopt : std::optional(name)};
  m.body_text = std::move(body);
  m.time = time;
  m.folder = folder;
  return m;
}

std::vector<std::uint8_t> found(const MessageStore& store, std::string_view query) {
  std::vector<std::uint8_t> out;
  for (const auto& e : local_search(store, query)) {
    EXPECT_EQ(e.count, 1u);
    out.push_back(e.id[15]);
  }
  return out;
}

TEST(LocalSearch, MatchesSubjectSenderAddressAndBodyOutsideTrash) {
  MessageStore store;
  store.merge(make(1, "Quarterly Report", "Ada Lovelace", "ada@example.com", "numbers", 10));
  store.merge(make(2, "lunch", "", "grace@navy.example", "see you at noon", 30));
  store.merge(make(3, "Report draft", "Bob", "bob@example.com", "", 20, FolderRole::Archive));
  store.merge(make(4, "report shredded", "Eve", "eve@example.com", "", 40, FolderRole::Trash));
  struct Case {
    std::string query;
    std::vector<std::uint8_t> ids;
  };
  const std::vector<Case> cases = {
      {"report", {3, 1}},      // newest first; Trash never searched
      {"  REPORT  ", {3, 1}},  // trimmed, case folded
      {"lovelace", {1}},       // display name
      {"navy", {2}},           // address when the name is empty
      {"ada@example", {1}},    // the address behind a name
      {"NOON", {2}},           // body
      {"shredded", {}},       {"   ", {}},
  };
  for (const Case& c : cases) EXPECT_EQ(found(store, c.query), c.ids) << '"' << c.query << '"';
}

TEST(LocalSearch, KeepsTheNewestArrivalsWhenOverTheLimit) {
  MessageStore store;
  // Added in time order, so the last 200 added are the ones the walk reaches first.
  for (int i = 0; i < 250; ++i) store.merge(make(i, "match", "", "a@b.c", "", i));
  const auto entries = local_search(store, "match");
  ASSERT_EQ(entries.size(), kSearchResultLimit);
  const MailMessage* newest = store.find(entries.front().id);
  const MailMessage* oldest = store.find(entries.back().id);
  EXPECT_EQ(newest->time, 249);
  EXPECT_EQ(oldest->time, 50);
}

}  // namespace
}  // namespace mail
