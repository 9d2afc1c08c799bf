#include "headless_host.h"

#include <algorithm>
#include <cmath>
#include <thread>

#include "vexa/log.h"
#include "vexa/ui/layout.h"
#include "vexa/ui/text.h"
#include "vexa/ui/theme.h"
#include "vexa/ui/toast.h"

namespace vexa::ui {
namespace {

constexpr const char* kTarget = "vexa::host";

}  // namespace

HeadlessHost::HeadlessHost(std::unique_ptr<Widget> root, std::unique_ptr<persist::Document> doc,
                           Size window, double scale_factor)
    : doc_(std::move(doc)),
      root_(std::move(root)),
      window_(window),
      scale_factor_(scale_factor > 0 ? scale_factor : 1.0) {}

HeadlessHost::~HeadlessHost() {
  // Whatever the last call changed must not be lost with the process.
  if (doc_ && doc_->has_pending_changes()) commit();
}

FrameContext HeadlessHost::context() const {
  FrameContext ctx;
  ctx.now = Clock::now();
  ctx.text_scale = text_scale_;
  ctx.scale_factor = scale_factor_;
  ctx.window = window_;
  return ctx;
}

std::expected<void, std::string> HeadlessHost::commit() {
  auto result = doc_->commit();
  if (!result) {
    log::error(kTarget, "host: could not save the document", {{"error", result.error()}});
  }
  return result;
}

void HeadlessHost::run_frame() {
  const FrameContext ctx = context();
  last_frame_ = ctx.now;
  ++frames_run_;
  root_->sync(*doc_, ctx);
  commit();
  if (layout_dirty_ || !surface_ || root_->needs_redraw()) draw_frame(ctx);
}

void HeadlessHost::draw_frame(const FrameContext& ctx) {
  if (!surface_ || surface_->logical_size().width != window_.width ||
      surface_->logical_size().height != window_.height) {
    surface_ = std::make_unique<RasterSurface>(window_, scale_factor_);
  }
  {
    auto canvas = surface_->canvas();
    lay_out_and_paint(*root_, ctx, *canvas);
  }
  layout_dirty_ = false;
  ++frames_drawn_;

  std::optional<std::string> painted = toast::last_painted_text();
  if (painted != status_) {
    status_ = std::move(painted);
    if (status_listener_) status_listener_(status_);
  }
}

bool HeadlessHost::idle() {
  return !root_->needs_animation_frame() && !root_->needs_idle_sync() && !root_->needs_redraw() &&
         !root_->next_wakeup().has_value();
}

std::optional<Clock::time_point> HeadlessHost::next_frame_due() {
  const Clock::time_point cadence = last_frame_ + kFrameInterval;
  if (root_->needs_animation_frame() || root_->needs_idle_sync() || root_->needs_redraw() ||
      layout_dirty_) {
    return cadence;
  }
  if (auto wake = root_->next_wakeup()) return std::max(*wake, cadence);
  return std::nullopt;
}

bool HeadlessHost::run_until(Clock::time_point deadline, bool stop_when_idle) {
  for (;;) {
    run_frame();
    if (stop_when_idle && idle()) return true;
    if (Clock::now() >= deadline) break;
    const auto due = next_frame_due();
    std::this_thread::sleep_until(due ? std::min(*due, deadline) : deadline);
  }
  return idle();
}

EventResult HeadlessHost::deliver(const Event& event) {
  const EventResult result = root_->handle_event(event, *doc_);
  commit();
  return result;
}

bool HeadlessHost::perform_semantic_action(std::string_view id, std::string_view action) {
  const bool accepted = root_->perform_semantic_action(id, action, *doc_);
  commit();
  return accepted;
}

void HeadlessHost::resize(Size window) {
  window_ = window;
  layout_dirty_ = true;
}

void HeadlessHost::set_text_scale(float scale) {
  text_scale_ = std::isfinite(scale) && scale > 0 ? scale : 1.0f;
  layout_dirty_ = true;
}

std::expected<void, std::string> HeadlessHost::screenshot(const std::filesystem::path& path) {
  if (layout_dirty_ || !surface_ || root_->needs_redraw()) draw_frame(context());
  return surface_->write_png(path);
}

}  // namespace vexa::ui
