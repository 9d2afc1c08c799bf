#pragma once
// ASCII-only text helpers for protocol and header text: only ASCII letters fold and only ASCII
// white space (the C locale's space, tab, CR, LF, FF and VT) trims, so multi-byte UTF-8 is never
// touched.
#include <string>
#include <string_view>

namespace mail {

inline char ascii_lower(char c) {
  return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

inline std::string ascii_lower(std::string_view text) {
  std::string out(text);
  for (char& c : out) c = ascii_lower(c);
  return out;
}

inline bool ascii_iequals(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (ascii_lower(a[i]) != ascii_lower(b[i])) return false;
  }
  return true;
}

inline std::string_view trim_ascii(std::string_view text) {
  constexpr std::string_view kSpace = " \t\r\n\f\v";
  const auto first = text.find_first_not_of(kSpace);
  if (first == std::string_view::npos) return {};
  const auto last = text.find_last_not_of(kSpace);
  return text.substr(first, last - first + 1);
}

}  // namespace mail
