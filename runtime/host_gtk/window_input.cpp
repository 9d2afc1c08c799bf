#include "window_input.h"

#include "key_map.h"

namespace vexa::ui {

WindowInput::WindowInput(GtkWidget* window, GtkWidget* area, Sink sink,
                         std::function<double()> scale_factor)
    : area_(area),
      sink_(std::move(sink)),
      scale_factor_(std::move(scale_factor)),
      im_(gtk_im_multicontext_new()) {
  gtk_im_context_set_client_widget(im_, area_);
  g_signal_connect(im_, "commit", G_CALLBACK(on_commit), this);

  GtkEventController* keys = gtk_event_controller_key_new();
  g_signal_connect(keys, "key-pressed", G_CALLBACK(on_key_pressed), this);
  g_signal_connect(keys, "key-released", G_CALLBACK(on_key_released), this);
  gtk_widget_add_controller(window, keys);

  GtkEventController* motion = gtk_event_controller_motion_new();
  g_signal_connect(motion, "motion", G_CALLBACK(on_motion), this);
  gtk_widget_add_controller(area_, motion);

  // A drag gesture rather than a click gesture: a click gesture gives up (and never reports
  // the release) once the pointer moves, which would strand a drag in the root.
  GtkGesture* drag = gtk_gesture_drag_new();
  gtk_gesture_single_set_button(GTK_GESTURE_SINGLE(drag), 0);
  g_signal_connect(drag, "drag-begin", G_CALLBACK(on_drag_begin), this);
  g_signal_connect(drag, "drag-update", G_CALLBACK(on_drag_update), this);
  g_signal_connect(drag, "drag-end", G_CALLBACK(on_drag_end), this);
  gtk_widget_add_controller(area_, GTK_EVENT_CONTROLLER(drag));

  GtkEventController* scroll =
      gtk_event_controller_scroll_new(GTK_EVENT_CONTROLLER_SCROLL_BOTH_AXES);
  g_signal_connect(scroll, "scroll", G_CALLBACK(on_scroll), this);
  gtk_widget_add_controller(area_, scroll);
}

WindowInput::~WindowInput() {
  g_signal_handlers_disconnect_by_data(im_, this);
  gtk_im_context_set_client_widget(im_, nullptr);
  g_object_unref(im_);
}

void WindowInput::set_focus(bool focused) {
  if (focused) {
    gtk_im_context_focus_in(im_);
  } else {
    gtk_im_context_focus_out(im_);
  }
}

bool WindowInput::key(GtkEventController* controller, guint keyval, GdkModifierType state,
                      bool pressed) {
  const auto mapped = key_event_from_gdk(keyval, state, pressed);
  if (GdkEvent* event = gtk_event_controller_get_current_event(controller)) {
    filtering_ = true;
    committed_.clear();
    const bool taken = gtk_im_context_filter_keypress(im_, event);
    filtering_ = false;
    if (taken) {
      // Composing: nothing to deliver until the input method commits.
      if (committed_.empty()) return true;
      // A plain key the input method merely typed is still that key, as shortcuts expect.
      if (mapped && mapped->pressed && committed_ == mapped->text) {
        sink_(*mapped);
      } else {
        sink_(TextEvent{committed_});
      }
      committed_.clear();
      return true;
    }
  }
  if (!mapped) return false;
  return sink_(*mapped) == EventResult::Consumed;
}

gboolean WindowInput::on_key_pressed(GtkEventControllerKey* controller, guint keyval, guint,
                                     GdkModifierType state, gpointer self) {
  return static_cast<WindowInput*>(self)->key(GTK_EVENT_CONTROLLER(controller), keyval, state,
                                              true);
}

void WindowInput::on_key_released(GtkEventControllerKey* controller, guint keyval, guint,
                                  GdkModifierType state, gpointer self) {
  static_cast<WindowInput*>(self)->key(GTK_EVENT_CONTROLLER(controller), keyval, state, false);
}

void WindowInput::on_commit(GtkIMContext*, const char* text, gpointer self) {
  auto* input = static_cast<WindowInput*>(self);
  if (text == nullptr || *text == '\0') return;
  if (input->filtering_) {
    input->committed_ += text;
    return;
  }
  // Input methods that answer later commit outside any key press.
  input->sink_(TextEvent{text});
}

EventResult WindowInput::pointer(PointerEvent::Type type, Point at,
                                 GtkEventController* controller) {
  // The motion controller and the drag gesture both report a held move; deliver it once.
  if (type == PointerEvent::Type::Move && pointer_known_ && at.x == pointer_.x &&
      at.y == pointer_.y) {
    return EventResult::Ignored;
  }
  pointer_ = at;
  pointer_known_ = true;
  PointerEvent e;
  e.type = type;
  e.x = at.x;
  e.y = at.y;
  e.button = dragging_ ? drag_button_ : PointerButton::Primary;
  e.modifiers = modifiers_from_gdk(gtk_event_controller_get_current_event_state(controller));
  return sink_(e);
}

void WindowInput::on_motion(GtkEventControllerMotion* controller, double x, double y,
                            gpointer self) {
  static_cast<WindowInput*>(self)->pointer(PointerEvent::Type::Move, {x, y},
                                           GTK_EVENT_CONTROLLER(controller));
}

void WindowInput::on_drag_begin(GtkGestureDrag* gesture, double x, double y, gpointer self) {
  auto* input = static_cast<WindowInput*>(self);
  const auto button =
      pointer_button_from_gdk(gtk_gesture_single_get_current_button(GTK_GESTURE_SINGLE(gesture)));
  if (!button) {
    gtk_gesture_set_state(GTK_GESTURE(gesture), GTK_EVENT_SEQUENCE_DENIED);
    return;
  }
  auto* controller = GTK_EVENT_CONTROLLER(gesture);
  input->pointer(PointerEvent::Type::Move, {x, y}, controller);
  input->drag_button_ = *button;
  input->dragging_ = true;
  input->pointer(PointerEvent::Type::Press, {x, y}, controller);
  // Keys typed after a click go to this window's root, not to some other widget.
  gtk_widget_grab_focus(input->area_);
}

void WindowInput::on_drag_update(GtkGestureDrag* gesture, double dx, double dy, gpointer self) {
  auto* input = static_cast<WindowInput*>(self);
  if (!input->dragging_) return;
  double x = 0, y = 0;
  gtk_gesture_drag_get_start_point(gesture, &x, &y);
  input->pointer(PointerEvent::Type::Move, {x + dx, y + dy}, GTK_EVENT_CONTROLLER(gesture));
}

void WindowInput::on_drag_end(GtkGestureDrag* gesture, double dx, double dy, gpointer self) {
  auto* input = static_cast<WindowInput*>(self);
  if (!input->dragging_) return;
  double x = 0, y = 0;
  gtk_gesture_drag_get_start_point(gesture, &x, &y);
  input->pointer(PointerEvent::Type::Release, {x + dx, y + dy}, GTK_EVENT_CONTROLLER(gesture));
  input->dragging_ = false;
}

gboolean WindowInput::on_scroll(GtkEventControllerScroll* controller, double dx, double dy,
                                gpointer self) {
  auto* input = static_cast<WindowInput*>(self);
  const bool wheel = gtk_event_controller_scroll_get_unit(controller) == GDK_SCROLL_UNIT_WHEEL;
  const ScrollEvent e =
      scroll_event_from_gdk(dx, dy, wheel, input->pointer_, input->scale_factor_());
  return input->sink_(e) == EventResult::Consumed;
}

}  // namespace vexa::ui
