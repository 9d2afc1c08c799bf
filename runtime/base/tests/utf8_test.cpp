#include "vexa/utf8.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

const std::string R = "\uFFFD";

TEST(Utf8, RepairReplacesEachMaximalInvalidSubpartOnce) {
  struct Case {
    std::string in;
    std::string out;
  };
  const std::vector<Case> cases = {
      {"plain ascii", "plain ascii"},
      {"caf\u00e9 \u2603 \U0001F600", "caf\u00e9 \u2603 \U0001F600"},
      {"a\xE2\x82z", "a" + R + "z"},        // truncated 3-byte sequence: one
      {"a\xE2\x82", "a" + R},               // ... also at the very end
      {"\xFF\xFE", R + R},                  // bytes that never start a sequence: each
      {"\xC0\xAF", R + R},                  // overlong lead
      {"\xED\xA0\x80", R + R + R},          // surrogate: ED accepts only 80-9F next
      {"\xF4\x90\x80\x80", R + R + R + R},  // above U+10FFFF
      {"\xF0\x9F\x98", R},                  // emoji missing its last byte
      {"\xF0\x9F\x98"
       "A",
       R + "A"},                               // offending byte starts the next sequence
      {"\xE2\x82\xE2\x82\xAC", R + "\u20ac"},  // a good sequence right after a bad one
      {"\x80\x80", R + R},                     // stray continuation bytes
      {std::string("nul\0kept", 8), std::string("nul\0kept", 8)},
      {"0123456789abcdef\xC3", "0123456789abcdef" + R},  // past the eight-byte fast path
  };
  for (const Case& c : cases) {
    EXPECT_EQ(vexa::utf8::repair(c.in), c.out) << c.in;
    EXPECT_EQ(vexa::utf8::is_valid(c.in), c.in == c.out) << c.in;
    EXPECT_TRUE(vexa::utf8::is_valid(vexa::utf8::repair(c.in))) << c.in;
  }
}

TEST(Utf8, TrimSpaceRemovesUnicodeWhiteSpaceAtBothEndsOnly) {
  const struct {
    std::string_view in;
    std::string_view out;
  } cases[] = {
      {"", ""},
      {"  \t\r\n", ""},
      {" a b ", "a b"},
      {"\u00A0\u3000ada@example.test\u2003\u2028", "ada@example.test"},
      {"\u200Bx", "\u200Bx"},  // a zero-width space is not white space
      {"\xC2x ", "\xC2x"},     // an invalid byte ends the trimming
      {" \xE2\x80", "\xE2\x80"},
      {"\u00E9 ", "\u00E9"},
  };
  for (const auto& c : cases) EXPECT_EQ(vexa::utf8::trim_space(c.in), c.out) << c.in;
}

}  // namespace
