#include "vexa/utf8.h"

#include <cstdint>

namespace vexa::utf8 {
namespace {

constexpr std::string_view kReplacement = "\xEF\xBF\xBD";

// Length of the well-formed sequence at `i`, or 0 after setting `consumed` to the bytes that make
// up its maximal invalid subpart (at least one).
std::size_t sequence_at(std::string_view s, std::size_t i, std::size_t& consumed) {
  const auto byte = [&](std::size_t k) { return static_cast<std::uint8_t>(s[k]); };
  const std::uint8_t lead = byte(i);
  std::size_t need = 0;
  std::uint8_t lower = 0x80;
  std::uint8_t upper = 0xBF;
  if (lead < 0x80) return 1;
  if (lead >= 0xC2 && lead <= 0xDF) {
    need = 1;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    need = 2;
    if (lead == 0xE0) lower = 0xA0;
    if (lead == 0xED) upper = 0x9F;  // no surrogates
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    need = 3;
    if (lead == 0xF0) lower = 0x90;
    if (lead == 0xF4) upper = 0x8F;  // nothing above U+10FFFF
  } else {
    consumed = 1;
    return 0;
  }
  std::size_t j = i + 1;
  for (std::size_t k = 0; k < need; ++k, ++j) {
    if (j >= s.size() || byte(j) < lower || byte(j) > upper) {
      // The offending byte is not part of the subpart: it starts the next sequence.
      consumed = j - i;
      return 0;
    }
    lower = 0x80;
    upper = 0xBF;
  }
  return need + 1;
}

std::size_t first_invalid(std::string_view s) {
  std::size_t i = 0;
  while (i < s.size()) {
    // ASCII runs are by far the most common; skip them eight bytes at a time.
    while (i + 8 <= s.size()) {
      std::uint64_t word;
      __builtin_memcpy(&word, s.data() + i, 8);
      if (word & 0x8080808080808080ULL) break;
      i += 8;
    }
    if (i >= s.size()) break;
    std::size_t consumed = 0;
    const std::size_t length = sequence_at(s, i, consumed);
    if (length == 0) return i;
    i += length;
  }
  return std::string_view::npos;
}

}  // namespace

bool is_valid(std::string_view bytes) { return first_invalid(bytes) == std::string_view::npos; }

void append_repaired(std::string& out, std::string_view s) {
  std::size_t bad = first_invalid(s);
  if (bad == std::string_view::npos) {
    out.append(s);
    return;
  }
  out.reserve(out.size() + s.size() + 8);
  out.append(s.substr(0, bad));
  std::size_t i = bad;
  while (i < s.size()) {
    std::size_t consumed = 0;
    const std::size_t length = sequence_at(s, i, consumed);
    if (length == 0) {
      out.append(kReplacement);
      i += consumed;
      continue;
    }
    out.append(s.substr(i, length));
    i += length;
  }
}

void append_code_point(std::string& out, char32_t cp) {
  if ((cp >= 0xD800 && cp <= 0xDFFF) || cp > 0x10FFFF) cp = 0xFFFD;
  if (cp < 0x80) {
    out.push_back(static_cast<char>(cp));
  } else if (cp < 0x800) {
    out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else if (cp < 0x10000) {
    out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else {
    out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  }
}

std::string repair(std::string_view bytes) {
  std::string out;
  append_repaired(out, bytes);
  return out;
}

namespace {

bool is_space(char32_t cp) {
  return (cp >= 0x09 && cp <= 0x0D) || cp == 0x20 || cp == 0x85 || cp == 0xA0 || cp == 0x1680 ||
         (cp >= 0x2000 && cp <= 0x200A) || cp == 0x2028 || cp == 0x2029 || cp == 0x202F ||
         cp == 0x205F || cp == 0x3000;
}

char32_t decode(std::string_view s, std::size_t i, std::size_t length) {
  const auto b = [&](std::size_t k) {
    return static_cast<char32_t>(static_cast<std::uint8_t>(s[k]));
  };
  switch (length) {
    case 1:
      return b(i);
    case 2:
      return ((b(i) & 0x1F) << 6) | (b(i + 1) & 0x3F);
    case 3:
      return ((b(i) & 0x0F) << 12) | ((b(i + 1) & 0x3F) << 6) | (b(i + 2) & 0x3F);
    default:
      return ((b(i) & 0x07) << 18) | ((b(i + 1) & 0x3F) << 12) | ((b(i + 2) & 0x3F) << 6) |
             (b(i + 3) & 0x3F);
  }
}

// Where the white space at the end of `s` begins.
std::size_t trailing_space_start(std::string_view s) {
  std::size_t end = s.size();
  while (end > 0) {
    std::size_t start = end - 1;
    while (start > 0 && end - start < 4 && (static_cast<std::uint8_t>(s[start]) & 0xC0) == 0x80) {
      --start;
    }
    std::size_t consumed = 0;
    const std::size_t length = sequence_at(s, start, consumed);
    if (length != end - start || !is_space(decode(s, start, length))) break;
    end = start;
  }
  return end;
}

}  // namespace

std::string_view trim_space(std::string_view text) {
  std::size_t begin = 0;
  while (begin < text.size()) {
    std::size_t consumed = 0;
    const std::size_t length = sequence_at(text, begin, consumed);
    if (length == 0 || !is_space(decode(text, begin, length))) break;
    begin += length;
  }
  text.remove_prefix(begin);
  return text.substr(0, trailing_space_start(text));
}

}  // namespace vexa::utf8
