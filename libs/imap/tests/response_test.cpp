#include <fmt/format.h>
#include <gtest/gtest.h>
#include <imap/response.h>

#include <string>
#include <vector>

namespace imap {
namespace {

std::string render(const Value& v) {
  switch (v.type) {
    case Value::Type::Atom:
      return v.text;
    case Value::Type::String:
      return fmt::format("{:?}", v.text);
    case Value::Type::Nil:
      return "NIL";
    case Value::Type::List: {
      std::string out = "(";
      for (const Value& item : v.items) {
        if (out.size() > 1) out += ' ';
        out += render(item);
      }
      return out + ")";
    }
  }
  return "?";
}

// "* 12 FETCH (...)", "A1 NO [CODE] text", "+ [code] text" with strings shown escaped.
std::string render(const Response& r) {
  std::string out = r.type == Response::Type::Tagged         ? r.tag
                    : r.type == Response::Type::Continuation ? "+"
                                                             : "*";
  if (r.number) out += fmt::format(" {}", *r.number);
  if (!r.keyword.empty()) out += " " + r.keyword;
  for (const Value& v : r.data) out += " " + render(v);
  if (!r.code.empty()) out += " [" + r.code + "]";
  if (!r.text.empty()) out += " text=" + fmt::format("{:?}", r.text);
  return out;
}

std::string render(const Result<Response>& r) {
  return r ? render(*r) : "error: " + r.error().text;
}

TEST(ParseResponse, Shapes) {
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"* OK [CAPABILITY IMAP4rev1 SASL-IR] Hello\r\n",
       R"(* OK [CAPABILITY IMAP4rev1 SASL-IR] text="Hello")"},
      {"a1 ok done\r\n", R"(a1 OK text="done")"},
      {"A1 OK\r\n", "A1 OK"},
      {"* BYE\r\n", "* BYE"},
      {"+\r\n", "+"},
      {"+ eyJzIjoiNDAxIn0=\r\n", R"(+ text="eyJzIjoiNDAxIn0=")"},
      {"+ [ALERT] go on\r\n", R"(+ [ALERT] text="go on")"},
      {"* 3 EXISTS\r\n", "* 3 EXISTS"},
      {"* search\n", "* SEARCH"},
      {"* SEARCH 1 2 \r\n", "* SEARCH 1 2"},
      {R"(* LIST (\HasNoChildren \*) "/" "a \"q\" \\ b")"
       "\r\n",
       R"(* LIST (\HasNoChildren \*) "/" "a \"q\" \\ b")"},
      {"* LIST () NIL nil\r\n", "* LIST () NIL NIL"},
      {"* 1 FETCH (BODY[HEADER.FIELDS (FROM TO)] {2}\r\nab BODY[]<0> \"\" X ((a) ()))\r\n",
       R"(* 1 FETCH (BODY[HEADER.FIELDS (FROM TO)] "ab" BODY[]<0> "" X ((a) ())))"},
      {"* 1 FETCH (BODY[] {3+}\r\n\r\nx)\r\n", R"(* 1 FETCH (BODY[] "\r\nx"))"},
      {"* X {2}\r\na\r\n", R"(* X "a\r")"},
      {"* XPROPRIETARY (not [balanced\r\n", R"(* XPROPRIETARY text="(not [balanced")"},
      {"* 4294967295 EXPUNGE\r\n", "* 4294967295 EXPUNGE"},
      // Malformed input is an error, never a guess.
      {"* OK hi", "error: malformed response: missing line end"},
      {"* 4294967296 EXPUNGE\r\n", "error: malformed response: number out of range"},
      {"* 3 OK hi\r\n", "error: malformed response: numbered status response"},
      {"A1 BYE\r\n", "error: malformed response: tagged response with BYE"},
      {"A*1 OK\r\n", "error: malformed response: invalid character in tag"},
      {"*OK\r\n", "error: malformed response: expected a space after '*'"},
      {"* OK [ALERT hi\r\n", "error: malformed response: unterminated response code"},
      {"* LIST (a \"b\r\n", "error: malformed response: unterminated quoted string"},
      {"* LIST (a\r\n", "error: malformed response: unterminated list"},
      {"* LIST )\r\n", "error: malformed response: unexpected ')'"},
      {"* LIST a)\r\n", "error: malformed response: expected a space between values"},
      {"* FETCH (BODY[ x)\r\n", "error: malformed response: unterminated section"},
      {"* SEARCH a\x01\r\n", "error: malformed response: control character in atom"},
      {"* FETCH {5}\r\nab\r\n", "error: malformed response: truncated literal"},
      {"* FETCH {x}\r\n", "error: malformed response: literal without a length"},
      {"* FETCH {3} x\r\n", "error: malformed response: literal length not at a line end"},
      {"* FETCH {999999999999}\r\n", "error: malformed response: literal too large"},
  };
  for (const auto& [bytes, want] : cases) {
    EXPECT_EQ(render(parse_response(bytes)), want) << fmt::format("{:?}", bytes);
  }
}

TEST(ParseResponse, NestingIsBounded) {
  ParserLimits limits;
  limits.max_depth = 3;
  EXPECT_TRUE(parse_response("* LIST (((a)))\r\n", limits));
  EXPECT_EQ(render(parse_response("* LIST ((((a))))\r\n", limits)),
            "error: malformed response: lists nested too deeply");
  // The default limit holds against a line that is nothing but parentheses.
  EXPECT_FALSE(parse_response("* LIST " + std::string(100000, '(') + "\r\n"));
}

std::vector<std::string> drain(ResponseParser& parser, std::string& error) {
  std::vector<std::string> out;
  while (true) {
    auto next = parser.next();
    if (!next) {
      error = next.error().text;
      return out;
    }
    if (!*next) return out;
    out.push_back(render(**next));
  }
}

TEST(ResponseParser, FramesByLiteralCountsWhateverTheChunking) {
  const std::string body = "Subject: x\r\n\r\nA1 OK done\r\n{5}\r\n";
  const std::string stream = "* 1 FETCH (UID 7 BODY[] {" + std::to_string(body.size()) + "}\r\n" +
                             body + " FLAGS (\\Seen))\r\n" + "A1 OK FETCH done\r\n";
  const std::vector<std::string> want = {
      R"(* 1 FETCH (UID 7 BODY[] "Subject: x\r\n\r\nA1 OK done\r\n{5}\r\n" FLAGS (\Seen)))",
      R"(A1 OK text="FETCH done")"};
  for (std::size_t chunk : {stream.size(), std::size_t{1}, std::size_t{7}}) {
    ResponseParser parser;
    std::vector<std::string> got;
    std::string error;
    for (std::size_t i = 0; i < stream.size(); i += chunk) {
      parser.feed(std::string_view(stream).substr(i, chunk));
      for (std::string& r : drain(parser, error)) got.push_back(std::move(r));
    }
    EXPECT_EQ(got, want) << "chunk " << chunk;
    EXPECT_EQ(error, "");
  }
}

TEST(ResponseParser, NeedsTheWholeLiteralBeforeAnswering) {
  ResponseParser parser;
  parser.feed("* 1 FETCH (BODY[] {10}\r\n0123");
  std::string error;
  EXPECT_TRUE(drain(parser, error).empty());
  parser.feed("456789)\r\n");
  EXPECT_EQ(drain(parser, error), std::vector<std::string>{R"(* 1 FETCH (BODY[] "0123456789"))"});
}

TEST(ResponseParser, LimitsAreProtocolErrorsAndFinal) {
  struct Case {
    const char* name;
    ParserLimits limits;
    std::string input;
    std::string error;
  };
  const std::vector<Case> cases = {
      {"line without end",
       {.max_line = 16},
       std::string(17, 'a'),
       "response line longer than 16 bytes"},
      {"long line",
       {.max_line = 16},
       "* SEARCH 1 2 3 4 5 6 7\r\n",
       "response line longer than 16 bytes"},
      {"long literal",
       {.max_literal = 4},
       "* 1 FETCH (BODY[] {5}\r\n",
       "literal of 5 bytes exceeds the limit of 4"},
      {"huge count", {}, "* 1 FETCH (BODY[] {99999999999999999999}\r\n", "literal too large"},
      {"many literals",
       {.max_response = 40},
       "* 1 FETCH (A {9}\r\n123456789 B {9}\r\n123456789 C {9}\r\n",
       "response larger than 40 bytes"},
      {"bad line", {}, "* 1 FETCH (UID\x7f)\r\n", "malformed response: control character in atom"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ResponseParser parser(c.limits);
    parser.feed(c.input);
    auto first = parser.next();
    ASSERT_FALSE(first);
    EXPECT_EQ(first.error().kind, Error::Kind::Protocol);
    EXPECT_EQ(first.error().text, c.error);
    parser.feed("* OK fine\r\n");
    EXPECT_FALSE(parser.next());
  }
}

TEST(Readers, Capabilities) {
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"* CAPABILITY IMAP4rev1 move\r\n", "IMAP4REV1 MOVE"},
      {"* OK [capability IMAP4rev1 UIDPLUS] hi\r\n", "IMAP4REV1 UIDPLUS"},
      {"A1 OK [CAPABILITY IMAP4rev1 MOVE] done\r\n", "IMAP4REV1 MOVE"},
      {"* OK [CAPABILITYX IMAP4rev1] hi\r\n", ""},
      {"* OK [ALERT] CAPABILITY hi\r\n", ""},
  };
  for (const auto& [bytes, want] : cases) {
    auto r = parse_response(bytes);
    ASSERT_TRUE(r) << bytes;
    EXPECT_EQ(fmt::format("{}", fmt::join(read_capabilities(*r), " ")), want) << bytes;
  }
}

