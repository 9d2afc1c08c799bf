#include <gtest/gtest.h>
#include <imap/command.h>

#include <string>
#include <vector>

namespace imap {
namespace {

struct QuoteCase {
  std::string value;
  Arg::Form astring_form;
  std::string astring_text;
  Arg::Form string_form;
  std::string string_text;
};

TEST(Arg, ChoosesTheFormTheBytesAllow) {
  using F = Arg::Form;
  const std::vector<QuoteCase> cases = {
      {"INBOX", F::Raw, "INBOX", F::Quoted, "\"INBOX\""},
      {"fred@example.com", F::Raw, "fred@example.com", F::Quoted, "\"fred@example.com\""},
      {"", F::Quoted, "\"\"", F::Quoted, "\"\""},
      {"nil", F::Quoted, "\"nil\"", F::Quoted, "\"nil\""},
      {"My Folder", F::Quoted, "\"My Folder\"", F::Quoted, "\"My Folder\""},
      {R"(a"b\c)", F::Quoted, R"("a\"b\\c")", F::Quoted, R"("a\"b\\c")"},
      {"*", F::Quoted, "\"*\"", F::Quoted, "\"*\""},
      {"a)b", F::Quoted, "\"a)b\"", F::Quoted, "\"a)b\""},
      {"{5}", F::Quoted, "\"{5}\"", F::Quoted, "\"{5}\""},
      {"x\r\nA2 LOGOUT", F::Literal, "x\r\nA2 LOGOUT", F::Literal, "x\r\nA2 LOGOUT"},
      {"lf\n", F::Literal, "lf\n", F::Literal, "lf\n"},
      {std::string("nul\0", 4), F::Literal, std::string("nul\0", 4), F::Literal,
       std::string("nul\0", 4)},
      {"tab\there", F::Literal, "tab\there", F::Literal, "tab\there"},
      {"Grüße", F::Literal, "Grüße", F::Literal, "Grüße"},
      {std::string(2000, 'a'), F::Raw, std::string(2000, 'a'), F::Literal, std::string(2000, 'a')},
  };
  for (const QuoteCase& c : cases) {
    SCOPED_TRACE(c.value);
    const Arg a = Arg::astring(c.value);
    EXPECT_EQ(a.form(), c.astring_form);
    EXPECT_EQ(a.text(), c.astring_text);
    const Arg s = Arg::string(c.value);
    EXPECT_EQ(s.form(), c.string_form);
    EXPECT_EQ(s.text(), c.string_text);
  }
}

TEST(Arg, SequenceSets) {
  const std::vector<std::pair<std::string, bool>> cases = {
      {"7", true},           {"1,5,9", true}, {"3:8", true}, {"1:*", true},
      {"4294967295", true},  {"", false},     {"0", false},  {"07", false},
      {"4294967296", false}, {"1,", false},   {",1", false}, {"1:2:3", false},
      {"1 2", false},        {"7)", false},   {"1:", false}, {"a", false},
  };
  for (const auto& [set, ok] : cases) EXPECT_EQ(is_sequence_set(set), ok) << set;
}

TEST(ArgDeathTest, KeywordAndSequenceSetStopOnBadInput) {
  EXPECT_DEATH(Arg::keyword("ALL\r\nA2 LOGOUT"), "keyword");
  EXPECT_DEATH(Arg::keyword(""), "keyword");
  EXPECT_DEATH(Arg::sequence_set("1 FLAGS"), "sequence set");
}

TEST(BuildCommand, SplitsAtLiterals) {
  struct Case {
    std::vector<Arg> args;
    std::vector<std::string> segments;
  };
  const std::vector<Case> cases = {
      {{}, {"A1 LOGIN\r\n"}},
      {{Arg::astring("fred"), Arg::astring("a b")}, {"A1 LOGIN fred \"a b\"\r\n"}},
      {{Arg::astring("fred"), Arg::astring("pä")}, {"A1 LOGIN fred {3}\r\n", "pä\r\n"}},
      {{Arg::astring("ä"), Arg::astring("x\ny")}, {"A1 LOGIN {2}\r\n", "ä {3}\r\n", "x\ny\r\n"}},
      {{Arg::astring("ö"), Arg::number(42)}, {"A1 LOGIN {2}\r\n", "ö 42\r\n"}},
  };
  for (const Case& c : cases) {
    const Command command = build_command("A1", "LOGIN", c.args);
    EXPECT_EQ(command.tag, "A1");
    EXPECT_EQ(command.verb, "LOGIN");
    EXPECT_EQ(command.segments, c.segments);
  }
}

}  // namespace
}  // namespace imap
