#pragma once
// GMime decodes RFC 2047 encoded words well, except where a word's bytes are not valid in its
// charset (each bad byte becomes "?") or the charset is one it does not know (the bytes vanish).
// Runs of such words are rewritten here into one UTF-8 word carrying our own decoding, with
// U+FFFD for each invalid sequence, so GMime keeps doing the rest (merging adjacent words,
// phrases and quoting in address lists).
#include <optional>
#include <string>
#include <string_view>

namespace mail::engine {

// The raw header value with every unconvertible run rewritten; nullopt when GMime can decode
// the value as it is.
std::optional<std::string> rewrite_unconvertible_words(std::string_view raw_value);

}  // namespace mail::engine
