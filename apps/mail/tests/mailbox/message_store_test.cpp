// The store holds every account's records but shows one account at a time.
#include "mailbox/message_store.h"

#include <gtest/gtest.h>

#include "mailbox/conversations.h"

namespace mail {
namespace {

MailMessage msg(std::uint8_t n, std::string subject) {
  MailMessage m;
  m.id[15] = n;
  m.subject = std::move(subject);
  m.time = n;
  return m;
}

TEST(MessageStore, TheScopeShowsOnlyTheAccountsOwnAndLocalRecords) {
  MessageStore store;
  store.merge(msg(1, "only a"), "a");
  store.merge(msg(2, "only b"), "b");
  store.merge(msg(3, "both"), "a");
  store.merge(msg(3, "both, fetched again"), "b");  // one record, two owners
  store.merge(msg(4, "local draft"));

  const auto visible = [&] {
    std::vector<std::string> subjects;
    store.for_each([&](const MailMessage& m) { subjects.push_back(m.subject); });
    return subjects;
  };
  EXPECT_EQ(visible().size(), 4u) << "no scope sees everything";

  const std::uint64_t before = store.change_counter();
  store.set_scope("b");
  EXPECT_GT(store.change_counter(), before) << "views must recompute for the other account";
  EXPECT_EQ(visible(), (std::vector<std::string>{"only b", "both, fetched again", "local draft"}));
  EXPECT_EQ(store.size(), 3u);
  EXPECT_EQ(store.find(msg(1, "").id), nullptr);
  EXPECT_EQ(store.find_mut(msg(1, "").id), nullptr);
  EXPECT_NE(store.find_any(msg(1, "").id), nullptr) << "reconciliation still reaches it";
  EXPECT_EQ(store.owners(msg(3, "").id), (std::vector<std::string>{"a", "b"}));
  EXPECT_TRUE(store.owned_by(msg(3, "").id, "b"));
  EXPECT_FALSE(store.owned_by(msg(4, "").id, "b")) << "a local record belongs to no server";
  EXPECT_EQ(folder_entries(store, FolderRole::Inbox).size(), 3u);

  store.set_scope("a");
  EXPECT_EQ(visible(), (std::vector<std::string>{"only a", "both, fetched again", "local draft"}));
  EXPECT_EQ(store.size(), 3u);
}

}  // namespace
}  // namespace mail
