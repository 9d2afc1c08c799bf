#include "engine/envelope.h"

#include <gtest/gtest.h>

namespace mail::engine {
namespace {

TEST(ParsePlainAddress, AcceptsAddressesAndNamesTheBadPart) {
  struct Case {
    const char* text;
    std::string error;  // empty: valid
  };
  const std::vector<Case> cases = {
      {"ann@example.com", ""},
      {"first.last+tag@sub.example.co.uk", ""},
      {"\"ann example\"@example.com", ""},
      {"ann@[192.0.2.1]", ""},
      {"jürgen@bücher.example", ""},
      {"ann.example.com", "missing \"@\""},
      {"@example.com", "invalid user part"},
      {"ann..x@example.com", "invalid user part"},
      {".ann@example.com", "invalid user part"},
      {"ann example@example.com", "invalid user part"},
      {"Ann <ann@example.com>", "invalid user part"},
      {"ann@", "invalid domain part"},
      {"ann@exa mple.com", "invalid domain part"},
      {"ann@example..com", "invalid domain part"},
      {"ann@example.com\r\nRCPT TO:<x@y>", "invalid user part"},
      {"x@y>\r\nDATA", "invalid domain part"},
  };
  for (const auto& c : cases) {
    auto parsed = parse_plain_address(c.text);
    if (c.error.empty()) {
      EXPECT_TRUE(parsed) << c.text << ": " << parsed.error();
    } else {
      ASSERT_FALSE(parsed) << c.text;
      EXPECT_EQ(parsed.error(), c.error) << c.text;
    }
  }
}

TEST(BuildEnvelope, CollectsToCcBccInOrder) {
  StoredConfig account{.email = "  me@example.com "};
  DraftData draft{.to = "a@example.com; b@example.com, not valid",
                  .cc = "Cee <c@example.com>",
                  .bcc = "hidden@example.com, a@example.com"};
  auto envelope = build_envelope(account, draft);
  ASSERT_TRUE(envelope) << envelope.error();
  EXPECT_EQ(envelope->from, "me@example.com");
  EXPECT_EQ(envelope->recipients,
            (std::vector<std::string>{"a@example.com", "b@example.com", "c@example.com",
                                      "hidden@example.com", "a@example.com"}));
}

TEST(BuildEnvelope, Failures) {
  DraftData draft{.to = "a@example.com"};
  auto bad_from = build_envelope(StoredConfig{.email = "me"}, draft);
  ASSERT_FALSE(bad_from);
  EXPECT_EQ(bad_from.error(), "invalid From address: missing \"@\"");

  auto none = build_envelope(StoredConfig{.email = "me@example.com"},
                             DraftData{.to = "x, ;", .cc = "nobody", .bcc = "@"});
  ASSERT_FALSE(none);
  EXPECT_EQ(none.error(), "no valid recipients");
}

}  // namespace
}  // namespace mail::engine
