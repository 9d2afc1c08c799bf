#include <gtest/gtest.h>

#include "vexa/ui/date.h"
#include "vexa/ui/format.h"
#include "vexa/ui/text_selection.h"
#include "vexa/ui/uri.h"
#include "vexa/xml_escape.h"

namespace {

using Pairs = std::vector<std::pair<std::string, std::string>>;

TEST(Date, CivilDatesAndWeekdays) {
  struct Case {
    std::int64_t days;
    vexa::ui::date::CivilDate date;
    unsigned weekday;
  };
  const std::vector<Case> cases = {
      {0, {1970, 1, 1}, 4},     {-1, {1969, 12, 31}, 3},      {11016, {2000, 2, 29}, 2},
      {11017, {2000, 3, 1}, 3}, {-25508, {1900, 3, 1}, 4},    {19904, {2024, 6, 30}, 0},
      {-719468, {0, 3, 1}, 3},  {2932896, {9999, 12, 31}, 5},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(vexa::ui::date::civil_from_days(c.days), c.date) << c.days;
    EXPECT_EQ(vexa::ui::date::days_from_civil(c.date.year, c.date.month, c.date.day), c.days);
    EXPECT_EQ(vexa::ui::date::weekday(c.days), c.weekday) << c.days;
  }
  for (std::int64_t d = -800000; d <= 800000; d += 997) {
    const auto date = vexa::ui::date::civil_from_days(d);
    ASSERT_EQ(vexa::ui::date::days_from_civil(date.year, date.month, date.day), d);
  }
}

TEST(Format, Bytes) {
  const std::vector<std::pair<std::uint64_t, std::string>> cases = {
      {0, "0 B"},
      {512, "512 B"},
      {1023, "1023 B"},
      {1024, "1.0 KB"},
      {1536, "1.5 KB"},
      {1048575, "1.0 MB"},
      {2 * 1048576, "2.0 MB"},
      {1073741824, "1.0 GB"},
      {5ull * 1099511627776ull, "5120.0 GB"},
  };
  for (const auto& [count, text] : cases) EXPECT_EQ(vexa::ui::format::bytes(count), text) << count;
}

TEST(Uri, EncodeComponentKeepsOnlyUnreserved) {
  EXPECT_EQ(vexa::ui::uri::encode_component("AZaz09-._~"), "AZaz09-._~");
  EXPECT_EQ(vexa::ui::uri::encode_component("a b&c=d/é+"), "a%20b%26c%3Dd%2F%C3%A9%2B");
  EXPECT_EQ(vexa::ui::uri::encode_component(std::string_view("\0\xff", 2)), "%00%FF");
}

TEST(Uri, ParseFormQuery) {
  struct Case {
    const char* query;
    Pairs pairs;
  };
  const std::vector<Case> cases = {
      {"code=4%2F0Ab&state=xyz", {{"code", "4/0Ab"}, {"state", "xyz"}}},
      {"error=access_denied&code=1", {{"error", "access_denied"}, {"code", "1"}}},
      {"a+b=c+d%20e", {{"a b", "c d e"}}},
      {"flag&&x=", {{"flag", ""}, {"x", ""}}},
      {"x=a=b", {{"x", "a=b"}}},
      {"bad=%zz%4%", {{"bad", "%zz%4%"}}},
      {"plus=%2B", {{"plus", "+"}}},
      {"u=%C3%A9", {{"u", "é"}}},
      {"u=%FF", {{"u", "\xEF\xBF\xBD"}}},
      {"u=%C3", {{"u", "\xEF\xBF\xBD"}}},
      {"u=%E2%82x", {{"u", "\xEF\xBF\xBDx"}}},
      {"u=%ED%A0%80", {{"u", "\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD"}}},
      {"", {}},
  };
  for (const auto& c : cases)
    EXPECT_EQ(vexa::ui::uri::parse_form_query(c.query), c.pairs) << c.query;
}

TEST(TextSelection, StepsByCodePoint) {
  const std::string text =
      "a\xC3\xA9\xE2\x82\xAC\xF0\x9F\x93\x8E"
      "b";  // a é € 📎 b
  const std::vector<std::size_t> boundaries = {0, 1, 3, 6, 10, 11};
  for (std::size_t i = 0; i + 1 < boundaries.size(); ++i) {
    EXPECT_EQ(vexa::ui::text_selection::next_char_boundary(text, boundaries[i]), boundaries[i + 1]);
    EXPECT_EQ(vexa::ui::text_selection::prev_char_boundary(text, boundaries[i + 1]), boundaries[i]);
  }
  EXPECT_EQ(vexa::ui::text_selection::next_char_boundary(text, 11), 11u);
  EXPECT_EQ(vexa::ui::text_selection::next_char_boundary(text, 99), 11u);
  EXPECT_EQ(vexa::ui::text_selection::prev_char_boundary(text, 0), 0u);
  EXPECT_EQ(vexa::ui::text_selection::prev_char_boundary(text, 99), 10u);

  // Malformed bytes step one at a time, so the caret never gets stuck or skips text.
  const std::string broken = "\xE2\x82x\x80\x80";
  EXPECT_EQ(vexa::ui::text_selection::next_char_boundary(broken, 0), 1u);
  EXPECT_EQ(vexa::ui::text_selection::prev_char_boundary(broken, 5), 4u);
  EXPECT_EQ(vexa::ui::text_selection::prev_char_boundary(broken, 2), 1u);
}

TEST(XmlEscape, TextAndAttributes) {
  EXPECT_EQ(vexa::xml_escape::escape_text("a<b>&\"'"), "a&lt;b&gt;&amp;\"'");
  EXPECT_EQ(vexa::xml_escape::escape_attr("a<b>&\"'"), "a&lt;b&gt;&amp;&quot;&#39;");
}

}  // namespace
