#pragma once
// The initials badge drawn for a contact without a picture: a filled circle whose colour is a
// stable function of the address, so the same person always gets the same colour.
#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "vexa/ui/canvas.h"
#include "vexa/ui/geometry.h"
#include "vexa/ui/theme.h"

namespace vexa::ui {

struct Avatar {
  // Up to two upper-case characters: the first of the first and of the second piece of the
  // name split at white space, ".", "@" and "_"; "?" when the name has no piece.
  static std::string initials(std::string_view name);
  // hash = byte + 31 × hash over the address bytes (32-bit, wrapping), from `seed`; then mod 8.
  static std::size_t color_index(std::string_view address, std::uint32_t seed);
  // Six of the theme's accent colours, then two fixed ones.
  static std::array<Color, 8> palette(const Theme& theme);

  static void draw_at(Canvas& canvas, Point centre, double diameter, std::string_view name,
                      std::string_view address, std::uint32_t seed, const Theme& theme);
};

}  // namespace vexa::ui
