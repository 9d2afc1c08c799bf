#include "vexa/xml_escape.h"

namespace vexa::xml_escape {
namespace {

std::string escape(std::string_view text, bool quotes) {
  std::string out;
  out.reserve(text.size() + text.size() / 8);
  for (const char c : text) {
    switch (c) {
      case '&':
        out += "&amp;";
        break;
      case '<':
        out += "&lt;";
        break;
      case '>':
        out += "&gt;";
        break;
      case '"':
        quotes ? out += "&quot;" : out += c;
        break;
      case '\'':
        // Numeric, because HTML 4 has no &apos;.
        quotes ? out += "&#39;" : out += c;
        break;
      default:
        out += c;
    }
  }
  return out;
}

}  // namespace

std::string escape_text(std::string_view text) { return escape(text, false); }
std::string escape_attr(std::string_view text) { return escape(text, true); }

}  // namespace vexa::xml_escape
