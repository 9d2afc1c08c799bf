#pragma once
// Input from the GTK window to root events: keys (through the input method, so that composed
// and IME text arrives as text), pointer moves, presses and releases, and scrolling.
#include <gtk/gtk.h>

#include <functional>
#include <string>

#include "vexa/ui/event.h"
#include "vexa/ui/geometry.h"

namespace vexa::ui {

class WindowInput {
 public:
  using Sink = std::function<EventResult(const Event&)>;

  // Keys are read on `window` (whatever has focus inside it), the pointer on `area`.
  WindowInput(GtkWidget* window, GtkWidget* area, Sink sink, std::function<double()> scale_factor);
  ~WindowInput();
  WindowInput(const WindowInput&) = delete;
  WindowInput& operator=(const WindowInput&) = delete;

  void set_focus(bool focused);

 private:
  static gboolean on_key_pressed(GtkEventControllerKey* controller, guint keyval, guint keycode,
                                 GdkModifierType state, gpointer self);
  static void on_key_released(GtkEventControllerKey* controller, guint keyval, guint keycode,
                              GdkModifierType state, gpointer self);
  static void on_commit(GtkIMContext* im, const char* text, gpointer self);
  static void on_motion(GtkEventControllerMotion* controller, double x, double y, gpointer self);
  static void on_drag_begin(GtkGestureDrag* gesture, double x, double y, gpointer self);
  static void on_drag_update(GtkGestureDrag* gesture, double dx, double dy, gpointer self);
  static void on_drag_end(GtkGestureDrag* gesture, double dx, double dy, gpointer self);
  static gboolean on_scroll(GtkEventControllerScroll* controller, double dx, double dy,
                            gpointer self);

  bool key(GtkEventController* controller, guint keyval, GdkModifierType state, bool pressed);
  EventResult pointer(PointerEvent::Type type, Point at, GtkEventController* controller);

  GtkWidget* area_;
  Sink sink_;
  std::function<double()> scale_factor_;
  GtkIMContext* im_;
  // While a key goes through the input method, what it commits is collected here.
  bool filtering_ = false;
  std::string committed_;
  Point pointer_{};
  bool pointer_known_ = false;
  PointerButton drag_button_ = PointerButton::Primary;
  bool dragging_ = false;
};

}  // namespace vexa::ui
