#include "scenes/sample_mailbox.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <set>
#include <string>

#include "resources/embedded_files.h"

namespace mail::core {
namespace {

constexpr std::int64_t kNow = 28'500'000;  // minutes; any recent instant

class SampleMailboxTest : public ::testing::Test {
 protected:
  SampleMailbox sample_ = load_sample_mailbox(kNow);

  std::vector<const MailMessage*> all() const {
    std::vector<const MailMessage*> out;
    for (const auto& list : sample_.account_messages) {
      for (const MailMessage& m : list) out.push_back(&m);
    }
    return out;
  }
};

TEST_F(SampleMailboxTest, EveryEmbeddedMessageIsLoaded) {
  std::size_t eml = 0;
  for (const auto& [name, bytes] : mail::resources::all()) eml += name.ends_with(".eml");
  EXPECT_EQ(all().size(), eml);
  ASSERT_EQ(sample_.accounts.size(), 2u);
  ASSERT_EQ(sample_.account_messages.size(), 2u);
  EXPECT_EQ(sample_.messages, sample_.account_messages[0]);
  EXPECT_FALSE(sample_.account_messages[1].empty());
  for (const StoredConfig& account : sample_.accounts) {
    EXPECT_TRUE(account.email.ends_with(".example.com") ||
                account.email.ends_with("@example.com") ||
                account.email.ends_with("@example.net") || account.email.ends_with("@example.org"))
        << account.email;
    EXPECT_TRUE(account.secret.empty());
  }
}

TEST_F(SampleMailboxTest, IdentitiesAreStableAndDistinct) {
  std::set<MessageId> ids;
  for (const MailMessage* m : all()) {
    EXPECT_TRUE(m->message_id) << m->subject;
    ids.insert(m->id);
  }
  EXPECT_EQ(ids.size(), all().size());
  EXPECT_EQ(load_sample_mailbox(kNow).messages, sample_.messages);
}

TEST_F(SampleMailboxTest, TimesAreRecentAndInThePast) {
  std::int64_t newest = 0;
  for (const MailMessage* m : all()) {
    EXPECT_LT(m->time, kNow) << m->subject;
    newest = std::max(newest, m->time);
  }
  EXPECT_GE(newest, kNow - 60);
  // Shifting keeps the spacing: a later "now" moves everything by the same amount.
  SampleMailbox later = load_sample_mailbox(kNow + 100);
  ASSERT_EQ(later.messages.size(), sample_.messages.size());
  for (std::size_t i = 0; i < later.messages.size(); ++i) {
    EXPECT_EQ(later.messages[i].time, sample_.messages[i].time + 100);
  }
}

TEST_F(SampleMailboxTest, CoversWhatTheScenesShow) {
  const std::vector<MailMessage>& mine = sample_.messages;
  const auto any = [&](auto pred) { return std::ranges::any_of(mine, pred); };

  std::map<std::string, int> threads;
  for (const MailMessage& m : mine) {
    if (m.thread_key) ++threads[*m.thread_key];
  }
  EXPECT_TRUE(std::ranges::any_of(threads, [](const auto& t) { return t.second >= 2; }))
      << "a conversation of several messages";

  EXPECT_TRUE(any([](const MailMessage& m) {
    return m.html && m.html->find("src=\"https://") != std::string::npos && !m.body_text.empty() &&
           m.body_text.find('<') == std::string::npos;
  })) << "an HTML-only newsletter with remote images";

  EXPECT_TRUE(any([](const MailMessage& m) {
    return std::ranges::any_of(m.attachments, [](const MessageAttachment& a) {
      return a.mime == "application/pdf" && a.downloaded && a.size == a.content.size();
    });
  })) << "a message with an attachment";

  EXPECT_TRUE(any([](const MailMessage& m) {
    return std::ranges::any_of(m.attachments, [](const MessageAttachment& a) {
      std::string text(a.content.begin(), a.content.end());
      return a.mime == "text/calendar" && text.find("METHOD:REQUEST") != std::string::npos;
    });
  })) << "a calendar invitation";

  EXPECT_TRUE(any([](const MailMessage& m) {
    std::string lower = m.subject;
    std::ranges::transform(lower, lower.begin(), [](unsigned char c) { return std::tolower(c); });
    return lower.find("spatial") != std::string::npos;
  })) << "a subject the search scene finds";

  for (FolderRole folder : {FolderRole::Inbox, FolderRole::Sent, FolderRole::Archive,
                            FolderRole::Trash, FolderRole::Junk}) {
    EXPECT_TRUE(any([&](const MailMessage& m) { return m.folder == folder; }))
        << display_name(folder);
  }
  EXPECT_TRUE(any([](const MailMessage& m) { return !m.seen && m.folder == FolderRole::Inbox; }));
  EXPECT_TRUE(any([](const MailMessage& m) { return m.starred; }));
}

TEST_F(SampleMailboxTest, EncodedHeadersAreDecoded) {
  bool non_ascii = false;
  for (const MailMessage* m : all()) {
    EXPECT_EQ(m->subject.find("=?"), std::string::npos) << m->subject;
    if (m->from.name) {
      EXPECT_EQ(m->from.name->find("=?"), std::string::npos) << *m->from.name;
    }
    non_ascii |= std::ranges::any_of(m->subject, [](char c) { return c & 0x80; });
  }
  EXPECT_TRUE(non_ascii);
}

}  // namespace
}  // namespace mail::core
