#pragma once
// Code-point level helpers for limits that count characters rather than bytes. Bytes that are
// not well-formed UTF-8 count as one character each, so no input is ever rejected or lost here.
#include <cstddef>
#include <string>
#include <string_view>

namespace mail::compose {

struct CodePoint {
  char32_t value = 0;
  std::size_t length = 1;  // bytes taken from the text
};

// The character that starts at byte `at` (which must be inside `text`).
CodePoint decode_at(std::string_view text, std::size_t at);

// Code points below 32 and 127 to 159.
bool is_control(char32_t c);
bool is_white_space(char32_t c);

std::size_t count_chars(std::string_view text);
// The longest prefix of at most `max_chars` characters.
std::string_view first_chars(std::string_view text, std::size_t max_chars);
// Without leading and trailing white space (Unicode White_Space).
std::string_view trim(std::string_view text);
// Without control characters; tab, line feed and carriage return survive when `keep_line_breaks`.
std::string remove_controls(std::string_view text, bool keep_line_breaks);

}  // namespace mail::compose
