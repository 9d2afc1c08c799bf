#pragma once
// Plain text for messages that carry only an HTML body: what the list preview, search and the
// plain reader show.
#include <string>
#include <string_view>

namespace mail::engine {

// `html` is UTF-8 (the MIME layer has already converted the charset). The result is valid
// UTF-8, with block elements on lines of their own, runs of white space collapsed outside
// <pre>, and no text from head, style or script.
std::string html_to_text(std::string_view html);

}  // namespace mail::engine
