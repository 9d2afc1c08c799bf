#include "vexa/ui/text_selection.h"

namespace vexa::ui::text_selection {
namespace {

bool is_continuation(char c) { return (static_cast<unsigned char>(c) & 0xC0) == 0x80; }

// Length of the well-formed sequence starting at `i`, or 1 for a malformed byte.
std::size_t sequence_length(std::string_view text, std::size_t i) {
  const auto b = static_cast<unsigned char>(text[i]);
  std::size_t len = 1;
  if (b >= 0xC2 && b <= 0xDF) {
    len = 2;
  } else if (b >= 0xE0 && b <= 0xEF) {
    len = 3;
  } else if (b >= 0xF0 && b <= 0xF4) {
    len = 4;
  }
  if (i + len > text.size()) return 1;
  for (std::size_t k = 1; k < len; ++k) {
    if (!is_continuation(text[i + k])) return 1;
  }
  return len;
}

}  // namespace

std::size_t next_char_boundary(std::string_view text, std::size_t index) {
  if (index >= text.size()) return text.size();
  return index + sequence_length(text, index);
}

std::size_t prev_char_boundary(std::string_view text, std::size_t index) {
  if (index > text.size()) index = text.size();
  if (index == 0) return 0;
  std::size_t start = index - 1;
  for (int back = 0; back < 3 && start > 0 && is_continuation(text[start]); ++back) --start;
  if (next_char_boundary(text, start) == index) return start;
  return index - 1;
}

}  // namespace vexa::ui::text_selection
