#include "vexa/ui/uri.h"

#include <cstdint>

namespace vexa::ui::uri {
namespace {

int hex_value(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

std::string form_decode(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '+') {
      out += ' ';
    } else if (c == '%' && i + 2 < text.size() && hex_value(text[i + 1]) >= 0 &&
               hex_value(text[i + 2]) >= 0) {
      out += static_cast<char>(hex_value(text[i + 1]) * 16 + hex_value(text[i + 2]));
      i += 2;
    } else {
      out += c;
    }
  }
  return sanitize_utf8(out);
}

}  // namespace

std::string encode_component(std::string_view text) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string out;
  out.reserve(text.size());
  for (const char ch : text) {
    const auto c = static_cast<unsigned char>(ch);
    if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' ||
        c == '.' || c == '_' || c == '~') {
      out += ch;
    } else {
      out += '%';
      out += kHex[c >> 4];
      out += kHex[c & 0xF];
    }
  }
  return out;
}

std::vector<std::pair<std::string, std::string>> parse_form_query(std::string_view query) {
  std::vector<std::pair<std::string, std::string>> pairs;
  while (!query.empty()) {
    const std::size_t amp = query.find('&');
    const std::string_view part = query.substr(0, amp);
    query = amp == std::string_view::npos ? std::string_view() : query.substr(amp + 1);
    if (part.empty()) continue;
    const std::size_t eq = part.find('=');
    if (eq == std::string_view::npos) {
      pairs.emplace_back(form_decode(part), std::string());
    } else {
      pairs.emplace_back(form_decode(part.substr(0, eq)), form_decode(part.substr(eq + 1)));
    }
  }
  return pairs;
}

std::string sanitize_utf8(std::string_view bytes) {
  static constexpr std::string_view kReplacement = "\xEF\xBF\xBD";
  std::string out;
  out.reserve(bytes.size());
  std::size_t i = 0;
  while (i < bytes.size()) {
    const auto b = static_cast<unsigned char>(bytes[i]);
    if (b < 0x80) {
      out += static_cast<char>(b);
      ++i;
      continue;
    }
    // Sequence length and the allowed range of the second byte, which rules out overlong
    // forms, surrogates and values past U+10FFFF.
    std::size_t len = 0;
    unsigned char lo = 0x80, hi = 0xBF;
    if (b >= 0xC2 && b <= 0xDF) {
      len = 2;
    } else if (b >= 0xE0 && b <= 0xEF) {
      len = 3;
      if (b == 0xE0) lo = 0xA0;
      if (b == 0xED) hi = 0x9F;
    } else if (b >= 0xF0 && b <= 0xF4) {
      len = 4;
      if (b == 0xF0) lo = 0x90;
      if (b == 0xF4) hi = 0x8F;
    }
    if (len == 0) {
      out += kReplacement;
      ++i;
      continue;
    }
    // One replacement per maximal valid prefix, as Unicode recommends.
    std::size_t j = i + 1;
    bool complete = true;
    for (std::size_t k = 1; k < len; ++k, ++j) {
      if (j >= bytes.size()) {
        complete = false;
        break;
      }
      const auto c = static_cast<unsigned char>(bytes[j]);
      const unsigned char min = k == 1 ? lo : 0x80;
      const unsigned char max = k == 1 ? hi : 0xBF;
      if (c < min || c > max) {
        complete = false;
        break;
      }
    }
    if (complete) {
      out.append(bytes.substr(i, len));
    } else {
      out += kReplacement;
    }
    i = j;
  }
  return out;
}

}  // namespace vexa::ui::uri
