#pragma once
// GDK input values to the events the root widget receives, the same events the headless
// driver produces for the same gestures. Takes GDK's plain integers so that callers need not
// see GTK headers.
#include <optional>

#include "vexa/ui/event.h"
#include "vexa/ui/geometry.h"

namespace vexa::ui {

// GdkModifierType bits to our modifiers.
Modifiers modifiers_from_gdk(unsigned state);

// A key press or release from its GDK keyval and modifier state. Named keys keep their names,
// other keys become the character they produce; a plain or shifted character (and Space) also
// carries its text, a chord with Ctrl, Alt or Cmd does not. Modifier keys alone and keys that
// produce nothing give no event.
std::optional<KeyEvent> key_event_from_gdk(unsigned keyval, unsigned state, bool pressed);

// GDK button numbers (1 primary, 2 middle, 3 secondary); other buttons give no event.
std::optional<PointerButton> pointer_button_from_gdk(unsigned button);

// A scroll from GDK's deltas: wheel steps are lines; smooth deltas arrive in logical pixels
// and leave in device pixels, which receivers divide by the scale factor.
ScrollEvent scroll_event_from_gdk(double dx, double dy, bool wheel_steps, Point at,
                                  double scale_factor);

}  // namespace vexa::ui
