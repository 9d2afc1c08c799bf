#pragma once
#include <string>
#include <string_view>

namespace vexa::xml_escape {

// For element content: & < > escaped.
std::string escape_text(std::string_view text);
// For attribute values in double or single quotes: & < > " ' escaped.
std::string escape_attr(std::string_view text);

}  // namespace vexa::xml_escape
