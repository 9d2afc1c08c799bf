#include "views/pane_texts.h"

#include <gtest/gtest.h>

#include "vexa/ui/date.h"
#include "views/avatar_picture.h"
#include "views/date_labels.h"

namespace mail::views {
namespace {

std::int64_t minute_at(std::int64_t year, unsigned month, unsigned day, int hour, int minute) {
  return vexa::ui::date::days_from_civil(year, month, day) * 1440 + hour * 60 + minute;
}

TEST(RowDateLabel, FollowsDistanceFromToday) {
  const std::int64_t now = minute_at(2026, 6, 30, 10, 0);
  struct Case {
    std::int64_t message;
    std::int64_t now;
    const char* label;
  };
  const std::vector<Case> cases = {
      {minute_at(2026, 6, 30, 7, 4), now, "07:04"},
      {minute_at(2026, 6, 29, 23, 59), minute_at(2026, 6, 30, 0, 1), "Yesterday"},
      {minute_at(2026, 6, 28, 12, 0), now, "Sun"},
      {minute_at(2026, 6, 24, 0, 0), now, "Wed"},
      {minute_at(2026, 6, 23, 23, 59), now, "Jun 23"},
      {minute_at(2026, 7, 1, 9, 0), now, "Jul 1"},
      {minute_at(2025, 12, 31, 23, 0), now, "Dec 31"},
      // Before the epoch the day still starts at midnight, not at the nearest multiple.
      {-1, 0, "Yesterday"},
      {-1, -2, "23:59"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(row_date_label(c.message, c.now), c.label) << c.message << " at " << c.now;
  }
}

TEST(FullDate, ShowsYearAndPaddedTime) {
  EXPECT_EQ(full_date(minute_at(2026, 1, 5, 9, 7)), "Jan 5, 2026, 09:07");
  EXPECT_EQ(full_date(minute_at(2026, 6, 30, 23, 30)), "Jun 30, 2026, 23:30");
}

TEST(AvatarPictureUrl, HashesTheTrimmedLowerCaseAddress) {
  const std::string expected =
      "https://www.gravatar.com/avatar/0cba00ca3da1b283a57287bcceb17e35?s=96&d=404";
  EXPECT_EQ(avatar_picture_url("jane.doe@example.com"), expected);
  EXPECT_EQ(avatar_picture_url("  Jane.Doe@Example.COM\t"), expected);
}

TEST(CountTexts, UseSingularOnlyForOne) {
  EXPECT_EQ(attachment_heading(1), "1 attachment");
  EXPECT_EQ(attachment_heading(2), "2 attachments");
  EXPECT_EQ(conversation_count_line(1, "Inbox"), "1 message · Inbox");
  EXPECT_EQ(conversation_count_line(3, "Sent"), "3 messages · Sent");
  EXPECT_EQ(selected_title(1), "1 message selected");
  EXPECT_EQ(selected_title(0), "0 messages selected");
  EXPECT_EQ(bulk_count_text(BulkAction::Archive, 3), "Archived 3 messages");
  EXPECT_EQ(bulk_count_text(BulkAction::MoveToTrash, 1), "Moved 1 message to Trash");
  EXPECT_EQ(bulk_count_text(BulkAction::MarkRead, 2), "Marked 2 messages read");
  EXPECT_EQ(bulk_count_text(BulkAction::MarkUnread, 1), "Marked 1 message unread");
}

TEST(Snippet, TakesFirstNonBlankLineCollapsed) {
  struct Case {
    const char* body;
    const char* snippet;
  };
  const std::vector<Case> cases = {
      {"Hello there", "Hello there"},
      {"\n  \t\n   Lunch   at\t noon  \nsecond line", "Lunch at noon"},
      {"line\r\nnext", "line"},
      {"   \n\n", ""},
      {"", ""},
  };
  for (const Case& c : cases) EXPECT_EQ(snippet(c.body), c.snippet) << c.body;
}

TEST(EmptyListText, PicksFirstMatchingCondition) {
  struct Case {
    bool loaded;
    bool account;
    bool query_empty;
    const char* title;
  };
  const std::vector<Case> cases = {
      {false, false, true, "Connect your email"},
      {false, false, false, "Connect your email"},
      {false, true, false, "Your inbox is ready"},
      {true, false, true, "No messages in this folder"},
      {true, true, false, "No matching messages"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(empty_list_text(c.loaded, c.account, c.query_empty).title, c.title);
  }
  EXPECT_EQ(empty_list_text(true, true, false).body, "Try another sender, subject, or keyword.");
  EXPECT_EQ(empty_list_text(false, false, true).body,
            "Use Add account in the sidebar to start sending and receiving messages.");
}

TEST(StatusTone, ErrorsBeforeWarningsBeforeProgress) {
  struct Case {
    const char* text;
    int tone;
  };
  const std::vector<Case> cases = {
      {"Couldn\u2019t save the draft", 3}, {"Sync failed: timeout", 3}, {"Couldn't connect", 3},
      {"Sending isn't available here", 2}, {"Syncing Inbox…", 0},       {"Connecting to server", 0},
      {"Archived 3 messages", 1},
  };
  for (const Case& c : cases) EXPECT_EQ(status_tone(c.text), c.tone) << c.text;
}

}  // namespace
}  // namespace mail::views
