#include <gtest/gtest.h>

#include "automation/mail_action.h"

namespace mail::automation {
namespace {

using nlohmann::json;

DraftData sample_draft() {
  DraftData d;
  d.to = "ana@example.com";
  d.subject = "Plan";
  d.calendar_ics = "ics";
  d.attachments = {{"mail-attachment:blake3:" + std::string(64, 'e'), "a.txt", "text/plain", 2}};
  return d;
}

TEST(MailActionJson, EachVariantHasItsShapeAndRoundTrips) {
  struct Case {
    MailAction action;
    std::uint8_t kind;
    json expected;
  };
  const std::vector<std::string> ids = {"id-1", "id-2"};
  const std::vector<Case> cases = {
      {SetRead{ids, true}, 0, {{"SetRead", {{"ids", ids}, {"read", true}}}}},
      {SetStarred{ids, false}, 1, {{"SetStarred", {{"ids", ids}, {"starred", false}}}}},
      {Move{ids, "trash"}, 2, {{"Move", {{"ids", ids}, {"folder", "trash"}}}}},
      {Purge{{}}, 3, {{"Purge", {{"ids", json::array()}}}}},
      {AddLabel{ids, "work"}, 4, {{"AddLabel", {{"ids", ids}, {"label", "work"}}}}},
      {RemoveLabel{ids, "work"}, 5, {{"RemoveLabel", {{"ids", ids}, {"label", "work"}}}}},
      {CreateFolder{"f", "Receipts"}, 6, {{"CreateFolder", {{"id", "f"}, {"name", "Receipts"}}}}},
      {RenameFolder{"f", "Bills"}, 7, {{"RenameFolder", {{"id", "f"}, {"name", "Bills"}}}}},
      {DeleteFolder{"f"}, 8, {{"DeleteFolder", {{"id", "f"}}}}},
      {SaveDraft{sample_draft()}, 9, {{"SaveDraft", to_json(sample_draft())}}},
      {DiscardDraft{}, 10, "DiscardDraft"},
  };
  for (const auto& c : cases) {
    const json encoded = to_json(c.action);
    EXPECT_EQ(kind(c.action), c.kind);
    EXPECT_EQ(encoded, c.expected) << encoded.dump();
    const auto decoded = mail_action_from_json(json::parse(encoded.dump()));
    ASSERT_TRUE(decoded.has_value()) << decoded.error();
    EXPECT_EQ(*decoded, c.action) << encoded.dump();
  }
  const auto wrapped = encode(DiscardDraft{});
  EXPECT_EQ(wrapped.operation_type, "mail.action");
  EXPECT_EQ(wrapped.value, "DiscardDraft");
}

TEST(MailActionJson, IgnoresUnknownFields) {
  const auto decoded =
      mail_action_from_json(json::parse(R"({"DeleteFolder":{"id":"f","extra":1}})"));
  ASSERT_TRUE(decoded.has_value()) << decoded.error();
  EXPECT_EQ(*decoded, MailAction(DeleteFolder{"f"}));
}

TEST(MailActionJson, RejectsMalformedValues) {
  for (std::string_view text : {
           R"(null)",
           R"(42)",
           R"("SetRead")",
           R"("Discard")",
           R"({})",
           R"({"SetRead":{"ids":["a"],"read":true},"Purge":{"ids":[]}})",
           R"({"Explode":{}})",
           R"({"DiscardDraft":null})",
           R"({"SetRead":["a"]})",
           R"({"SetRead":{"ids":["a"]}})",
           R"({"SetRead":{"ids":["a"],"read":"yes"}})",
           R"({"SetStarred":{"ids":"a","starred":true}})",
           R"({"Move":{"ids":[1],"folder":"trash"}})",
           R"({"AddLabel":{"ids":["a"],"label":null}})",
           R"({"CreateFolder":{"id":"f"}})",
           R"({"SaveDraft":{"to":""}})",
           R"({"SaveDraft":"draft"})",
       }) {
    const auto decoded = mail_action_from_json(json::parse(text));
    ASSERT_FALSE(decoded.has_value()) << text;
    EXPECT_TRUE(decoded.error().starts_with("invalid mail action: ")) << decoded.error();
  }
}

}  // namespace
}  // namespace mail::automation
