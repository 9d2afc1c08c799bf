#include "imap/response.h"

#include <fmt/format.h>

#include <utility>

namespace imap {

namespace {

bool is_ctl(unsigned char c) { return c < 0x20 || c == 0x7f; }

bool equals_upper(std::string_view text, std::string_view upper) {
  if (text.size() != upper.size()) return false;
  for (std::size_t i = 0; i < text.size(); ++i) {
    char c = text[i];
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    if (c != upper[i]) return false;
  }
  return true;
}

std::string to_upper(std::string_view text) {
  std::string out(text);
  for (char& c : out) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  return out;
}

bool is_status_keyword(std::string_view keyword) {
  return keyword == "OK" || keyword == "NO" || keyword == "BAD" || keyword == "PREAUTH" ||
         keyword == "BYE";
}

// Untagged data whose shape we rely on; anything else that does not parse is kept as raw text so
// that an extension we do not know cannot break a session.
bool is_known_data(std::string_view keyword) {
  static constexpr std::string_view kKnown[] = {"FETCH",      "LIST",  "LSUB",   "SEARCH",
                                                "CAPABILITY", "FLAGS", "EXISTS", "RECENT",
                                                "EXPUNGE",    "STATUS"};
  for (std::string_view k : kKnown) {
    if (keyword == k) return true;
  }
  return false;
}

// Recursive descent over the bytes of one complete response. Every byte is looked at once
// (literal bytes are copied by count), so the work is linear in the response.
class Reader {
 public:
  Reader(std::string_view bytes, const ParserLimits& limits) : in_(bytes), limits_(limits) {}

  Result<Response> parse() {
    if (in_.empty() || in_.back() != '\n') return fail("missing line end");
    hard_end_ = in_.size() - 1;
    end_ = hard_end_;
    if (end_ > 0 && in_[end_ - 1] == '\r') --end_;

    Response r;
    if (peek() == '+') {
      ++pos_;
      r.type = Response::Type::Continuation;
      if (!at_end() && peek() == ' ') ++pos_;
      if (!resp_text(r)) return failure();
      return r;
    }
    if (peek() == '*') {
      ++pos_;
      if (!space()) return fail("expected a space after '*'");
      r.type = Response::Type::Untagged;
      if (!at_end() && is_digit(peek())) {
        std::uint32_t n = 0;
        if (!number(n)) return failure();
        r.number = n;
        if (!space()) return fail("expected a space after the number");
      }
      if (!keyword(r.keyword)) return failure();
      if (is_status_keyword(r.keyword)) {
        if (r.number) return fail("numbered status response");
        if (!status_rest(r)) return failure();
        return r;
      }
      const std::size_t data_start = pos_;
      if (!data(r.data)) {
        if (is_known_data(r.keyword)) return failure();
        r.data.clear();
        const std::size_t from = std::min(data_start + 1, end_);
        r.text = std::string(in_.substr(from, end_ - from));
        error_.clear();
      }
      return r;
    }
    r.type = Response::Type::Tagged;
    if (!tag(r.tag)) return failure();
    if (!space()) return fail("expected a space after the tag");
    if (!keyword(r.keyword)) return failure();
    if (r.keyword != "OK" && r.keyword != "NO" && r.keyword != "BAD") {
      return fail(fmt::format("tagged response with {}", r.keyword));
    }
    if (!status_rest(r)) return failure();
    return r;
  }

 private:
  std::string_view in_;
  const ParserLimits& limits_;
  std::size_t pos_ = 0;
  std::size_t end_ = 0;       // end of the content of the last line (before CRLF)
  std::size_t hard_end_ = 0;  // the final LF: a literal may run up to it
  std::string error_;

  static bool is_digit(char c) { return c >= '0' && c <= '9'; }
  bool at_end() const { return pos_ >= end_; }
  char peek() const { return in_[pos_]; }

  Result<Response> fail(std::string text) {
    error_ = std::move(text);
    return failure();
  }
  bool set_error(std::string text) {
    error_ = std::move(text);
    return false;
  }
  std::unexpected<Error> failure() const {
    return std::unexpected(Error{Error::Kind::Protocol, "malformed response: " + error_});
  }

  bool space() {
    if (at_end() || peek() != ' ') return false;
    ++pos_;
    return true;
  }

  bool number(std::uint32_t& out) {
    std::uint64_t n = 0;
    const std::size_t begin = pos_;
    while (!at_end() && is_digit(peek())) {
      n = n * 10 + static_cast<std::uint64_t>(peek() - '0');
      if (n > 0xffffffffu) return set_error("number out of range");
      ++pos_;
    }
    if (pos_ == begin) return set_error("expected a number");
    out = static_cast<std::uint32_t>(n);
    return true;
  }

