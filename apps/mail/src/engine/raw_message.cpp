#include "engine/raw_message.h"

#include <algorithm>

namespace mail::engine {
namespace {

// One line of `s` starting at `at`: its text without the line end, and where the next begins.
struct Line {
  std::string_view text;
  std::size_t next;
};

Line line_at(std::string_view s, std::size_t at) {
  const std::size_t lf = s.find('\n', at);
  const std::size_t end = lf == std::string_view::npos ? s.size() : lf;
  std::string_view text = s.substr(at, end - at);
  if (!text.empty() && text.back() == '\r') text.remove_suffix(1);
  return {text, lf == std::string_view::npos ? s.size() : lf + 1};
}

// "Name:" with a printable ASCII name; white space before the colon is obsolete but seen.
bool is_field(std::string_view line) {
  std::size_t i = 0;
  while (i < line.size() && line[i] > ' ' && line[i] < 127 && line[i] != ':') ++i;
  if (i == 0) return false;
  while (i < line.size() && (line[i] == ' ' || line[i] == '\t')) ++i;
  return i < line.size() && line[i] == ':';
}

bool is_continuation(std::string_view line) {
  return !line.empty() && (line.front() == ' ' || line.front() == '\t');
}

bool followed_by_field(std::string_view s, const Line& line) {
  if (line.next >= s.size()) return false;
  const Line next = line_at(s, line.next);
  return !next.text.empty() && is_field(next.text);
}

// Offset at which an empty line must go so the header block ends where the body begins, or npos
// when it already does.
std::size_t missing_separator(std::string_view s) {
  std::size_t at = 0;
  bool first = true;
  while (at < s.size()) {
    const Line line = line_at(s, at);
    if (line.text.empty()) return std::string_view::npos;
    // The mbox separator some stores leave in front of a message; the parser skips it.
    const bool mbox_separator =
        first && line.text.starts_with("From ") && followed_by_field(s, line);
    const bool header =
        is_field(line.text) || (!first && is_continuation(line.text)) || mbox_separator;
    if (!header) {
      // Not a header line at all: no headers, the whole text is the body.
      if (first) return 0;
      // A stray line between header fields is junk the parser skips; one followed by more text
      // that is not a field is where the body started.
      if (followed_by_field(s, line)) {
        at = line.next;
        continue;
      }
      return at;
    }
    first = false;
    at = line.next;
  }
  return std::string_view::npos;
}

}  // namespace

RawMessage::RawMessage(std::string_view raw) : original_(raw) {
  std::string_view s = raw;
  // No LF anywhere but CRs present: old Mac line ends.
  if (s.find('\n') == std::string_view::npos && s.find('\r') != std::string_view::npos) {
    repaired_.assign(s);
    std::ranges::replace(repaired_, '\r', '\n');
    s = repaired_;
  }
  if (s.empty()) {
    repaired_ = "\n";  // an empty message: no headers and no body, but still a message
    return;
  }
  const std::size_t at = missing_separator(s);
  if (at == std::string_view::npos) return;
  std::string fixed;
  fixed.reserve(s.size() + 1);
  fixed.append(s.substr(0, at));
  fixed.push_back('\n');
  fixed.append(s.substr(at));
  repaired_ = std::move(fixed);
}

}  // namespace mail::engine
