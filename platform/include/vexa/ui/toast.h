#pragma once
// Transient toasts: a rounded pill at the bottom centre of the window. The last text painted is
// remembered per UI thread so that a host can report what the user currently sees.
#include <optional>
#include <string>
#include <string_view>

#include "vexa/ui/canvas.h"
#include "vexa/ui/geometry.h"
#include "vexa/ui/text.h"

namespace vexa::ui::toast {

// 0 neutral (progress), 1 info, 2 warning, 3 error; other values paint as neutral.
enum Tone : int { kNeutral = 0, kInfo = 1, kWarning = 2, kError = 3 };

// Paints the pill and returns its rectangle; empty text paints nothing.
Rect paint_transient(Canvas& canvas, const TextRenderer& text, Rect window,
                     std::string_view message, int tone);

// Hosts call this before drawing a frame; after it, `last_painted_text` is the toast painted in
// that frame, or nullopt when none was.
void begin_frame();
std::optional<std::string> last_painted_text();

}  // namespace vexa::ui::toast

namespace vexa::ui::widget {
namespace toast = ::vexa::ui::toast;
}  // namespace vexa::ui::widget
