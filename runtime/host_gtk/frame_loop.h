#pragma once
// The window's frames, apart from GTK: a frame is sync and commit of the document; drawing is
// layout and paint into the cairo context the toolkit hands over. `plan` tells the host how to
// wait for the next frame, so that an idle window runs nothing at all.
#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>

#include "vexa/ui/event.h"
#include "vexa/ui/persist.h"
#include "vexa/ui/widget.h"

extern "C" {
typedef struct _cairo cairo_t;
}

namespace vexa::ui {

struct FramePlan {
  // Run a frame on every display refresh.
  bool tick = false;
  // Otherwise run one frame at this instant; neither: sleep until input arrives.
  std::optional<Clock::time_point> wakeup;
  friend bool operator==(const FramePlan&, const FramePlan&) = default;
};

class FrameLoop {
 public:
  static constexpr std::chrono::milliseconds kFrameInterval{16};

  FrameLoop(std::unique_ptr<Widget> root, std::unique_ptr<persist::Document> doc, Size window,
            double scale_factor);
  ~FrameLoop();
  FrameLoop(const FrameLoop&) = delete;
  FrameLoop& operator=(const FrameLoop&) = delete;

  // False once closed: the root is gone.
  bool open() const { return root_ != nullptr; }
  Size window() const { return window_; }
  double scale_factor() const { return scale_factor_; }

  void run_frame();
  // The root or the window changed since the last paint.
  bool wants_draw() const;
  // Lays out and paints; `cr` is in logical pixels (the toolkit's surface carries the device
  // scale).
  void draw(cairo_t* cr);
  // Delivers an input event to the root and commits what it changed.
  EventResult deliver(const Event& event);
  void resize(Size window);
  void set_scale_factor(double scale_factor);

  // How to wait after a frame: tick while the root animates or has idle work; one wake-up at
  // its instant, never sooner than one frame interval after the last frame; else nothing.
  FramePlan plan();

  // Commits, then drops the root (which ends whatever it owns, the mail worker included) and
  // the document.
  void close();

  std::uint64_t frames_run() const { return frames_run_; }
  std::uint64_t frames_drawn() const { return frames_drawn_; }

 private:
  FrameContext context() const;
  void commit();

  std::unique_ptr<persist::Document> doc_;
  std::unique_ptr<Widget> root_;
  Size window_;
  double scale_factor_;
  bool layout_dirty_ = true;
  Clock::time_point last_frame_{};
  std::uint64_t frames_run_ = 0;
  std::uint64_t frames_drawn_ = 0;
};

}  // namespace vexa::ui