  bool keyword(std::string& out) {
    const std::size_t begin = pos_;
    while (!at_end() && peek() != ' ') {
      const char c = peek();
      const bool ok = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || is_digit(c) || c == '-' ||
                      c == '.' || c == '_';
      if (!ok) return set_error("invalid character in keyword");
      ++pos_;
    }
    if (pos_ == begin) return set_error("missing keyword");
    out = to_upper(in_.substr(begin, pos_ - begin));
    return true;
  }

  bool tag(std::string& out) {
    const std::size_t begin = pos_;
    while (!at_end() && peek() != ' ') {
      const auto c = static_cast<unsigned char>(peek());
      if (c <= 0x20 || c >= 0x7f || c == '(' || c == ')' || c == '{' || c == '%' || c == '*' ||
          c == '"' || c == '\\' || c == '+') {
        return set_error("invalid character in tag");
      }
      ++pos_;
    }
    if (pos_ == begin) return set_error("missing tag");
    out = std::string(in_.substr(begin, pos_ - begin));
    return true;
  }

  // After a status keyword: [SP ["[" code "]"] [SP] text]. Servers that send no text at all are
  // accepted.
  bool status_rest(Response& r) {
    if (at_end()) return true;
    if (!space()) return set_error("expected a space after the status");
    return resp_text(r);
  }

  bool resp_text(Response& r) {
    if (!at_end() && peek() == '[') {
      ++pos_;
      const std::size_t begin = pos_;
      while (!at_end() && peek() != ']') {
        if (is_ctl(static_cast<unsigned char>(peek()))) {
          return set_error("control character in response code");
        }
        ++pos_;
      }
      if (at_end()) return set_error("unterminated response code");
      r.code = std::string(in_.substr(begin, pos_ - begin));
      ++pos_;
      if (!at_end() && peek() == ' ') ++pos_;
    }
    const std::string_view text = in_.substr(pos_, end_ - pos_);
    if (text.find_first_of("\r\n") != std::string_view::npos) {
      return set_error("line break in response text");
    }
    r.text = std::string(text);
    pos_ = end_;
    return true;
  }

  bool data(std::vector<Value>& out) {
    while (!at_end()) {
      if (!space()) return set_error("expected a space between values");
      while (!at_end() && peek() == ' ') ++pos_;  // tolerate doubled and trailing spaces
      if (at_end()) break;
      Value v;
      if (!value(v, 0)) return false;
      out.push_back(std::move(v));
    }
    return true;
  }

  bool value(Value& out, std::size_t depth) {
    switch (peek()) {
      case '(':
        return list(out, depth + 1);
      case '"':
        return quoted(out);
      case '{':
        return literal(out);
      case ')':
        return set_error("unexpected ')'");
      default:
        return atom(out);
    }
  }

  bool list(Value& out, std::size_t depth) {
    if (depth > limits_.max_depth) return set_error("lists nested too deeply");
    out.type = Value::Type::List;
    ++pos_;
    bool first = true;
    while (true) {
      if (at_end()) return set_error("unterminated list");
      if (peek() == ')') {
        ++pos_;
        return true;
      }
      if (!first) {
        if (peek() != ' ') return set_error("expected a space between values");
        while (!at_end() && peek() == ' ') ++pos_;
        if (at_end()) return set_error("unterminated list");
        if (peek() == ')') continue;
      }
      first = false;
      Value item;
      if (!value(item, depth)) return false;
      out.items.push_back(std::move(item));
    }
  }

  bool quoted(Value& out) {
    out.type = Value::Type::String;
    ++pos_;
    while (true) {
      if (at_end()) return set_error("unterminated quoted string");
      char c = peek();
      if (c == '"') {
        ++pos_;
        return true;
      }
      if (c == '\r' || c == '\n') return set_error("line break in quoted string");
      if (c == '\\') {
        ++pos_;
        if (at_end()) return set_error("unterminated quoted string");
        c = peek();
        if (c == '\r' || c == '\n') return set_error("line break in quoted string");
      }
      out.text += c;
      ++pos_;
    }
  }

  bool literal(Value& out) {
    out.type = Value::Type::String;
    ++pos_;
    std::uint64_t n = 0;
    const std::size_t begin = pos_;
    while (!at_end() && is_digit(peek())) {
      n = n * 10 + static_cast<std::uint64_t>(peek() - '0');
      if (n > limits_.max_literal) return set_error("literal too large");
      ++pos_;
    }
    if (pos_ == begin) return set_error("literal without a length");
    if (!at_end() && peek() == '+') ++pos_;
    if (at_end() || peek() != '}') return set_error("malformed literal length");
    ++pos_;
    if (pos_ < end_ && in_[pos_] == '\r') ++pos_;
    if (pos_ >= in_.size() || in_[pos_] != '\n')
      return set_error("literal length not at a line end");
    ++pos_;
    // Recompute where the content of the line after the literal ends.
    if (n > hard_end_ - std::min(pos_, hard_end_)) return set_error("truncated literal");
    out.text = std::string(in_.substr(pos_, n));
    pos_ += n;
    if (pos_ > end_) end_ = pos_;
    return true;
  }

