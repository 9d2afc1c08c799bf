#pragma once
// Caret stepping over UTF-8 text by code point. Byte offsets are clamped to the text; malformed
// bytes count as one character each so the caret can always move.
#include <cstddef>
#include <string_view>

namespace vexa::ui::text_selection {

// The offset of the character after the one starting at `index` (text.size() at the end).
std::size_t next_char_boundary(std::string_view text, std::size_t index);
// The offset of the character that ends at `index` (0 at the start).
std::size_t prev_char_boundary(std::string_view text, std::size_t index);

}  // namespace vexa::ui::text_selection
