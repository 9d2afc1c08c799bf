// Readers that turn the generic value tree of a response into the data the client hands out.
#include <array>
#include <type_traits>
#include <utility>

#include "imap/response.h"

namespace imap {

namespace {

std::unexpected<Error> malformed(std::string_view what) {
  return std::unexpected(
      Error{Error::Kind::Protocol, "malformed " + std::string(what) + " response"});
}

std::string to_upper(std::string_view text) {
  std::string out(text);
  for (char& c : out) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  return out;
}

// nz-number: UIDs and message numbers start at 1, and a 0 would not survive being sent back.
std::optional<std::uint32_t> nz_number(const Value& v) {
  if (v.type != Value::Type::Atom || v.text.empty() || v.text.size() > 10 || v.text[0] == '0') {
    return std::nullopt;
  }
  std::uint64_t n = 0;
  for (char c : v.text) {
    if (c < '0' || c > '9') return std::nullopt;
    n = n * 10 + static_cast<std::uint64_t>(c - '0');
  }
  if (n > 0xffffffffu) return std::nullopt;
  return static_cast<std::uint32_t>(n);
}

template <typename R>
Result<FetchData> read_fetch_impl(R&& response) {
  if (response.type != Response::Type::Untagged || response.keyword != "FETCH" ||
      !response.number || response.data.size() != 1 || response.data[0].type != Value::Type::List ||
      response.data[0].items.size() % 2 != 0) {
    return malformed("FETCH");
  }
  FetchData out;
  out.sequence = *response.number;
  auto& items = response.data[0].items;
  for (std::size_t i = 0; i < items.size(); i += 2) {
    if (items[i].type != Value::Type::Atom) return malformed("FETCH");
    const std::string name = to_upper(items[i].text);
    auto& value = items[i + 1];
    if (name == "UID") {
      out.uid = nz_number(value);
      if (!out.uid) return malformed("FETCH");
    } else if (name == "FLAGS") {
      if (value.type != Value::Type::List) return malformed("FETCH");
      std::vector<std::string> flags;
      for (const Value& f : value.items) {
        if (f.type != Value::Type::Atom) return malformed("FETCH");
        flags.push_back(f.text);
      }
      out.flags = std::move(flags);
    } else if (name == "INTERNALDATE") {
      if (value.type == Value::Type::String) {
        out.internal_date = value.text;
      } else if (value.type != Value::Type::Nil) {
        return malformed("FETCH");
      }
    } else if (name == "BODY[]") {
      if (value.type == Value::Type::String) {
        if constexpr (std::is_reference_v<R>) {
          out.body = value.text;
        } else {
          out.body = std::move(value.text);
        }
      } else if (value.type == Value::Type::Nil) {
        out.body.reset();
      } else {
        return malformed("FETCH");
      }
    }
    // Other items (MODSEQ, RFC822.SIZE, sections we did not ask for) are not ours to read.
  }
  return out;
}

}  // namespace

Result<FetchData> read_fetch(const Response& response) { return read_fetch_impl(response); }

Result<FetchData> read_fetch(Response&& response) { return read_fetch_impl(std::move(response)); }

Result<ListEntry> read_list(const Response& response) {
  const auto& d = response.data;
  if (response.type != Response::Type::Untagged ||
      (response.keyword != "LIST" && response.keyword != "LSUB") || d.size() < 3 ||
      d[0].type != Value::Type::List) {
    return malformed("LIST");
  }
  ListEntry out;
  for (const Value& a : d[0].items) {
    if (a.type != Value::Type::Atom) return malformed("LIST");
    out.attributes.push_back(a.text);
  }
  if (d[1].type == Value::Type::String) {
    out.delimiter = d[1].text;
  } else if (d[1].type != Value::Type::Nil) {
    return malformed("LIST");
  }
  if (d[2].type != Value::Type::String && d[2].type != Value::Type::Atom) return malformed("LIST");
  out.name = d[2].text;
  return out;
}

Result<std::vector<std::uint32_t>> read_search(const Response& response) {
  if (response.type != Response::Type::Untagged || response.keyword != "SEARCH") {
    return malformed("SEARCH");
  }
  std::vector<std::uint32_t> out;
  out.reserve(response.data.size());
  for (std::size_t i = 0; i < response.data.size(); ++i) {
    const Value& v = response.data[i];
    // A server with CONDSTORE enabled may end the list with "(MODSEQ n)".
    if (v.type == Value::Type::List && i + 1 == response.data.size()) break;
    const auto n = nz_number(v);
    if (!n) return malformed("SEARCH");
    out.push_back(*n);
  }
  return out;
}

std::vector<std::string> read_capabilities(const Response& response) {
  std::vector<std::string> out;
  if (response.type == Response::Type::Untagged && response.keyword == "CAPABILITY") {
    for (const Value& v : response.data) {
      if (v.type == Value::Type::Atom) out.push_back(to_upper(v.text));
    }
    return out;
  }
  if (!response.is_status()) return out;
  std::string_view code = response.code;
  constexpr std::string_view kPrefix = "CAPABILITY";
  if (code.size() < kPrefix.size() || to_upper(code.substr(0, kPrefix.size())) != kPrefix ||
      (code.size() > kPrefix.size() && code[kPrefix.size()] != ' ')) {
    return out;
  }
  code.remove_prefix(kPrefix.size());
  while (!code.empty()) {
    const std::size_t space = code.find(' ');
    const std::string_view word = code.substr(0, space);
    if (!word.empty()) out.push_back(to_upper(word));
    if (space == std::string_view::npos) break;
    code.remove_prefix(space + 1);
  }
  return out;
}

namespace {

bool digits(std::string_view text, std::size_t pos, std::size_t count, int& out) {
  if (pos + count > text.size()) return false;
  out = 0;
  for (std::size_t i = pos; i < pos + count; ++i) {
    if (text[i] < '0' || text[i] > '9') return false;
    out = out * 10 + (text[i] - '0');
  }
  return true;
}

// Days from 1970-01-01 to the given civil date (proleptic Gregorian).
std::int64_t days_from_civil(int y, int m, int d) {
  y -= m <= 2 ? 1 : 0;
  const int era = (y >= 0 ? y : y - 399) / 400;
  const int yoe = y - era * 400;
  const int doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const int doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return static_cast<std::int64_t>(era) * 146097 + doe - 719468;
}

bool leap(int y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }

}  // namespace

std::optional<std::int64_t> parse_internal_date(std::string_view text) {
  // The day is two digits or a space and a digit; some servers send a single digit.
  std::size_t pos = 0;
  if (!text.empty() && text[0] == ' ') pos = 1;
  int day = 0;
  if (digits(text, pos, 2, day)) {
    pos += 2;
  } else if (digits(text, pos, 1, day)) {
    pos += 1;
  } else {
    return std::nullopt;
  }
  if (pos >= text.size() || text[pos] != '-') return std::nullopt;
  ++pos;
  static constexpr std::array<std::string_view, 12> kMonths = {
      "JAN", "FEB", "MAR", "APR", "MAY", "JUN", "JUL", "AUG", "SEP", "OCT", "NOV", "DEC"};
  if (pos + 3 > text.size()) return std::nullopt;
  const std::string month_name = to_upper(text.substr(pos, 3));
  int month = 0;
  for (std::size_t i = 0; i < kMonths.size(); ++i) {
    if (kMonths[i] == month_name) month = static_cast<int>(i) + 1;
  }
  if (month == 0) return std::nullopt;
  pos += 3;
  int year = 0, hour = 0, minute = 0, second = 0, zh = 0, zm = 0;
  if (text.size() != pos + 20 || text[pos] != '-' || !digits(text, pos + 1, 4, year) ||
      text[pos + 5] != ' ' || !digits(text, pos + 6, 2, hour) || text[pos + 8] != ':' ||
      !digits(text, pos + 9, 2, minute) || text[pos + 11] != ':' ||
      !digits(text, pos + 12, 2, second) || text[pos + 14] != ' ' ||
      (text[pos + 15] != '+' && text[pos + 15] != '-') || !digits(text, pos + 16, 2, zh) ||
      !digits(text, pos + 18, 2, zm)) {
    return std::nullopt;
  }
  static constexpr std::array<int, 12> kDays = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  const int month_days = kDays[static_cast<std::size_t>(month - 1)] + (month == 2 && leap(year));
  if (day < 1 || day > month_days || hour > 23 || minute > 59 || second > 60 || zm > 59) {
    return std::nullopt;
  }
  const std::int64_t offset = (zh * 60 + zm) * 60 * (text[pos + 15] == '-' ? -1 : 1);
  const std::int64_t local =
      days_from_civil(year, month, day) * 86400 + hour * 3600 + minute * 60 + second;
  return local - offset;
}

}  // namespace imap
