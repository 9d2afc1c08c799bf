#include "store/mail_document.h"

#include <gtest/gtest.h>

#include "compose/attachments.h"

namespace mail::store {
namespace {

using vexa::persist::kRoot;

const std::string kValidIcs =
    "BEGIN:VCALENDAR\r\nMETHOD:REQUEST\r\nBEGIN:VEVENT\r\nUID:m@x\r\nEND:VEVENT\r\nEND:"
    "VCALENDAR\r\n";

MailMessage message(std::uint8_t tag, bool seen = false, FolderRole folder = FolderRole::Inbox) {
  MailMessage m;
  m.id[15] = tag;
  m.subject = "message " + std::to_string(tag);
  m.seen = seen;
  m.folder = folder;
  return m;
}

class MailDocumentTest : public ::testing::Test {
 protected:
  std::unique_ptr<vexa::persist::Document> owned_ = vexa::persist::open_memory();
  vexa::persist::Document& doc_ = *owned_;
  const std::string key_ = message_key(message(1).id);
};

TEST_F(MailDocumentTest, MessageKeyIsHyphenatedLowerCaseUuid) {
  MessageId id{};
  id[0] = 0xAB;
  id[15] = 0x0F;
  EXPECT_EQ(message_key(id), "ab000000-0000-0000-0000-00000000000f");
}

TEST_F(MailDocumentTest, FetchFillsOnlyValuesTheDocumentLacks) {
  record_fetched(doc_, message(1, /*seen=*/true, FolderRole::Archive));
  EXPECT_EQ(read_flag(doc_, key_), true);
  EXPECT_EQ(starred_flag(doc_, key_), false);
  EXPECT_EQ(folder(doc_, key_), FolderRole::Archive);
  EXPECT_TRUE(is_present(doc_, key_));

  set_read(doc_, key_, false);
  set_folder(doc_, key_, FolderRole::Trash);
  record_fetched(doc_, message(1, /*seen=*/true, FolderRole::Inbox));
  EXPECT_EQ(read_flag(doc_, key_), false);
  EXPECT_EQ(folder(doc_, key_), FolderRole::Trash);
}

TEST_F(MailDocumentTest, FolderTextsAreMatchedExactly) {
  const auto map = doc_.ensure_map(doc_.ensure_map(kRoot, "flags"), key_);
  doc_.put_string(map, "folder", "Trash");
  EXPECT_EQ(folder(doc_, key_), std::nullopt);
  // An unknown folder text is absent, so a fetch may fill it in.
  record_fetched(doc_, message(1, false, FolderRole::Junk));
  EXPECT_EQ(folder(doc_, key_), FolderRole::Junk);

  // Older documents recorded "starred" for messages fetched through that view; such a message
  // lives in the Inbox, where the Inbox lists it.
  doc_.put_string(map, "folder", "starred");
  EXPECT_EQ(folder(doc_, key_), FolderRole::Inbox);
  MessageStore store;
  store.merge(message(1, false, FolderRole::Archive));
  reconcile(doc_, store);
  EXPECT_EQ(store.find(message(1).id)->folder, FolderRole::Inbox);
}

TEST_F(MailDocumentTest, PresenceFollowsMapsAndTombstones) {
  EXPECT_FALSE(is_present(doc_, key_));
  set_read(doc_, key_, true);  // flags alone make a message present
  EXPECT_TRUE(is_present(doc_, key_));

  mark_purged(doc_, key_);
  EXPECT_FALSE(is_present(doc_, key_));
  record_present(doc_, key_);
  EXPECT_FALSE(is_present(doc_, key_));
  EXPECT_EQ(doc_.get_bool(*doc_.get_map(*doc_.get_map(kRoot, "messages"), key_), "present"), false);

  record_present(doc_, "");
  EXPECT_FALSE(doc_.get_map(*doc_.get_map(kRoot, "messages"), "").has_value());
}

TEST_F(MailDocumentTest, WritesReplaceWrongTypedContainers) {
  doc_.put_string(kRoot, "flags", "broken");
  doc_.put_list(kRoot, "messages");
  doc_.put_bool(kRoot, "folders", true);
  EXPECT_FALSE(read_flag(doc_, key_).has_value());
  EXPECT_TRUE(list_folders(doc_).empty());

  set_starred(doc_, key_, true);
  record_present(doc_, key_);
  create_folder(doc_, "f1", "Receipts");
  EXPECT_EQ(starred_flag(doc_, key_), true);
  EXPECT_TRUE(is_present(doc_, key_));
  EXPECT_EQ(list_folders(doc_), (std::vector<UserFolder>{{"f1", "Receipts"}}));

  doc_.put_string(doc_.ensure_map(doc_.ensure_map(kRoot, "flags"), key_), "labels", "x");
  add_label(doc_, key_, "work");
  EXPECT_EQ(labels(doc_, key_), std::vector<std::string>{"work"});
}

TEST_F(MailDocumentTest, LabelsKeepOrderWithoutDuplicates) {
  EXPECT_EQ(labels(doc_, key_), std::nullopt);
  EXPECT_FALSE(doc_.get_map(kRoot, "flags").has_value());  // reading created nothing
  for (std::string_view label : {"work", "home", "work", ""}) add_label(doc_, key_, label);
  EXPECT_EQ(labels(doc_, key_), (std::vector<std::string>{"work", "home"}));
  remove_label(doc_, key_, "work");
  remove_label(doc_, key_, "absent");
  EXPECT_EQ(labels(doc_, key_), std::vector<std::string>{"home"});
}

TEST_F(MailDocumentTest, ReconcileCopiesDocumentValuesIntoTheStore) {
  MessageStore store;
  store.merge(message(1));
  store.merge(message(2));
  EXPECT_FALSE(reconcile(doc_, store));

  set_read(doc_, key_, true);
  set_folder(doc_, key_, FolderRole::Archive);
  add_label(doc_, key_, "work");
  const auto counter = store.change_counter();
  EXPECT_TRUE(reconcile(doc_, store));
  EXPECT_GT(store.change_counter(), counter);
  const MailMessage& m = *store.find(message(1).id);
  EXPECT_TRUE(m.seen);
  EXPECT_FALSE(m.starred);  // absent in the document: left as it was
  EXPECT_EQ(m.folder, FolderRole::Archive);
  EXPECT_EQ(m.labels, std::vector<std::string>{"work"});
  EXPECT_EQ(*store.find(message(2).id), message(2));

  const auto settled = store.change_counter();
  EXPECT_FALSE(reconcile(doc_, store));
  EXPECT_EQ(store.change_counter(), settled);
}

TEST_F(MailDocumentTest, UserFolders) {
  create_folder(doc_, "b", "Second");
  create_folder(doc_, "a", "First");
  create_folder(doc_, "", "Ignored");
  doc_.put_bool(doc_.ensure_map(kRoot, "folders"), "c", true);  // not a name: skipped
  rename_folder(doc_, "missing", "Nope");
  rename_folder(doc_, "b", "Renamed");
  EXPECT_EQ(list_folders(doc_), (std::vector<UserFolder>{{"a", "First"}, {"b", "Renamed"}}));
  delete_folder(doc_, "a");
  delete_folder(doc_, "missing");
  EXPECT_EQ(list_folders(doc_), (std::vector<UserFolder>{{"b", "Renamed"}}));
}

TEST_F(MailDocumentTest, DraftRoundTripsAndKeepsOrDropsOptionalsAsSaved) {
  EXPECT_EQ(load_draft(doc_), DraftData{});

  DraftData draft;
  draft.to = "ana@example.com";
  draft.subject = "Plan";
  draft.body = "Hi";
  draft.html_body = "<p>Hi</p>";
  draft.calendar_ics = kValidIcs;
  draft.attachments = {
      {compose::content_identity_for(std::string(64, 'c')), "a.txt", "text/plain", 3}};
  save_draft(doc_, draft);
  EXPECT_EQ(load_draft(doc_), draft);

  DraftData plain = draft;
  plain.html_body.reset();
  plain.calendar_ics.reset();
  save_draft(doc_, plain);
  const DraftData loaded = load_draft(doc_);
  EXPECT_EQ(loaded.html_body, "<p>Hi</p>");
  EXPECT_FALSE(loaded.calendar_ics.has_value());

  clear_draft(doc_);
  EXPECT_EQ(load_draft(doc_), DraftData{});
  EXPECT_TRUE(doc_.keys(*doc_.get_map(kRoot, "draft")).empty());
}

TEST_F(MailDocumentTest, StoredDraftValuesThatFailChecksLoadAsAbsent) {
  const auto map = doc_.ensure_map(kRoot, "draft");
  doc_.put_string(map, "calendar_ics", "BEGIN:VCALENDAR\nEND:VCALENDAR\n");
  doc_.put_string(map, "attachments", "not json");
  doc_.put_bool(map, "subject", true);
  DraftData loaded = load_draft(doc_);
  EXPECT_FALSE(loaded.calendar_ics.has_value());
  EXPECT_TRUE(loaded.attachments.empty());
  EXPECT_EQ(loaded.subject, "");
  EXPECT_EQ(doc_.get_string(map, "attachments"), "not json");  // left for the next save

  const std::string good = compose::content_identity_for(std::string(64, 'd'));
  const std::string upper = compose::content_identity_for(std::string(64, 'D'));
  doc_.put_string(map, "attachments",
                  attachments_to_json_text({{upper, "a.txt", "text/plain", 1},
                                            {good, "b/c.txt", "text/plain", 1},
                                            {good, "line\nbreak.txt", "text/plain", 1},
                                            {good, "d.txt", "text", 1},
                                            {good, "e.txt", "text/plain", 1}}));
  loaded = load_draft(doc_);
  ASSERT_EQ(loaded.attachments.size(), 1u);
  EXPECT_EQ(loaded.attachments[0].filename, "e.txt");
}

}  // namespace
}  // namespace mail::store
