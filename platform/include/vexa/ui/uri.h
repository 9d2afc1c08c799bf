#pragma once
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace vexa::ui::uri {

// Percent-encodes everything but the RFC 3986 unreserved characters (A-Z a-z 0-9 - . _ ~).
std::string encode_component(std::string_view text);

// Splits an application/x-www-form-urlencoded query ("a=1&b=x+y") into decoded pairs in order.
// '+' is a space; a malformed %-escape stays as written; bytes that are not UTF-8 become U+FFFD.
std::vector<std::pair<std::string, std::string>> parse_form_query(std::string_view query);

// Valid UTF-8 with each malformed sequence replaced by U+FFFD.
std::string sanitize_utf8(std::string_view bytes);

}  // namespace vexa::ui::uri