  bool atom(Value& out) {
    const std::size_t begin = pos_;
    while (!at_end()) {
      const char c = peek();
      if (c == ' ' || c == '(' || c == ')' || c == '"') break;
      if (is_ctl(static_cast<unsigned char>(c))) return set_error("control character in atom");
      if (c == '[') {
        // A section such as "BODY[HEADER.FIELDS (FROM TO)]" is part of the atom.
        while (!at_end() && peek() != ']') {
          if (is_ctl(static_cast<unsigned char>(peek()))) {
            return set_error("control character in section");
          }
          ++pos_;
        }
        if (at_end()) return set_error("unterminated section");
      }
      ++pos_;
    }
    if (pos_ == begin) return set_error("empty value");
    const std::string_view text = in_.substr(begin, pos_ - begin);
    if (equals_upper(text, "NIL")) {
      out.type = Value::Type::Nil;
    } else {
      out.type = Value::Type::Atom;
      out.text = std::string(text);
    }
    return true;
  }
};

}  // namespace

bool Response::is_status() const {
  return type == Type::Tagged || (type == Type::Untagged && is_status_keyword(keyword));
}

Result<Response> parse_response(std::string_view bytes, const ParserLimits& limits) {
  return Reader(bytes, limits).parse();
}

ResponseParser::ResponseParser(ParserLimits limits) : limits_(limits) {}

void ResponseParser::feed(std::string_view bytes) {
  if (!failed_) buffer_.append(bytes);
}

Error ResponseParser::fail(std::string text) {
  failed_ = true;
  error_ = std::move(text);
  buffer_ = std::string();
  return Error{Error::Kind::Protocol, error_};
}

void ResponseParser::compact() {
  if (start_ == buffer_.size()) {
    // Drop the storage of a large message once it has been handed out.
    if (buffer_.capacity() > (1u << 20)) {
      buffer_ = std::string();
    } else {
      buffer_.clear();
    }
    start_ = scan_ = line_start_ = 0;
  } else if (start_ >= 4096 && start_ * 2 >= buffer_.size()) {
    buffer_.erase(0, start_);
    scan_ -= start_;
    line_start_ -= start_;
    start_ = 0;
  }
}

Result<std::optional<Response>> ResponseParser::next() {
  if (failed_) return std::unexpected(Error{Error::Kind::Protocol, error_});
  while (true) {
    if (scan_ > buffer_.size()) return std::nullopt;  // inside a literal's bytes
    const std::size_t lf = buffer_.find('\n', scan_);
    if (lf == std::string::npos) {
      if (buffer_.size() - line_start_ > limits_.max_line) {
        return std::unexpected(
            fail(fmt::format("response line longer than {} bytes", limits_.max_line)));
      }
      scan_ = buffer_.size();
      return std::nullopt;
    }
    if (lf - line_start_ > limits_.max_line) {
      return std::unexpected(
          fail(fmt::format("response line longer than {} bytes", limits_.max_line)));
    }
    std::size_t content_end = lf;
    if (content_end > line_start_ && buffer_[content_end - 1] == '\r') --content_end;

    // A line that ends in "{N}" or "{N+}" announces N bytes that belong to the response.
    std::size_t i = content_end;
    bool announced = false;
    std::uint64_t count = 0;
    if (i > line_start_ && buffer_[i - 1] == '}') {
      --i;
      if (i > line_start_ && buffer_[i - 1] == '+') --i;
      const std::size_t digits_end = i;
      while (i > line_start_ && buffer_[i - 1] >= '0' && buffer_[i - 1] <= '9' &&
             digits_end - i <= 20) {
        --i;
      }
      if (i < digits_end && i > line_start_ && buffer_[i - 1] == '{') {
        announced = true;
        if (digits_end - i > 12) {
          return std::unexpected(fail("literal too large"));
        }
        for (std::size_t d = i; d < digits_end; ++d) {
          count = count * 10 + static_cast<std::uint64_t>(buffer_[d] - '0');
        }
      }
    }
    if (announced) {
      if (count > limits_.max_literal) {
        return std::unexpected(fail(fmt::format("literal of {} bytes exceeds the limit of {}",
                                                count, limits_.max_literal)));
      }
      scan_ = lf + 1 + count;
      line_start_ = scan_;
      if (scan_ - start_ > limits_.max_response) {
        return std::unexpected(
            fail(fmt::format("response larger than {} bytes", limits_.max_response)));
      }
      continue;
    }

    const std::size_t end = lf + 1;
    Result<Response> parsed =
        parse_response(std::string_view(buffer_).substr(start_, end - start_), limits_);
    start_ = scan_ = line_start_ = end;
    if (!parsed) return std::unexpected(fail(parsed.error().text));
    compact();
    return std::optional<Response>(std::move(*parsed));
  }
}

}  // namespace imap
