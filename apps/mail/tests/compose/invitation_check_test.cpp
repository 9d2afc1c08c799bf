#include "compose/invitation_check.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace mail::compose {
namespace {

// Joins lines with CRLF, each line terminated.
std::string ics(const std::vector<std::string>& lines) {
  std::string out;
  for (const auto& line : lines) out += line + "\r\n";
  return out;
}

std::vector<std::string> event(const std::string& uid_line) {
  return {"BEGIN:VEVENT", uid_line, "DTSTART:20250101T100000Z", "END:VEVENT"};
}

std::string calendar(const std::string& method,
                     const std::vector<std::vector<std::string>>& parts) {
  std::vector<std::string> lines = {"BEGIN:VCALENDAR", "VERSION:2.0", method};
  for (const auto& part : parts) lines.insert(lines.end(), part.begin(), part.end());
  lines.push_back("END:VCALENDAR");
  return ics(lines);
}

TEST(InvitationAccepted, AppliesTheBoundedRequestRule) {
  struct Case {
    std::string what;
    std::string text;
    bool accepted;
  };
  const std::string good = calendar("METHOD:REQUEST", {event("UID:a@x")});
  std::string bare_lf_end = good;
  bare_lf_end.erase(bare_lf_end.size() - 2, 1);
  std::string bare_cr_inside = good;
  bare_cr_inside.insert(bare_cr_inside.find("VERSION"), "\r");
  const std::vector<Case> cases = {
      {"one event", good, true},
      {"lower-case request with spaces", calendar("METHOD: request ", {event("UID:a@x")}), true},
      {"parameters and a quoted colon",
       calendar("METHOD;X-A=\"b:c\";Y=1,2:REQUEST", {event("UID:a")}), true},
      {"folded UID line",
       ics({"BEGIN:VCALENDAR", "METHOD:REQUEST", "BEGIN:VEVENT", "UID:a", " b", "END:VEVENT",
            "BEGIN:VEVENT", "UID:ab", "END:VEVENT", "END:VCALENDAR"}),
       true},
      {"two events with one UID", calendar("METHOD:REQUEST", {event("UID:a"), event("UID:a")}),
       true},
      {"event inside a timezone needs no UID",
       calendar(
           "METHOD:REQUEST",
           {{"BEGIN:VTIMEZONE", "BEGIN:VEVENT", "END:VEVENT", "END:VTIMEZONE"}, event("UID:a")}),
       true},
      {"publish", calendar("METHOD:PUBLISH", {event("UID:a")}), false},
      {"no method", calendar("VERSION:2.0", {event("UID:a")}), false},
      {"last method decides", calendar("METHOD:REQUEST\r\nMETHOD:CANCEL", {event("UID:a")}), false},
      {"two UIDs", calendar("METHOD:REQUEST", {event("UID:a"), event("UID:b")}), false},
      {"event without UID", calendar("METHOD:REQUEST", {event("SUMMARY:x")}), false},
      {"empty UID", calendar("METHOD:REQUEST", {event("UID:  ")}), false},
      {"no event", calendar("METHOD:REQUEST", {}), false},
      {"only a nested event",
       calendar("METHOD:REQUEST",
                {{"BEGIN:VTODO", "BEGIN:VEVENT", "UID:a", "END:VEVENT", "END:VTODO"}}),
       false},
      {"two calendars", good + good, false},
      {"line before the calendar", "METHOD:REQUEST\r\n" + good, false},
      {"line after the calendar", good + "X-A:b\r\n", false},
      {"unclosed", good.substr(0, good.size() - std::string("END:VCALENDAR\r\n").size()), false},
      {"mismatched END", calendar("METHOD:REQUEST", {{"BEGIN:VEVENT", "UID:a", "END:VTODO"}}),
       false},
      {"outer component is not a calendar", ics({"BEGIN:VEVENT", "UID:a", "END:VEVENT"}), false},
      {"ends with a bare LF", bare_lf_end, false},
      {"bare CR inside", bare_cr_inside, false},
      {"line without a colon", calendar("METHOD:REQUEST\r\nNOCOLON", {event("UID:a")}), false},
      {"empty line", calendar("METHOD:REQUEST\r\n", {event("UID:a")}), false},
      {"leading continuation", " x\r\n" + good, false},
      {"NUL", calendar("METHOD:REQUEST", {event(std::string("UID:a\0b", 7))}), false},
      {"empty", "", false},
  };
  for (const auto& c : cases) EXPECT_EQ(invitation_accepted(c.text), c.accepted) << c.what;
}

TEST(InvitationAccepted, LimitsTheSize) {
  const std::string head = "BEGIN:VCALENDAR\r\nMETHOD:REQUEST\r\nBEGIN:VEVENT\r\nUID:a\r\nX-P:";
  const std::string tail = "\r\nEND:VEVENT\r\nEND:VCALENDAR\r\n";
  const std::string at_limit =
      head + std::string(kMaxInvitationBytes - head.size() - tail.size(), 'x') + tail;
  EXPECT_TRUE(invitation_accepted(at_limit));
  EXPECT_FALSE(invitation_accepted(head + "x" + at_limit.substr(head.size())));
}

}  // namespace
}  // namespace mail::compose
