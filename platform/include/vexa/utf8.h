#pragma once
// UTF-8 checking and repair for text that comes from outside (mail, files, servers) before it
// reaches layout, JSON or the document, all of which need valid UTF-8.
#include <string>
#include <string_view>

namespace vexa::utf8 {

bool is_valid(std::string_view bytes);

// Valid input comes back unchanged; every maximal invalid subsequence becomes one U+FFFD, as the
// WHATWG Encoding Standard decodes UTF-8, so "\xE2\x82" is one replacement, not two.
std::string repair(std::string_view bytes);
void append_repaired(std::string& out, std::string_view bytes);

// Appends the UTF-8 form of a code point; a surrogate or a value above U+10FFFF gives U+FFFD.
void append_code_point(std::string& out, char32_t cp);

// `text` without the Unicode white space (the White_Space property: ASCII spaces and controls
// TAB to CR, NEL, NO-BREAK SPACE, the typographic spaces, the line and paragraph separators,
// IDEOGRAPHIC SPACE) at either end. Invalid bytes are not white space.
std::string_view trim_space(std::string_view text);

}  // namespace vexa::utf8
