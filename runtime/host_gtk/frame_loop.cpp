#include "frame_loop.h"

#include <algorithm>

#include "vexa/log.h"
#include "vexa/ui/canvas.h"
#include "vexa/ui/layout.h"
#include "vexa/ui/text.h"
#include "vexa/ui/theme.h"
#include "vexa/ui/toast.h"

namespace vexa::ui {
namespace {

constexpr const char* kTarget = "vexa::host";

}  // namespace

FrameLoop::FrameLoop(std::unique_ptr<Widget> root, std::unique_ptr<persist::Document> doc,
                     Size window, double scale_factor)
    : doc_(std::move(doc)),
      root_(std::move(root)),
      window_(window),
      scale_factor_(scale_factor > 0 ? scale_factor : 1.0) {}

FrameLoop::~FrameLoop() { close(); }

FrameContext FrameLoop::context() const {
  FrameContext ctx;
  ctx.now = Clock::now();
  ctx.scale_factor = scale_factor_;
  ctx.window = window_;
  return ctx;
}

void FrameLoop::commit() {
  if (!doc_) return;
  auto result = doc_->commit();
  if (!result) {
    log::error(kTarget, "host: could not save the document", {{"error", result.error()}});
  }
}

void FrameLoop::run_frame() {
  if (!root_) return;
  const FrameContext ctx = context();
  last_frame_ = ctx.now;
  ++frames_run_;
  root_->sync(*doc_, ctx);
  commit();
}

bool FrameLoop::wants_draw() const { return root_ && (layout_dirty_ || root_->needs_redraw()); }

void FrameLoop::draw(cairo_t* cr) {
  if (!root_) return;
  // The toolkit may paint before the first tick: the root must have synced once.
  if (frames_run_ == 0) run_frame();
  Canvas canvas(cr, 1.0);
  lay_out_and_paint(*root_, context(), canvas);
  layout_dirty_ = false;
  ++frames_drawn_;
}

EventResult FrameLoop::deliver(const Event& event) {
  if (!root_) return EventResult::Ignored;
  const EventResult result = root_->handle_event(event, *doc_);
  commit();
  return result;
}

void FrameLoop::resize(Size window) {
  if (window.width == window_.width && window.height == window_.height) return;
  window_ = window;
  layout_dirty_ = true;
}

void FrameLoop::set_scale_factor(double scale_factor) {
  if (scale_factor <= 0 || scale_factor == scale_factor_) return;
  scale_factor_ = scale_factor;
  layout_dirty_ = true;
}

FramePlan FrameLoop::plan() {
  FramePlan plan;
  if (!root_) return plan;
  if (root_->needs_animation_frame() || root_->needs_idle_sync()) {
    plan.tick = true;
    return plan;
  }
  // A wake-up already past must not turn into a frame-after-frame spin.
  if (auto wake = root_->next_wakeup()) plan.wakeup = std::max(*wake, last_frame_ + kFrameInterval);
  return plan;
}

void FrameLoop::close() {
  if (root_) commit();
  root_.reset();
  doc_.reset();
}

}  // namespace vexa::ui
