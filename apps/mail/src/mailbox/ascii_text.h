#pragma once
// Trimming for protocol and header text, where only ASCII white space counts (the C locale's
// space, tab, CR, LF, FF and VT); multi-byte UTF-8 is never touched.
#include <string_view>

namespace mail {

inline std::string_view trim_ascii(std::string_view text) {
  constexpr std::string_view kSpace = " \t\r\n\f\v";
  const auto first = text.find_first_not_of(kSpace);
  if (first == std::string_view::npos) return {};
  const auto last = text.find_last_not_of(kSpace);
  return text.substr(first, last - first + 1);
}

}  // namespace mail
