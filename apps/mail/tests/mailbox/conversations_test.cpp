#include "mailbox/conversations.h"

#include <gtest/gtest.h>

namespace mail {
namespace {

MessageId id_of(int n) {
  MessageId id{};
  id[15] = static_cast<std::uint8_t>(n);
  return id;
}

MailMessage msg(int n, std::int64_t time, std::optional<std::string> message_id = std::nullopt,
                std::optional<std::string> thread_key = std::nullopt, std::string subject = "s",
                FolderRole folder = FolderRole::Inbox) {
  MailMessage m;
  m.id = id_of(n);
  m.time = time;
  m.message_id = std::move(message_id);
  m.thread_key = std::move(thread_key);
  m.subject = std::move(subject);
  m.folder = folder;
  return m;
}

MessageStore store_of(std::vector<MailMessage> messages) {
  MessageStore store;
  for (auto& m : messages) store.merge(std::move(m));
  return store;
}

TEST(ConversationSubject, StripsReplyAndForwardPrefixes) {
  struct Case {
    const char* in;
    const char* out;
  };
  for (const Case& c : std::vector<Case>{{"  Re: FW: re:Budget  ", "Budget"},
                                         {"Fwd:   Plan", "Plan"},
                                         {"RE:re:", ""},
                                         {"Reply needed", "Reply needed"},
                                         {"Budget", "Budget"}}) {
    EXPECT_EQ(conversation_subject(c.in), c.out) << c.in;
  }
}

TEST(NormalizedIdentifier, TrimsBracketsButKeepsCase) {
  EXPECT_EQ(normalized_identifier(std::string(" <<id-1>> ")), "id-1");
  EXPECT_EQ(normalized_identifier(std::string("< id >")), "id");
  EXPECT_EQ(normalized_identifier(std::string("<>")), std::nullopt);
  EXPECT_EQ(normalized_identifier(std::nullopt), std::nullopt);
  EXPECT_EQ(normalized_identifier(std::string("ID-1")), "ID-1");
}

struct GroupingCase {
  const char* name;
  std::vector<MailMessage> messages;
  // Expected conversations, newest first, each as its message numbers oldest first.
  std::vector<std::vector<int>> groups;
};

class Grouping : public ::testing::TestWithParam<GroupingCase> {};

TEST_P(Grouping, GroupsAndOrders) {
  const auto& c = GetParam();
  auto store = store_of(c.messages);
  auto convs = conversations(store, FolderRole::Inbox);
  std::vector<std::vector<int>> got;
  for (const auto& conv : convs) {
    std::vector<int> ids;
    for (const auto& id : conv.message_ids) ids.push_back(id[15]);
    got.push_back(ids);
  }
  EXPECT_EQ(got, c.groups);
}

INSTANTIATE_TEST_SUITE_P(
    Threads, Grouping,
    ::testing::Values(
        GroupingCase{"reply_with_spaces_joins",
                     {msg(1, 10, "<id-1>"), msg(2, 20, "<id-2>", "  id-1 ")},
                     {{1, 2}}},
        GroupingCase{"case_differs_splits",
                     {msg(1, 10, "<id-1>"), msg(2, 20, "<id-2>", "ID-1")},
                     {{2}, {1}}},
        GroupingCase{
            "absent_root_shared", {msg(1, 10, "a", "root"), msg(2, 20, "b", "<root>")}, {{1, 2}}},
        GroupingCase{"loop_gives_two", {msg(1, 10, "a", "b"), msg(2, 20, "b", "a")}, {{2}, {1}}},
        GroupingCase{"three_in_thread",
                     {msg(1, 10, "r"), msg(2, 30, "x", "r"), msg(3, 20, "y", "r")},
                     {{1, 3, 2}}},
        GroupingCase{"same_minute_by_id", {msg(5, 10, "r"), msg(4, 10, "x", "r")}, {{4, 5}}},
        GroupingCase{"no_identifiers_alone", {msg(1, 10), msg(2, 20)}, {{2}, {1}}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(FolderContents, StarredSkipsTrashAndSpansFolders) {
  auto a = msg(1, 10, "a", std::nullopt, "s", FolderRole::Inbox);
  a.starred = true;
  auto b = msg(2, 20, "b", std::nullopt, "s", FolderRole::Archive);
  b.starred = true;
  auto c = msg(3, 30, "c", std::nullopt, "s", FolderRole::Trash);
  c.starred = true;
  auto store = store_of({a, b, c});
  auto starred = folder_contents(store, FolderRole::Starred);
  ASSERT_EQ(starred.size(), 2u);
  EXPECT_EQ(starred[0]->id, id_of(2));
  EXPECT_EQ(folder_counts(store, FolderRole::Starred).total, 2u);
  EXPECT_EQ(folder_counts(store, FolderRole::Starred).unread, 2u);
}

TEST(VisibleList, RowRepresentsNewestAndCounts) {
  auto store =
      store_of({msg(1, 10, "r"), msg(2, 30, "x", "r"), msg(3, 20, "y", "r"), msg(4, 5, "z")});
  auto entries = folder_entries(store, FolderRole::Inbox);
  ASSERT_EQ(entries.size(), 2u);
  EXPECT_EQ(entries[0], (VisibleEntry{id_of(2), 3}));
  EXPECT_EQ(entries[1], (VisibleEntry{id_of(4), 1}));
  EXPECT_EQ(top_message(store, FolderRole::Inbox), id_of(2));
  EXPECT_EQ(top_message(store, FolderRole::Junk), std::nullopt);
}

TEST(ReaderConversation, GroupsBySubjectWithinOwnFolder) {
  auto store = store_of({msg(1, 10, "a", std::nullopt, "Budget"),
                         msg(2, 20, "b", std::nullopt, "Re: Budget"),
                         msg(3, 5, "c", std::nullopt, "Budget", FolderRole::Archive)});
  EXPECT_EQ(folder_entries(store, FolderRole::Inbox).size(), 2u);
  auto conv = reader_conversation(store, id_of(2));
  ASSERT_EQ(conv.size(), 2u);
  EXPECT_EQ(conv[0]->id, id_of(1));
  EXPECT_EQ(conv[1]->id, id_of(2));
  EXPECT_TRUE(reader_conversation(store, id_of(9)).empty());
}

TEST(MessageStore, ReplacedRecordKeepsItsPlace) {
  auto store = store_of({msg(1, 10), msg(2, 20)});
  auto again = msg(1, 99);
  again.subject = "new";
  store.merge(again);
  ASSERT_EQ(store.order().size(), 2u);
  EXPECT_EQ(store.order()[0], id_of(1));
  EXPECT_EQ(store.find(id_of(1))->subject, "new");
}

}  // namespace
}  // namespace mail

namespace mail {
namespace {

// Counts and the reader's conversation are kept between redraws; every kind of change must
// drop them.
TEST(DerivedAnswers, FollowEveryChangeOfTheStore) {
  MessageStore store;
  store.merge(msg(1, 10));
  EXPECT_EQ(folder_counts(store, FolderRole::Inbox).unread, 1u);
  const MessageId first = store.order().front();
  EXPECT_EQ(reader_conversation(store, first).size(), 1u);

  store.find_mut(first)->seen = true;
  store.touch();
  EXPECT_EQ(folder_counts(store, FolderRole::Inbox).unread, 0u);

  MailMessage same_subject = msg(2, 20);
  same_subject.subject = "Re: " + store.find(first)->subject;
  store.merge(same_subject);
  EXPECT_EQ(folder_counts(store, FolderRole::Inbox).total, 2u);
  EXPECT_EQ(reader_conversation(store, first).size(), 2u);

  store.remove(first);
  EXPECT_EQ(folder_counts(store, FolderRole::Inbox).total, 1u);
  EXPECT_TRUE(reader_conversation(store, first).empty());
  store.clear();
  EXPECT_EQ(folder_counts(store, FolderRole::Inbox).total, 0u);
}

}  // namespace
}  // namespace mail
