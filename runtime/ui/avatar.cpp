#include "vexa/ui/avatar.h"

#include <vector>

#include "vexa/ui/text.h"
#include "vexa/ui/text_selection.h"

namespace vexa::ui {
namespace {

constexpr char32_t kReplacement = 0xFFFD;

// Decodes the character starting at `i`; a malformed byte decodes as U+FFFD, so initials are
// always valid text.
char32_t decode_at(std::string_view text, std::size_t i, std::size_t end) {
  const auto b0 = static_cast<unsigned char>(text[i]);
  const std::size_t len = end - i;
  if (len == 1) return b0 < 0x80 ? b0 : kReplacement;
  char32_t cp = len == 2 ? (b0 & 0x1F) : len == 3 ? (b0 & 0x0F) : (b0 & 0x07);
  for (std::size_t k = 1; k < len; ++k) {
    cp = (cp << 6) | (static_cast<unsigned char>(text[i + k]) & 0x3F);
  }
  // Overlong forms, surrogates and values past U+10FFFF are not characters.
  const char32_t min = len == 2 ? 0x80 : len == 3 ? 0x800 : 0x10000;
  if (cp < min || (cp >= 0xD800 && cp <= 0xDFFF) || cp > 0x10FFFF) return kReplacement;
  return cp;
}

void append_utf8(std::string& out, char32_t cp) {
  if (cp < 0x80) {
    out += static_cast<char>(cp);
  } else if (cp < 0x800) {
    out += static_cast<char>(0xC0 | (cp >> 6));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    out += static_cast<char>(0xE0 | (cp >> 12));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (cp >> 18));
    out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  }
}

bool is_separator(char32_t c) {
  switch (c) {
    case '.':
    case '@':
    case '_':
    case ' ':
    case '\t':
    case '\n':
    case '\v':
    case '\f':
    case '\r':
    case 0x85:
    case 0xA0:
    case 0x1680:
    case 0x2028:
    case 0x2029:
    case 0x202F:
    case 0x205F:
    case 0x3000:
      return true;
    default:
      return c >= 0x2000 && c <= 0x200A;
  }
}

// Upper case for the scripts names are commonly written in; others are kept as they are, which
// is right for scripts without case.
char32_t to_upper(char32_t c) {
  if (c >= 'a' && c <= 'z') return c - 0x20;
  if (c >= 0xE0 && c <= 0xFE && c != 0xF7) return c - 0x20;
  if (c == 0xFF) return 0x178;
  if ((c >= 0x100 && c <= 0x137) || (c >= 0x14A && c <= 0x177)) return c & ~char32_t{1};
  if ((c >= 0x139 && c <= 0x148) || (c >= 0x179 && c <= 0x17E)) return (c % 2 == 0) ? c - 1 : c;
  if (c == 0x3C2) return 0x3A3;
  if (c >= 0x3B1 && c <= 0x3C9) return c - 0x20;
  if (c >= 0x430 && c <= 0x44F) return c - 0x20;
  if (c >= 0x450 && c <= 0x45F) return c - 0x50;
  return c;
}

}  // namespace

std::string Avatar::initials(std::string_view name) {
  std::vector<char32_t> firsts;
  bool in_piece = false;
  for (std::size_t i = 0; i < name.size() && firsts.size() < 2;) {
    const std::size_t end = text_selection::next_char_boundary(name, i);
    const char32_t c = decode_at(name, i, end);
    if (is_separator(c)) {
      in_piece = false;
    } else if (!in_piece) {
      firsts.push_back(c);
      in_piece = true;
    }
    i = end;
  }
  if (firsts.empty()) return "?";
  std::string out;
  for (char32_t c : firsts) append_utf8(out, to_upper(c));
  return out;
}

std::size_t Avatar::color_index(std::string_view address, std::uint32_t seed) {
  std::uint32_t hash = seed;
  for (char ch : address) hash = static_cast<unsigned char>(ch) + 31u * hash;
  return hash % 8;
}

std::array<Color, 8> Avatar::palette(const Theme& theme) {
  const Colors& c = theme.colors;
  return {c.accent,
          c.success,
          c.warning,
          c.danger,
          c.focus_ring,
          c.warning.mix(c.danger, 0.5),
          Color{0.851, 0.275, 0.937, 1},
          Color{0.078, 0.722, 0.651, 1}};
}

void Avatar::draw_at(Canvas& canvas, Point centre, double diameter, std::string_view name,
                     std::string_view address, std::uint32_t seed, const Theme& theme) {
  if (!(diameter > 0)) return;
  const Color fill = palette(theme)[color_index(address, seed)];
  canvas.fill_circle(centre, diameter / 2, fill);
  // The caller's diameter is already in layout units, so the text is sized from it directly
  // rather than through the text scale a second time.
  TextRenderer text;
  const double size = diameter * 0.4;
  const std::string letters = initials(name);
  const TextMetrics m = text.measure_weighted(letters, size, FontWeight::Semibold);
  text.draw_text_weighted(canvas, letters, centre.x - m.width / 2, centre.y - m.height / 2, size,
                          FontWeight::Semibold, theme.colors.accent_text);
}

}  // namespace vexa::ui
