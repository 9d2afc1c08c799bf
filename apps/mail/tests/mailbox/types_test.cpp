#include "mailbox/types.h"

#include <gtest/gtest.h>

namespace mail {
namespace {

TEST(FolderRole, KeysParseExactly) {
  for (FolderRole role : kAllFolders) EXPECT_EQ(parse_folder_key(folder_key(role)), role);
  EXPECT_EQ(parse_folder_key("Trash"), std::nullopt);
  EXPECT_EQ(parse_folder_key(" trash"), std::nullopt);
  EXPECT_EQ(imap_mailbox(FolderRole::Starred), "INBOX");
  EXPECT_EQ(search_criteria(FolderRole::Starred), "FLAGGED");
}

TEST(Uuid, VersionFourTextRoundTrip) {
  Uuid id = new_uuid_v4();
  std::string text = uuid_text(id);
  ASSERT_EQ(text.size(), 36u);
  EXPECT_EQ(text[14], '4');
  EXPECT_NE(std::string("89ab").find(text[19]), std::string::npos);
  EXPECT_EQ(parse_uuid(text), id);
  EXPECT_EQ(parse_uuid("not-a-uuid"), std::nullopt);
  EXPECT_EQ(parse_uuid("0123456789abcdef0123456789abcdef0123"), std::nullopt);
  EXPECT_NE(new_uuid_v4(), id);
}

TEST(MessageIdentity, BracketsAndSpacesDoNotMatter) {
  EXPECT_EQ(message_id_from_header(" <abc@example.com> "), message_id_from_header("abc@example.com"));
  EXPECT_EQ(message_id_from_header("<<abc@example.com>>"), message_id_from_header("abc@example.com"));
  EXPECT_NE(message_id_from_header("abc@example.com"), message_id_from_header("ABC@example.com"));
  // FNV-1a of the empty input is the offset basis itself.
  EXPECT_EQ(uuid_text(message_id_from_header("<>")), "cbf29ce4-8422-2325-0102-030405060708");
}

}  // namespace
}  // namespace mail
