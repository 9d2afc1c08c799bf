#pragma once
// The headless host: runs the root widget's frames without a display. A frame is sync, commit
// of the document, and, when the root asks for it, layout and drawing into an image surface.
#include <chrono>
#include <expected>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "vexa/ui/canvas.h"
#include "vexa/ui/event.h"
#include "vexa/ui/persist.h"
#include "vexa/ui/widget.h"

namespace vexa::ui {

class HeadlessHost {
 public:
  static constexpr std::chrono::milliseconds kFrameInterval{16};

  HeadlessHost(std::unique_ptr<Widget> root, std::unique_ptr<persist::Document> doc, Size window,
               double scale_factor = 1.0);
  ~HeadlessHost();

  Widget& root() { return *root_; }
  persist::Document& document() { return *doc_; }
  Size window() const { return window_; }
  float text_scale() const { return text_scale_; }
  double scale_factor() const { return scale_factor_; }

  // One frame now.
  void run_frame();
  // Frames in real time until `deadline`, at the root's cadence; with `stop_when_idle`, stops
  // as soon as the root is idle. Returns whether the root is idle at the end.
  bool run_until(Clock::time_point deadline, bool stop_when_idle);
  // Nothing to do: no animation, no idle sync, no wake-up and nothing to redraw.
  bool idle();
  // When the next frame should run: 16 ms after the last while the root is active, at its
  // wake-up otherwise, never (nullopt) when idle.
  std::optional<Clock::time_point> next_frame_due();

  // Delivers an input event to the root and commits what it changed.
  EventResult deliver(const Event& event);
  bool perform_semantic_action(std::string_view id, std::string_view action);
  void resize(Size window);
  void set_text_scale(float scale);

  // Writes the current frame, drawing one first when the root has changed.
  std::expected<void, std::string> screenshot(const std::filesystem::path& path);
  // Commits pending document changes; a failure is logged and returned.
  std::expected<void, std::string> commit();

  // The text of the toast painted in the last drawn frame.
  const std::optional<std::string>& status_text() const { return status_; }
  // Called after a drawn frame whenever the painted toast text changed.
  void set_status_listener(std::function<void(const std::optional<std::string>&)> listener) {
    status_listener_ = std::move(listener);
  }

  std::uint64_t frames_run() const { return frames_run_; }
  std::uint64_t frames_drawn() const { return frames_drawn_; }
  const RasterSurface* surface() const { return surface_.get(); }

 private:
  FrameContext context() const;
  void draw_frame(const FrameContext& ctx);

  std::unique_ptr<persist::Document> doc_;
  std::unique_ptr<Widget> root_;
  Size window_;
  double scale_factor_;
  float text_scale_ = 1.0f;
  std::unique_ptr<RasterSurface> surface_;
  bool layout_dirty_ = true;
  Clock::time_point last_frame_{};
  std::optional<std::string> status_;
  std::function<void(const std::optional<std::string>&)> status_listener_;
  std::uint64_t frames_run_ = 0;
  std::uint64_t frames_drawn_ = 0;
};

}  // namespace vexa::ui
