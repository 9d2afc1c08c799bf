#include "core/main_view.h"

#include <algorithm>
#include <cmath>

#include "vexa/ui/layout.h"
#include "vexa/ui/text.h"

namespace mail::core {

namespace {

constexpr double kBreakpoint = 860;

}  // namespace

MainView::MainView(SharedState state, views::PaneHost& host) : state_(std::move(state)) {
  auto sidebar = std::make_unique<views::Pane>(views::PaneKind::Sidebar, state_, host);
  auto list = std::make_unique<views::Pane>(views::PaneKind::List, state_, host);
  auto reader = std::make_unique<views::Pane>(views::PaneKind::Reader, state_, host);
  sidebar_ = sidebar.get();
  list_ = list.get();
  reader_ = reader.get();
  shell_ = std::make_unique<vexa::ui::NavShell>(std::move(list), std::move(reader));
  shell_->with_sidebar(std::move(sidebar));
  shell_->set_collapse_breakpoint(kBreakpoint);
  shell_->set_wide_breakpoint(kBreakpoint);
  shell_->set_column_widths({260, 340});
  shell_->set_wide_column_widths({260, 340});
  shell_->set_animated(false);
}

void MainView::publish_flags(double root_width) {
  LayoutFlags flags;
  flags.narrow = root_width < shell_->collapse_breakpoint();
  flags.detail_shown = shell_->has_detail() && shell_->detail_shown();
  flags.sidebar_shown = shell_->has_sidebar() && shell_->sidebar_shown();
  MailState& s = *state_;
  if (s.layout.narrow != flags.narrow || s.layout.detail_shown != flags.detail_shown ||
      s.layout.sidebar_shown != flags.sidebar_shown) {
    s.layout = flags;
    s.changed = true;
  }
}

void MainView::lay_out_shell(vexa::ui::Rect root, const vexa::ui::FrameContext& ctx) {
  // A tree of its own every pass: it holds only the shell's few nodes.
  vexa::ui::LayoutEngine engine;
  auto node = shell_->build_layout(engine, ctx);
  if (!node) return;
  vexa::ui::LayoutStyle style = engine.style(*node);
  style.width = vexa::ui::Dimension::points(root.width());
  style.height = vexa::ui::Dimension::points(root.height());
  engine.set_style(*node, style);
  vexa::ui::TextRenderer text;
  text.set_text_scale(ctx.theme().text_scale);
  engine.compute(*node, {root.width(), root.height()}, &text);
  shell_->apply_layout(engine, root);
}

void MainView::layout(vexa::ui::Rect root, const vexa::ui::FrameContext& ctx) {
  // The frame's own scale, not the theme's (which turns 0 into 1): a scale of 0 must still give
  // a breakpoint of 1, never 0.
  const double scale = std::isfinite(ctx.text_scale) ? ctx.text_scale : 1.0;
  shell_->set_collapse_breakpoint(std::max(kBreakpoint * scale, 1.0));
  shell_->set_needs_redraw(true);
  publish_flags(root.width());
  lay_out_shell(root, ctx);
  if (snap_pending_) {
    shell_->snap();
    snap_pending_ = false;
    publish_flags(root.width());
    lay_out_shell(root, ctx);
  }
  publish_flags(root.width());
  const vexa::ui::Rect control = shell_->control_rect();
  MailState& s = *state_;
  const bool present = control.right > control.left && control.bottom > control.top;
  s.shell_control = present ? control : vexa::ui::Rect{};
  s.shell_control_present = present;
}

void MainView::draw(vexa::ui::Canvas& canvas) { shell_->draw_with_presence(canvas, 1.0); }

vexa::ui::EventResult MainView::handle_event(const vexa::ui::Event& event,
                                             vexa::persist::Document& doc) {
  return shell_->handle_event(event, doc);
}

void MainView::sync(vexa::persist::Document& doc, const vexa::ui::FrameContext& ctx) {
  shell_->sync(doc, ctx);
}

bool MainView::needs_redraw() const { return shell_->needs_redraw(); }
void MainView::reset_redraw() { shell_->reset_redraw(); }
bool MainView::needs_animation_frame() const { return shell_->needs_animation_frame(); }

void MainView::show_reader() {
  shell_->set_detail_shown(true);
  shell_->snap();
}

void MainView::show_list() {
  shell_->set_detail_shown(false);
  shell_->snap();
}

void MainView::close_drawer() {
  // Only a drawer closes: in the side-by-side arrangement choosing a folder must not fold the
  // sidebar column away. Closing through the shell keeps automatic mode, so a window widened
  // later shows the column again.
  if (shell_->has_sidebar() && shell_->narrow()) shell_->snap_sidebar(false);
}

std::string MainView::current_view() const {
  const LayoutFlags& f = state_->layout;
  if (!f.narrow) return "folders, message list, and reading pane";
  if (f.sidebar_shown) return "folder drawer";
  if (f.detail_shown) return "reading pane";
  return "message list";
}

}  // namespace mail::core