TEST(Readers, RejectWrongShapes) {
  const std::vector<std::string> lists = {"* LIST \"/\" INBOX\r\n", "* LIST (a) (b) INBOX\r\n",
                                          "* LIST ((x)) \"/\" INBOX\r\n", "* SEARCH 1\r\n"};
  for (const std::string& bytes : lists) {
    EXPECT_FALSE(read_list(*parse_response(bytes))) << bytes;
  }
  const std::vector<std::string> fetches = {
      "* FETCH (UID 1)\r\n",           "* 1 FETCH UID 1\r\n",
      "* 1 FETCH (UID 0)\r\n",         "* 1 FETCH (UID x)\r\n",
      "* 1 FETCH (FLAGS \\Seen)\r\n",  "* 1 FETCH (FLAGS (\"s\"))\r\n",
      "* 1 FETCH (BODY[] (a))\r\n",    "* 1 FETCH ((UID) 1)\r\n",
      "* 1 FETCH (INTERNALDATE 5)\r\n"};
  for (const std::string& bytes : fetches) {
    EXPECT_FALSE(read_fetch(*parse_response(bytes))) << bytes;
  }
  EXPECT_FALSE(read_search(*parse_response("* SEARCH 1 (MODSEQ 3) 2\r\n")));
  EXPECT_EQ(read_search(*parse_response("* SEARCH 1 2 (MODSEQ 3)\r\n")).value(),
            (std::vector<std::uint32_t>{1, 2}));
}

