#include "compose/recipients.h"

#include <gtest/gtest.h>

namespace mail::compose {
namespace {

TEST(ParseRecipients, SplitsTrimsAndReadsAngleBrackets) {
  struct Case {
    const char* text;
    std::vector<Recipient> recipients;
  };
  const std::vector<Case> cases = {
      {"", {}},
      {" , ;, ", {}},
      {"Ann Example <ann@example.com>; bo@example.com,,",
       {{"Ann Example", "ann@example.com"}, {std::nullopt, "bo@example.com"}}},
      {"\"Example, Ann\" <ann@example.com>",  // a comma splits even inside quotes
       {{std::nullopt, "\"Example"}, {"Ann\"", "ann@example.com"}}},
      {"\"Ann Example\" <ann@example.com>", {{"Ann Example", "ann@example.com"}}},
      {"  <ann@example.com>  ", {{std::nullopt, "ann@example.com"}}},
      {"\"\" < ann@example.com >", {{std::nullopt, "ann@example.com"}}},
      {"Ann <ann@example.com> trailing", {{"Ann", "ann@example.com"}}},
      {"Ann <ann@example.com", {{std::nullopt, "Ann <ann@example.com"}}},
      {"ann@example.com> <", {{std::nullopt, "ann@example.com> <"}}},
      {"Ann <a<b>c>", {{"Ann", "a<b"}}},
      {"not an address", {{std::nullopt, "not an address"}}},
  };
  for (const auto& c : cases) EXPECT_EQ(parse_recipients(c.text), c.recipients) << c.text;
}

}  // namespace
}  // namespace mail::compose
