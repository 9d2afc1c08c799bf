#pragma once
// Server responses: framing by literal byte counts (a body that contains "A1 OK" cannot end a
// response), a generic value tree, and readers for the data we use.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "imap/error.h"

namespace imap {

// One element of response data.
struct Value {
  enum class Type : std::uint8_t { Atom, String, Nil, List };
  Type type = Type::Atom;
  // Atom: as sent, including any "[section]" and "<partial>" suffix (e.g. "BODY[]", "\\Seen");
  // String: decoded content of a quoted string or the literal's bytes.
  std::string text;
  std::vector<Value> items;  // List
};

struct Response {
  enum class Type : std::uint8_t { Untagged, Tagged, Continuation };
  Type type = Type::Untagged;
  std::string tag;  // Tagged only
  // Status responses: "OK", "NO", "BAD", "PREAUTH", "BYE". Data responses: the keyword in upper
  // case ("FETCH", "LIST", "SEARCH", "CAPABILITY", "EXISTS", "FLAGS", ...).
  std::string keyword;
  std::optional<std::uint32_t> number;  // "* 12 FETCH" / "* 3 EXISTS"
  std::vector<Value> data;              // data responses: everything after the keyword
  std::string code;                     // status/continuation: response code without brackets
  std::string text;                     // status/continuation: the human-readable text
  bool is_status() const;
};

struct ParserLimits {
  std::size_t max_line = 1 << 20;         // bytes of a line outside literals
  std::size_t max_literal = 256u << 20;   // bytes of one literal
  std::size_t max_depth = 64;             // parenthesis nesting
  std::size_t max_response = 320u << 20;  // bytes of one response, literals included
};

// Incremental: feed bytes as they arrive, take complete responses out. Work is linear in the
// input: literal bytes are skipped by count, never scanned.
class ResponseParser {
 public:
  explicit ResponseParser(ParserLimits limits = {});
  void feed(std::string_view bytes);
  // The next complete response, nullopt when more bytes are needed, or a Protocol error (after
  // which the parser is unusable).
  Result<std::optional<Response>> next();

 private:
  ParserLimits limits_;
  std::string buffer_;
  std::size_t start_ = 0;       // first byte of the response being framed
  std::size_t scan_ = 0;        // where framing resumes (may lie past the buffer mid-literal)
  std::size_t line_start_ = 0;  // first byte of the current line outside literals
  bool failed_ = false;
  std::string error_;

  Error fail(std::string text);
  void compact();
};

// Parses one complete response (the bytes of exactly one response, CRLF included). Exposed for
// tests and the fuzzer.
Result<Response> parse_response(std::string_view bytes, const ParserLimits& limits = {});

struct FetchData {
  std::uint32_t sequence = 0;
  std::optional<std::uint32_t> uid;
  std::optional<std::vector<std::string>> flags;
  std::optional<std::string> internal_date;  // as sent, e.g. "17-Jul-1996 02:44:25 -0700"
  std::optional<std::string> body;           // BODY[] (the whole message)
};

struct ListEntry {
  std::vector<std::string> attributes;
  std::string delimiter;  // empty for NIL
  std::string name;       // as sent (modified UTF-7 is not decoded)
};

struct SelectInfo {
  std::uint32_t exists = 0;
  std::optional<std::uint32_t> uid_validity;
  std::optional<std::uint32_t> uid_next;
};

Result<FetchData> read_fetch(const Response& response);
Result<FetchData> read_fetch(Response&& response);  // moves the body out instead of copying
Result<ListEntry> read_list(const Response& response);
Result<std::vector<std::uint32_t>> read_search(const Response& response);
std::vector<std::string> read_capabilities(const Response& response);  // data or [CAPABILITY ...]

// Seconds since the Unix epoch of an INTERNALDATE ("dd-Mon-yyyy hh:mm:ss +zzzz"); nullopt when
// malformed.
std::optional<std::int64_t> parse_internal_date(std::string_view text);

}  // namespace imap
