#include "compose/utf8_text.h"

namespace mail::compose {

CodePoint decode_at(std::string_view text, std::size_t at) {
  const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
  const unsigned char lead = byte(at);
  if (lead < 0x80) return {lead, 1};
  std::size_t length = 0;
  char32_t value = 0;
  char32_t minimum = 0;
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2, value = lead & 0x1F, minimum = 0x80;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3, value = lead & 0x0F, minimum = 0x800;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4, value = lead & 0x07, minimum = 0x10000;
  } else {
    return {0xFFFD, 1};
  }
  if (at + length > text.size()) return {0xFFFD, 1};
  for (std::size_t i = 1; i < length; ++i) {
    const unsigned char next = byte(at + i);
    if ((next & 0xC0) != 0x80) return {0xFFFD, 1};
    value = value << 6 | (next & 0x3F);
  }
  if (value < minimum || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)) {
    return {0xFFFD, 1};
  }
  return {value, length};
}

bool is_control(char32_t c) { return c < 32 || (c >= 127 && c <= 159); }

bool is_white_space(char32_t c) {
  return (c >= 0x09 && c <= 0x0D) || c == 0x20 || c == 0x85 || c == 0xA0 || c == 0x1680 ||
         (c >= 0x2000 && c <= 0x200A) || c == 0x2028 || c == 0x2029 || c == 0x202F || c == 0x205F ||
         c == 0x3000;
}

std::size_t count_chars(std::string_view text) {
  std::size_t count = 0;
  for (std::size_t i = 0; i < text.size(); i += decode_at(text, i).length) ++count;
  return count;
}

std::string_view first_chars(std::string_view text, std::size_t max_chars) {
  std::size_t i = 0;
  for (std::size_t n = 0; i < text.size() && n < max_chars; ++n) i += decode_at(text, i).length;
  return text.substr(0, i);
}

std::string_view trim(std::string_view text) {
  std::size_t begin = 0;
  while (begin < text.size()) {
    const CodePoint cp = decode_at(text, begin);
    if (!is_white_space(cp.value)) break;
    begin += cp.length;
  }
  // Scan forwards so that the end is always on a character boundary.
  std::size_t end = begin;
  for (std::size_t i = begin; i < text.size();) {
    const CodePoint cp = decode_at(text, i);
    i += cp.length;
    if (!is_white_space(cp.value)) end = i;
  }
  return text.substr(begin, end - begin);
}

std::string remove_controls(std::string_view text, bool keep_line_breaks) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size();) {
    const CodePoint cp = decode_at(text, i);
    const bool line_break = cp.value == '\t' || cp.value == '\n' || cp.value == '\r';
    if (!is_control(cp.value) || (keep_line_breaks && line_break)) {
      out.append(text.substr(i, cp.length));
    }
    i += cp.length;
  }
  return out;
}

}  // namespace mail::compose
