#include "compose/draft_message.h"

#include <gtest/gtest.h>

namespace mail::compose {
namespace {

TEST(DraftMessage, OneRecordForDraftsAndSent) {
  DraftData draft;
  draft.to = "Ben Ortiz <ben@example.org>; carla@example.net";
  draft.cc = "dev@example.com";
  draft.body = "Hello";
  draft.html_body = "<p>Hello</p>";
  const MailAddress sender{"ada@example.com", "Ada"};
  const MessageId id = new_uuid_v4();
  for (const char* subject : {"", "   ", "\t\r\n"}) {
    draft.subject = subject;
    EXPECT_EQ(message_from_draft(draft, sender, FolderRole::Sent, id, 7).subject, "(no subject)")
        << "a blank subject is no subject, wherever the draft is shown";
  }
  draft.subject = " Plans ";
  const MailMessage m = message_from_draft(draft, sender, FolderRole::Drafts, id, 7);
  EXPECT_EQ(m.subject, " Plans ");
  EXPECT_EQ(m.from, sender);
  EXPECT_EQ(m.to, (std::vector<MailAddress>{{"ben@example.org", "Ben Ortiz"},
                                            {"carla@example.net", std::nullopt}}));
  EXPECT_EQ(m.cc, (std::vector<MailAddress>{{"dev@example.com", std::nullopt}}));
  EXPECT_EQ(m.html, draft.html_body);
  EXPECT_EQ(m.folder, FolderRole::Drafts);
  EXPECT_EQ(m.id, id);
  EXPECT_EQ(m.time, 7);
  EXPECT_TRUE(m.seen);
}

}  // namespace
}  // namespace mail::compose
