#include "imap/command.h"

#include <cstdio>
#include <cstdlib>

namespace imap {

namespace {

// Longer values go out as literals: some servers cap the length of a command line.
constexpr std::size_t kMaxQuoted = 1024;

[[noreturn]] void stop(const char* what, std::string_view text) {
  std::fprintf(stderr, "imap: %s: %.*s\n", what, static_cast<int>(text.size()), text.data());
  std::abort();
}

bool is_atom_char(unsigned char c) {
  if (c <= 0x20 || c >= 0x7f) return false;
  switch (c) {
    case '(':
    case ')':
    case '{':
    case '%':
    case '*':
    case '"':
    case '\\':
    case ']':
      return false;
    default:
      return true;
  }
}

bool equals_nil(std::string_view value) {
  return value.size() == 3 && (value[0] | 0x20) == 'n' && (value[1] | 0x20) == 'i' &&
         (value[2] | 0x20) == 'l';
}

bool fits_quoted(std::string_view value) {
  if (value.size() > kMaxQuoted) return false;
  for (unsigned char c : value) {
    if (c < 0x20 || c >= 0x7f) return false;
  }
  return true;
}

std::string quote(std::string_view value) {
  std::string out;
  out.reserve(value.size() + 2);
  out += '"';
  for (char c : value) {
    if (c == '"' || c == '\\') out += '\\';
    out += c;
  }
  out += '"';
  return out;
}

bool parse_seq_number(std::string_view text) {
  if (text == "*") return true;
  if (text.empty() || text.size() > 10 || text[0] < '1' || text[0] > '9') return false;
  std::uint64_t n = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
    n = n * 10 + static_cast<std::uint64_t>(c - '0');
  }
  return n <= 0xffffffffu;
}

}  // namespace

Arg Arg::keyword(std::string_view text) {
  if (text.empty()) stop("empty keyword", text);
  for (unsigned char c : text) {
    if (c < 0x20 || c >= 0x7f) stop("keyword with a control or 8-bit byte", text);
  }
  Arg arg;
  arg.form_ = Form::Raw;
  arg.text_ = std::string(text);
  return arg;
}

Arg Arg::astring(std::string_view value) {
  bool atom = !value.empty() && !equals_nil(value);
  for (unsigned char c : value) {
    if (!is_atom_char(c)) {
      atom = false;
      break;
    }
  }
  if (atom) {
    Arg arg;
    arg.form_ = Form::Raw;
    arg.text_ = std::string(value);
    return arg;
  }
  return string(value);
}

Arg Arg::string(std::string_view value) {
  Arg arg;
  if (fits_quoted(value)) {
    arg.form_ = Form::Quoted;
    arg.text_ = quote(value);
  } else {
    arg.form_ = Form::Literal;
    arg.text_ = std::string(value);
  }
  return arg;
}

Arg Arg::number(std::uint64_t value) {
  Arg arg;
  arg.text_ = std::to_string(value);
  return arg;
}

Arg Arg::sequence_set(std::string_view set) {
  if (!is_sequence_set(set)) stop("invalid sequence set", set);
  Arg arg;
  arg.text_ = std::string(set);
  return arg;
}

bool is_sequence_set(std::string_view set) {
  if (set.empty()) return false;
  while (true) {
    const std::size_t comma = set.find(',');
    const std::string_view item = set.substr(0, comma);
    const std::size_t colon = item.find(':');
    if (colon == std::string_view::npos) {
      if (!parse_seq_number(item)) return false;
    } else if (!parse_seq_number(item.substr(0, colon)) ||
               !parse_seq_number(item.substr(colon + 1))) {
      return false;
    }
    if (comma == std::string_view::npos) return true;
    set.remove_prefix(comma + 1);
  }
}

Command build_command(std::string tag, std::string_view verb, const std::vector<Arg>& args) {
  Command command;
  command.tag = std::move(tag);
  command.verb = std::string(verb);
  std::string segment = command.tag + ' ' + command.verb;
  for (const Arg& arg : args) {
    segment += ' ';
    if (arg.form() != Arg::Form::Literal) {
      segment += arg.text();
      continue;
    }
    segment += '{';
    segment += std::to_string(arg.text().size());
    segment += "}\r\n";
    command.segments.push_back(std::move(segment));
    segment = arg.text();
  }
  segment += "\r\n";
  command.segments.push_back(std::move(segment));
  return command;
}

std::string TagCounter::next() { return "A" + std::to_string(++n_); }

}  // namespace imap