TEST(InternalDate, Parses) {
  const std::vector<std::pair<std::string, std::optional<std::int64_t>>> cases = {
      {"01-Jan-1970 00:00:00 +0000", 0},
      {"17-Jul-1996 02:44:25 -0700", 837596665},
      {" 7-Jul-1996 02:44:25 +0000", 836707465},
      {"7-jul-1996 02:44:25 +0000", 836707465},
      {"01-Jan-2000 01:30:00 +0130", 946684800},
      {"29-Feb-2024 12:00:00 +0000", 1709208000},
      {"31-Dec-1969 23:59:59 +0000", -1},
      {"29-Feb-2023 12:00:00 +0000", std::nullopt},
      {"32-Jan-2024 12:00:00 +0000", std::nullopt},
      {"01-Foo-2024 12:00:00 +0000", std::nullopt},
      {"01-Jan-2024 24:00:00 +0000", std::nullopt},
      {"01-Jan-2024 12:00:00 0000", std::nullopt},
      {"01-Jan-2024 12:00:00 +0000 ", std::nullopt},
      {"01-Jan-2024 12:00 +0000", std::nullopt},
      {"", std::nullopt},
  };
  for (const auto& [text, want] : cases) EXPECT_EQ(parse_internal_date(text), want) << text;
}

}  // namespace
}  // namespace imap
