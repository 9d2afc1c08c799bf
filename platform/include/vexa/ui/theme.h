#pragma once
// The look: one dark, calm palette, the type sizes, and the text scale that every size is
// multiplied by. Widgets take the theme from the frame context at each layout build.
#include "vexa/ui/canvas.h"

namespace vexa::ui {

struct Colors {
  Color background;
  Color surface;
  Color surface_raised;
  Color text;
  Color text_muted;
  Color accent;
  Color accent_text;  // text drawn on the accent colour
  Color danger;
  Color warning;
  Color success;
  Color border;
  Color selection;
  Color focus_ring;

  static Colors dark();
};

// Font sizes in logical pixels at text scale 1.
struct Typography {
  double caption = 12;
  double small = 13;
  double body = 14;
  double label = 14;
  double subtitle = 16;
  double title = 20;
  double heading = 26;

  double line_height = 1.4;  // multiple of the font size for wrapped paragraphs
};

struct Theme {
  Colors colors = Colors::dark();
  Typography type;
  float text_scale = 1.0f;
  double corner_radius = 8;

  static Theme dark() { return {}; }
  // The theme in use when no frame context is at hand: the palette at text scale 1.
  static const Theme& current();
  // The same theme with another text scale; non-finite or non-positive scales give 1.
  Theme with_text_scale(float scale) const;
  // A size multiplied by the text scale.
  double scaled(double size) const { return size * text_scale; }
};

}  // namespace vexa::ui
