#pragma once
// The pane's internals, shared by its layout, input and drawing files.
#include <initializer_list>
#include <string>

#include "vexa/ui/canvas.h"
#include "vexa/ui/text.h"
#include "vexa/ui/theme.h"
#include "views/pane.h"

namespace mail::views {

// Spacing the theme does not carry yet; kept here until it does.
inline constexpr double kRowMargin = 12;
inline constexpr double kLineGap = 3;
inline constexpr double kControlMargin = 8;

// The renderer's weights named 0 (lightest) to 3 (heaviest).
vexa::ui::FontWeight weight(int level);

// The text scale limited to what the layout sizes are meant for.
double clamped_scale(float text_scale);

// Metrics measured from real text at a renderer's text scale.
ListMetrics measure_list_metrics(const vexa::ui::TextRenderer& text);

struct Pane::Impl {
  static vexa::ui::Rect shell_control(const Pane& p);
  static double content_inset(const Pane& p);

  static void layout_sidebar(Pane& p);
  static void layout_list(Pane& p);
  static void layout_reader(Pane& p);

  // The first region containing `at`, trying the kinds in the order given.
  static const HitRegion* find(const Pane& p, vexa::ui::Point at,
                               std::initializer_list<RegionKind> kinds);

  static vexa::ui::EventResult press_sidebar(Pane& p, vexa::ui::Point at);
  static vexa::ui::EventResult press_list(Pane& p, vexa::ui::Point at,
                                          vexa::persist::Document& doc);
  static vexa::ui::EventResult press_reader(Pane& p, vexa::ui::Point at,
                                            vexa::persist::Document& doc);
  static vexa::ui::EventResult search_key(Pane& p, const vexa::ui::Event& event,
                                          vexa::persist::Document& doc);
  static void focus_search(Pane& p, bool focused);

  static void draw_sidebar(Pane& p, vexa::ui::Canvas& canvas);
  static void draw_list(Pane& p, vexa::ui::Canvas& canvas);
  static void draw_reader(Pane& p, vexa::ui::Canvas& canvas);

  static std::optional<std::string> tooltip_for(const Pane& p, const HitRegion& region);
};

}  // namespace mail::views
