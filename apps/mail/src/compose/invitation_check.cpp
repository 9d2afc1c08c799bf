#include "compose/invitation_check.h"

#include <optional>
#include <string>
#include <vector>

namespace mail::compose {
namespace {

struct ContentLine {
  std::string name;  // upper-cased
  std::string value;
};

bool is_name_char(char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-';
}

std::string ascii_upper(std::string_view text) {
  std::string out(text);
  for (char& c : out) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  return out;
}

std::string_view trim_ascii(std::string_view text) {
  const auto space = [](char c) { return c == ' ' || c == '\t'; };
  while (!text.empty() && space(text.front())) text.remove_prefix(1);
  while (!text.empty() && space(text.back())) text.remove_suffix(1);
  return text;
}

// name *(";" param) ":" value, where a param value may be a quoted string holding ':' or ';'.
std::optional<ContentLine> parse_content_line(std::string_view line) {
  std::size_t i = 0;
  while (i < line.size() && is_name_char(line[i])) ++i;
  if (i == 0) return std::nullopt;
  ContentLine out{ascii_upper(line.substr(0, i)), {}};
  while (i < line.size() && line[i] == ';') {
    ++i;
    const std::size_t name_start = i;
    while (i < line.size() && is_name_char(line[i])) ++i;
    if (i == name_start || i >= line.size() || line[i] != '=') return std::nullopt;
    ++i;
    while (true) {  // one or more comma-separated values
      if (i < line.size() && line[i] == '"') {
        const std::size_t close = line.find('"', i + 1);
        if (close == std::string_view::npos) return std::nullopt;
        i = close + 1;
      } else {
        while (i < line.size() && line[i] != ';' && line[i] != ':' && line[i] != ',' &&
               line[i] != '"') {
          ++i;
        }
      }
      if (i < line.size() && line[i] == ',') {
        ++i;
        continue;
      }
      break;
    }
  }
  if (i >= line.size() || line[i] != ':') return std::nullopt;
  out.value = std::string(line.substr(i + 1));
  return out;
}

// Unfolded content lines, or nullopt when the text is not CRLF-framed.
std::optional<std::vector<std::string>> unfold(std::string_view text) {
  if (!text.ends_with("\r\n")) return std::nullopt;
  std::vector<std::string> lines;
  std::size_t start = 0;
  while (start < text.size()) {
    const std::size_t end = text.find("\r\n", start);
    std::string_view physical = text.substr(start, end - start);
    if (physical.find_first_of("\r\n") != std::string_view::npos) return std::nullopt;
    if (!physical.empty() && (physical.front() == ' ' || physical.front() == '\t')) {
      if (lines.empty()) return std::nullopt;
      lines.back().append(physical.substr(1));
    } else {
      lines.emplace_back(physical);
    }
    start = end + 2;
  }
  return lines;
}

}  // namespace

bool invitation_accepted(std::string_view ics) {
  if (ics.size() > kMaxInvitationBytes || ics.find('\0') != std::string_view::npos) return false;
  const auto lines = unfold(ics);
  if (!lines) return false;

  std::vector<std::string> stack;
  int calendars = 0;
  int events = 0;
  bool method_request = false;
  std::optional<std::string> event_uid;  // of the event being read
  std::optional<std::string> first_uid;

  for (const std::string& raw : *lines) {
    const auto line = parse_content_line(raw);
    if (!line || (stack.empty() && line->name != "BEGIN")) return false;
    const std::string value = ascii_upper(trim_ascii(line->value));
    if (line->name == "BEGIN") {
      if (value.empty()) return false;
      if (stack.empty()) {
        if (value != "VCALENDAR") return false;
        ++calendars;
      } else if (stack.size() == 1 && value == "VEVENT") {
        ++events;
        event_uid.reset();
      }
      stack.push_back(value);
    } else if (line->name == "END") {
      if (stack.back() != value) return false;
      stack.pop_back();
      if (value == "VEVENT" && stack.size() == 1) {
        if (!event_uid) return false;
        if (!first_uid) {
          first_uid = event_uid;
        } else if (*first_uid != *event_uid) {
          return false;
        }
      }
    } else if (line->name == "METHOD" && stack.size() == 1) {
      method_request = value == "REQUEST";
    } else if (line->name == "UID" && stack.size() == 2 && stack.back() == "VEVENT") {
      const std::string_view uid = trim_ascii(line->value);
      if (uid.empty()) return false;
      event_uid = std::string(uid);
    }
  }
  return stack.empty() && calendars == 1 && method_request && events >= 1;
}

}  // namespace mail::compose
