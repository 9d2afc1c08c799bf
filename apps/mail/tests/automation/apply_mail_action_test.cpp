#include <gtest/gtest.h>

#include "automation/mail_action.h"
#include "compose/attachments.h"
#include "store/mail_document.h"

namespace mail::automation {
namespace {

using vexa::persist::kRoot;

std::string key(std::uint8_t tag) {
  MessageId id{};
  id[15] = tag;
  return store::message_key(id);
}

// Messages 1 and 2 in Trash, 3 in Archive, 4 in Inbox; 5 was never seen.
class ApplyMailAction : public ::testing::Test {
 protected:
  void SetUp() override {
    const FolderRole folders[] = {FolderRole::Trash, FolderRole::Trash, FolderRole::Archive,
                                  FolderRole::Inbox};
    for (std::uint8_t i = 0; i < 4; ++i) {
      store::record_present(doc_, key(i + 1));
      store::set_folder(doc_, key(i + 1), folders[i]);
    }
  }

  void apply(const MailAction& action) {
    const auto result = apply_mail_action(doc_, action);
    ASSERT_TRUE(result.has_value()) << result.error();
  }

  std::unique_ptr<vexa::persist::Document> owned_ = vexa::persist::open_memory();
  vexa::persist::Document& doc_ = *owned_;
};

TEST_F(ApplyMailAction, PurgeNeedsEveryIdPresentInTrash) {
  const std::vector<std::vector<std::string>> refused = {
      {},
      {key(1), key(3)},         // one archived
      {key(1), key(5)},         // one unknown
      {std::string(129, 'x')},  // dropped by normalisation, leaving nothing
  };
  const auto before = doc_.to_json();
  for (const auto& ids : refused) {
    const auto result = apply_mail_action(doc_, Purge{ids});
    ASSERT_FALSE(result.has_value());
    EXPECT_EQ(result.error(), kPurgeRefused);
    EXPECT_EQ(doc_.to_json(), before);
  }

  apply(Purge{{key(1), " " + key(2) + " ", key(1)}});
  EXPECT_FALSE(store::is_present(doc_, key(1)));
  EXPECT_FALSE(store::is_present(doc_, key(2)));
  EXPECT_EQ(apply_mail_action(doc_, Purge{{key(1)}}).error(), kPurgeRefused);

  // A purged message stays out of reach.
  store::record_present(doc_, key(1));
  apply(SetRead{{key(1)}, true});
  EXPECT_EQ(store::read_flag(doc_, key(1)), std::nullopt);
}

TEST_F(ApplyMailAction, FlagsAndMovesChangeOnlyPresentMessages) {
  apply(SetRead{{key(3), key(5)}, true});
  apply(SetStarred{{key(4)}, true});
  EXPECT_EQ(store::read_flag(doc_, key(3)), true);
  EXPECT_EQ(store::starred_flag(doc_, key(4)), true);
  EXPECT_FALSE(store::is_present(doc_, key(5)));

  apply(Move{{key(4)}, "Trash"});
  EXPECT_EQ(store::folder(doc_, key(4)), FolderRole::Inbox);
  apply(Move{{key(4), key(5)}, "trash"});
  EXPECT_EQ(store::folder(doc_, key(4)), FolderRole::Trash);
  EXPECT_EQ(store::folder(doc_, key(5)), std::nullopt);
}

TEST_F(ApplyMailAction, LabelsAreSanitisedSingleLine) {
  apply(AddLabel{{key(4)}, "  work  "});
  apply(AddLabel{{key(4)}, "work"});
  apply(AddLabel{{key(4)}, "a\tb\nc"});
  apply(AddLabel{{key(4)}, " \x01 "});
  apply(AddLabel{{key(4)}, std::string(200, 'x')});
  EXPECT_EQ(store::labels(doc_, key(4)),
            (std::vector<std::string>{"work", "abc", std::string(128, 'x')}));
  apply(RemoveLabel{{key(4)}, " work"});
  EXPECT_EQ(store::labels(doc_, key(4)), (std::vector<std::string>{"abc", std::string(128, 'x')}));
}

TEST_F(ApplyMailAction, FoldersNeedAUsableIdAndName) {
  apply(CreateFolder{"f1", "   "});
  apply(CreateFolder{std::string(129, 'f'), "Too long id"});
  apply(RenameFolder{"missing", "Ghost"});
  EXPECT_TRUE(store::list_folders(doc_).empty());

  apply(CreateFolder{"f1", " Receipts\x7f "});
  apply(CreateFolder{"f2", std::string(100, 'n')});
  apply(RenameFolder{"f1", "Bills"});
  EXPECT_EQ(store::list_folders(doc_),
            (std::vector<store::UserFolder>{{"f1", "Bills"}, {"f2", std::string(96, 'n')}}));
  apply(DeleteFolder{"f1"});
  EXPECT_EQ(store::list_folders(doc_).size(), 1u);
}

TEST_F(ApplyMailAction, SaveDraftSanitisesAndDropsAFailedInvitation) {
  DraftData draft;
  draft.to = "  ana@example.com\n";
  draft.subject = "Plan\r\n" + std::string(1000, 's');
  draft.body = "\n line one\n\tline two\x01\n";
  draft.html_body = "<p>x</p>";
  draft.calendar_ics = "BEGIN:VCALENDAR\r\n";
  const DraftAttachment ok{compose::content_identity_for(std::string(64, 'f')), "a.txt",
                           "text/plain", 1};
  draft.attachments = {ok, ok, {"bogus", "b.txt", "text/plain", 1}};
  apply(SaveDraft{draft});

  const DraftData stored = store::load_draft(doc_);
  EXPECT_EQ(stored.to, "ana@example.com");
  EXPECT_EQ(stored.subject, "Plan" + std::string(994, 's'));
  EXPECT_EQ(stored.body, "line one\n\tline two");
  EXPECT_EQ(stored.html_body, "<p>x</p>");
  EXPECT_FALSE(stored.calendar_ics.has_value());
  EXPECT_FALSE(doc_.get_string(*doc_.get_map(kRoot, "draft"), "calendar_ics").has_value());
  EXPECT_EQ(stored.attachments, std::vector<DraftAttachment>{ok});

  apply(DiscardDraft{});
  EXPECT_EQ(store::load_draft(doc_), DraftData{});
}

TEST(NormalizeIds, TrimsDropsAndCaps) {
  EXPECT_EQ(
      normalize_ids({" a ", "", "  ", "a", std::string(129, 'x'), std::string(128, 'y'), "b"}),
      (std::vector<std::string>{"a", std::string(128, 'y'), "b"}));
  std::vector<std::string> many;
  for (int i = 0; i < 300; ++i) many.push_back(std::to_string(i % 280));
  const auto kept = normalize_ids(many);
  ASSERT_EQ(kept.size(), 256u);
  EXPECT_EQ(kept.back(), "255");
}

TEST(SanitizeText, RemovesControlsTrimsAndCutsByCharacters) {
  struct Case {
    std::string in;
    std::size_t max;
    bool multi_line;
    std::string out;
  };
  const std::vector<Case> cases = {
      {"  plain  ", 10, false, "plain"},
      {"a\tb\r\nc", 10, false, "abc"},
      {"a\tb\r\nc", 10, true, "a\tb\r\nc"},
      {"\x01 padded \x02", 10, false, "padded"},
      {"x\xc2\x85y\x7f", 10, false, "xy"},
      {"ééééé", 3, false, "ééé"},
      {"ab cd", 3, false, "ab"},
      {"\u3000wide\u3000", 10, false, "wide"},
  };
  for (const auto& c : cases) EXPECT_EQ(sanitize_text(c.in, c.max, c.multi_line), c.out) << c.in;
}

TEST(MailActionFamily, DecodesAndAppliesThroughTheRegistry) {
  vexa::actions::Registry registry;
  register_mail_action_family(registry);
  ASSERT_TRUE(registry.has_family("mail.action"));
  auto doc = vexa::persist::open_memory();

  const auto bad = registry.dispatch({"mail.action", "Nonsense"}, *doc);
  ASSERT_FALSE(bad.has_value());
  EXPECT_TRUE(bad.error().starts_with("invalid mail action: ")) << bad.error();

  EXPECT_TRUE(registry.dispatch(encode(CreateFolder{"f", "Receipts"}), *doc).has_value());
  EXPECT_EQ(store::list_folders(*doc), (std::vector<store::UserFolder>{{"f", "Receipts"}}));
  EXPECT_EQ(registry.dispatch(encode(Purge{{}}), *doc).error(), kPurgeRefused);
}

}  // namespace
}  // namespace mail::automation
