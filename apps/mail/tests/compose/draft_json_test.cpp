#include <gtest/gtest.h>

#include <functional>
#include <limits>

#include "compose/draft.h"

namespace mail {
namespace {

using nlohmann::json;

DraftData full_draft() {
  DraftData d;
  d.to = "ana@example.com";
  d.cc = "ben@example.com";
  d.bcc = "";
  d.subject = "Plan";
  d.body = "Hello\nthere";
  d.html_body = "<p>Hello</p>";
  d.calendar_ics = "BEGIN:VCALENDAR\r\n";
  d.attachments = {{"mail-attachment:blake3:" + std::string(64, 'b'), "a.pdf", "application/pdf",
                    std::numeric_limits<std::uint64_t>::max()}};
  return d;
}

TEST(DraftJson, WritesEveryMemberWithNullForAbsentOptionals) {
  DraftData d;
  d.subject = "s";
  EXPECT_EQ(to_json(d), json::parse(R"({"to":"","cc":"","bcc":"","subject":"s","body":"",)"
                                    R"("html_body":null,"calendar_ics":null,"attachments":[]})"));
  // The stored text keeps the record's member order.
  EXPECT_EQ(attachments_to_json_text({{"id", "f", "m", 7}}),
            R"([{"content_id":"id","filename":"f","mime":"m","size":7}])");
}

TEST(DraftJson, RoundTripsThroughText) {
  for (DraftData d : {DraftData{}, full_draft()}) {
    const auto back = draft_from_json(json::parse(to_json(d).dump()));
    ASSERT_TRUE(back.has_value()) << back.error();
    EXPECT_EQ(*back, d);
  }
}

TEST(DraftJson, MissingOrNullOptionalsReadAsAbsent) {
  json v = to_json(full_draft());
  v.erase("html_body");
  v["calendar_ics"] = nullptr;
  const auto d = draft_from_json(v);
  ASSERT_TRUE(d.has_value()) << d.error();
  EXPECT_FALSE(d->html_body.has_value());
  EXPECT_FALSE(d->calendar_ics.has_value());
}

TEST(DraftJson, RejectsWrongShapes) {
  struct Case {
    std::string what;
    std::function<void(json&)> change;
  };
  const std::vector<Case> cases = {
      {"not an object", [](json& v) { v = json::array(); }},
      {"missing to", [](json& v) { v.erase("to"); }},
      {"subject a number", [](json& v) { v["subject"] = 3; }},
      {"html_body a boolean", [](json& v) { v["html_body"] = true; }},
      {"missing attachments", [](json& v) { v.erase("attachments"); }},
      {"attachments an object", [](json& v) { v["attachments"] = json::object(); }},
      {"attachment not an object", [](json& v) { v["attachments"][0] = "a"; }},
      {"attachment without mime", [](json& v) { v["attachments"][0].erase("mime"); }},
      {"negative size", [](json& v) { v["attachments"][0]["size"] = -1; }},
      {"fractional size", [](json& v) { v["attachments"][0]["size"] = 1.5; }},
      {"size as text", [](json& v) { v["attachments"][0]["size"] = "3"; }},
  };
  for (const auto& c : cases) {
    json v = to_json(full_draft());
    c.change(v);
    EXPECT_FALSE(draft_from_json(v).has_value()) << c.what;
  }
}

TEST(AttachmentListText, RoundTripsAndRejectsAnythingButAnArrayOfRecords) {
  const auto list = full_draft().attachments;
  EXPECT_EQ(attachments_from_json_text(attachments_to_json_text(list)), list);
  EXPECT_EQ(attachments_from_json_text("[]"), std::vector<DraftAttachment>{});
  for (std::string_view bad : {"", "[", "{}", "[1]", R"([{"content_id":"x"}])"}) {
    EXPECT_FALSE(attachments_from_json_text(bad).has_value()) << bad;
  }
}

}  // namespace
}  // namespace mail
