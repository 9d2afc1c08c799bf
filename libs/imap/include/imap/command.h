#pragma once
// Building command lines. Caller values are never pasted in: each goes out as an atom, a quoted
// string or a synchronising literal, whichever its bytes allow. CR and LF never enter a quoted
// string.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace imap {

// One argument of a command.
class Arg {
 public:
  // A protocol keyword or fixed syntax chosen by our own code ("HEADER", "(\\Seen)",
  // "(UID FLAGS INTERNALDATE BODY.PEEK[])"). Must be non-empty printable ASCII without CR/LF;
  // anything else is a programming error and stops the process.
  static Arg keyword(std::string_view text);
  // A value from outside (user name, password, mailbox, header value): atom when every byte is an
  // atom character and it is not "NIL"-like ambiguous, quoted when it is 7-bit printable, literal
  // otherwise (8-bit bytes, CR, LF, NUL, or very long).
  static Arg astring(std::string_view value);
  // Like astring, but never an atom (for SEARCH string arguments).
  static Arg string(std::string_view value);
  static Arg number(std::uint64_t value);
  // A sequence set of UIDs ("7", "1,5,9", "3:8"); stops the process on anything else.
  static Arg sequence_set(std::string_view set);

  enum class Form : std::uint8_t { Raw, Quoted, Literal };
  Form form() const { return form_; }
  const std::string& text() const { return text_; }

 private:
  Form form_ = Form::Raw;
  std::string text_;  // Raw: as sent; Quoted: already escaped with quotes; Literal: the bytes
};

// True for a well-formed sequence set: numbers 1..2^32-1 or "*", ranges "a:b", joined by ",".
bool is_sequence_set(std::string_view set);

// A command ready to send, split where the server must say "+" before a literal's bytes follow.
// Segment i (i > 0) begins with the bytes of literal i-1; every segment but the last ends with
// "{N}\r\n"; the last ends with "\r\n".
struct Command {
  std::string tag;
  std::string verb;  // "UID FETCH", for error texts
  std::vector<std::string> segments;
};

Command build_command(std::string tag, std::string_view verb, const std::vector<Arg>& args);

// "A1", "A2", ... one counter per connection.
class TagCounter {
 public:
  std::string next();

 private:
  std::uint64_t n_ = 0;
};

}  // namespace imap
