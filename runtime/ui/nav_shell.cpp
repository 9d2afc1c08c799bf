#include "vexa/ui/nav_shell.h"

#include <algorithm>
#include <cmath>
#include <utility>

#include "vexa/ui/button.h"
#include "vexa/ui/canvas.h"
#include "vexa/ui/layout.h"

namespace vexa::ui {
namespace {

constexpr double kSlideSeconds = 0.18;
constexpr double kControlInset = 12;
constexpr double kControlSize = 36;
// The drawer leaves a strip of the pane beneath it visible, so it reads as something on top
// that a press beside it dismisses.
constexpr double kDrawerExtra = 40;
constexpr double kDrawerMargin = 48;

double sanitized(double width) { return std::isfinite(width) && width > 0 ? width : 0; }

Rect intersect(Rect a, Rect b) {
  return {std::max(a.left, b.left), std::max(a.top, b.top), std::min(a.right, b.right),
          std::min(a.bottom, b.bottom)};
}

double approach(double value, double target, double step) {
  return value < target ? std::min(target, value + step) : std::max(target, value - step);
}

}  // namespace

NavShell::NavShell(std::unique_ptr<Widget> list, std::unique_ptr<Widget> detail)
    : list_(std::move(list)), detail_(std::move(detail)) {}

NavShell& NavShell::with_sidebar(std::unique_ptr<Widget> sidebar) {
  sidebar_ = std::move(sidebar);
  state_changed();
  return *this;
}

void NavShell::set_collapse_breakpoint(double width) {
  const double value = sanitized(width);
  if (value == collapse_breakpoint_) return;
  collapse_breakpoint_ = value;
  state_changed();
}

void NavShell::set_wide_breakpoint(double width) {
  wide_breakpoint_ = sanitized(width);
  redraw_ = true;
}

void NavShell::set_column_widths(ColumnWidths widths) {
  widths_ = {sanitized(widths.sidebar), sanitized(widths.list)};
  redraw_ = true;
}

void NavShell::set_wide_column_widths(ColumnWidths widths) {
  wide_widths_ = {sanitized(widths.sidebar), sanitized(widths.list)};
  redraw_ = true;
}

void NavShell::set_detail_shown(bool shown) {
  if (shown == detail_shown_) return;
  detail_shown_ = shown;
  state_changed();
}

void NavShell::set_sidebar_mode(SidebarMode mode) {
  if (mode == sidebar_mode_) return;
  sidebar_mode_ = mode;
  state_changed();
}

void NavShell::set_sidebar_pinned(bool pinned) {
  if (pinned == sidebar_pinned_) return;
  sidebar_pinned_ = pinned;
  state_changed();
}

bool NavShell::sidebar_shown() const {
  if (!sidebar_) return false;
  switch (sidebar_mode_) {
    case SidebarMode::Open:
      return true;
    case SidebarMode::Closed:
      return false;
    case SidebarMode::Automatic:
      return available_width_ >= collapse_breakpoint_ && sidebar_pinned_;
  }
  return false;
}

double NavShell::detail_target() const { return narrow() && detail_ && detail_shown_ ? 1 : 0; }
double NavShell::drawer_target() const { return narrow() && sidebar_shown() ? 1 : 0; }

void NavShell::state_changed() {
  redraw_ = true;
  if (!animated_) snap();
}

void NavShell::snap() {
  detail_presence_ = detail_target();
  drawer_presence_ = drawer_target();
  last_tick_.reset();
  redraw_ = true;
}

void NavShell::snap_sidebar(bool open) {
  if (!sidebar_) return;
  if (open) {
    sidebar_mode_ = SidebarMode::Open;
  } else {
    sidebar_mode_ = narrow() ? SidebarMode::Automatic : SidebarMode::Closed;
  }
  drawer_presence_ = drawer_target();
  redraw_ = true;
}

void NavShell::open_drawer() { set_sidebar_mode(SidebarMode::Open); }

void NavShell::close_drawer() {
  set_sidebar_mode(narrow() ? SidebarMode::Automatic : SidebarMode::Closed);
}

std::optional<ShellControl> NavShell::take_control_activated() {
  return std::exchange(control_activated_, std::nullopt);
}

void NavShell::sync(persist::Document& doc, const FrameContext& ctx) {
  for (Widget* child : children()) child->sync(doc, ctx);
  const double detail_goal = detail_target();
  const double drawer_goal = drawer_target();
  if (detail_presence_ == detail_goal && drawer_presence_ == drawer_goal) {
    last_tick_.reset();
    return;
  }
  if (!animated_) {
    snap();
    return;
  }
  if (last_tick_) {
    const double elapsed = std::chrono::duration<double>(ctx.now - *last_tick_).count();
    const double step = std::clamp(elapsed / kSlideSeconds, 0.0, 1.0);
    detail_presence_ = approach(detail_presence_, detail_goal, step);
    drawer_presence_ = approach(drawer_presence_, drawer_goal, step);
  }
  last_tick_ = ctx.now;
  redraw_ = true;
}

std::expected<LayoutNode, std::string> NavShell::build_layout(LayoutEngine& engine,
                                                              const FrameContext& ctx) {
  theme_ = ctx.theme();
  // The children get their own nodes so they see this frame's theme; where they go is decided
  // here, in apply_layout, not by the engine.
  std::vector<LayoutNode> nodes;
  for (Widget* child : children()) {
    auto node = child->build_layout(engine, ctx);
    if (!node) return std::unexpected(node.error());
    nodes.push_back(*node);
  }
  auto node = engine.new_node(LayoutStyle::fill(), nodes);
  if (node) engine.set_widget(*node, this);
  return node;
}

Rect NavShell::drawer_rect() const {
  const double width =
      std::min(widths_.sidebar + kDrawerExtra, std::max(0.0, rect_.width() - kDrawerMargin));
  const double left = rect_.left - (1 - drawer_presence_) * width;
  return {left, rect_.top, left + width, rect_.bottom};
}

void NavShell::apply_layout(const LayoutEngine& engine, Rect rect) {
  if (rect != rect_) redraw_ = true;
  const bool was_narrow = narrow();
  rect_ = rect;
  available_width_ = rect.width();
  // Crossing the breakpoint is a new arrangement, not a slide from the old one.
  if (narrow() != was_narrow || !animated_) snap();

  const double L = rect.left, T = rect.top, R = rect.right, B = rect.bottom;
  const double W = rect.width();
  if (!narrow()) {
    const ColumnWidths widths = W >= wide_breakpoint_ ? wide_widths_ : widths_;
    double x = L;
    if (sidebar_ && sidebar_shown()) {
      sidebar_rect_ = {x, T, std::min(R, x + widths.sidebar), B};
      x = sidebar_rect_.right;
    } else {
      sidebar_rect_ = {L - widths.sidebar, T, L, B};
    }
    if (detail_) {
      list_rect_ = {x, T, std::min(R, x + widths.list), B};
      detail_rect_ = {list_rect_.right, T, R, B};
    } else {
      list_rect_ = {x, T, R, B};
      detail_rect_ = {};
    }
  } else {
    // The detail slides in from the right and pushes the list out to the left.
    const double shift = detail_presence_ * W;
    list_rect_ = {L - shift, T, R - shift, B};
    detail_rect_ = detail_ ? Rect{R - shift, T, R - shift + W, B} : Rect{};
    sidebar_rect_ = drawer_rect();
  }

  list_->apply_layout(engine, list_rect_);
  if (detail_) detail_->apply_layout(engine, detail_rect_);
  if (sidebar_) sidebar_->apply_layout(engine, sidebar_rect_);

  if (narrow()) {
    if (drawer_target() > 0) {
      control_ = ShellControl::CloseDrawer;
    } else if (detail_target() > 0) {
      control_ = ShellControl::Back;
    } else {
      control_ = sidebar_ ? ShellControl::Menu : ShellControl::None;
    }
  } else if (sidebar_) {
    control_ = sidebar_shown() ? ShellControl::HideSidebar : ShellControl::ShowSidebar;
  } else {
    control_ = ShellControl::None;
  }
  control_rect_ = control_ == ShellControl::None
                      ? Rect{}
                      : Rect{L + kControlInset, T + kControlInset, L + kControlInset + kControlSize,
                             T + kControlInset + kControlSize};
}

std::vector<Widget*> NavShell::visible_children() const {
  std::vector<Widget*> out;
  if (narrow()) {
    if (sidebar_ && drawer_presence_ > 0) out.push_back(sidebar_.get());
    if (detail_ && detail_presence_ > 0) out.push_back(detail_.get());
    if (detail_presence_ < 1 || !detail_) out.push_back(list_.get());
  } else {
    if (sidebar_ && sidebar_shown()) out.push_back(sidebar_.get());
    out.push_back(list_.get());
    if (detail_) out.push_back(detail_.get());
  }
  return out;
}

Widget* NavShell::child_at(Point p) const {
  if (!rect_.contains(p)) return nullptr;
  for (Widget* child : visible_children()) {
    if (intersect(child->rect(), rect_).contains(p)) return child;
  }
  return nullptr;
}

void NavShell::draw_with_presence(Canvas& canvas, double presence) {
  if (rect_.empty() || presence <= 0) return;
  const Colors& c = theme_.colors;
  canvas.push_clip(rect_);
  auto draw_child = [&](Widget& child) {
    const Rect clip = intersect(child.rect(), rect_);
    if (clip.empty()) return;
    canvas.push_clip(clip);
    child.draw(canvas);
    canvas.pop_clip();
  };
  if (!narrow()) {
    if (sidebar_ && sidebar_shown()) draw_child(*sidebar_);
    draw_child(*list_);
    if (detail_) draw_child(*detail_);
    const double x0 = sidebar_ && sidebar_shown() ? sidebar_rect_.right : -1;
    if (x0 > rect_.left) canvas.line({x0 - 0.5, rect_.top}, {x0 - 0.5, rect_.bottom}, c.border);
    if (detail_ && list_rect_.right < rect_.right) {
      const double x = list_rect_.right - 0.5;
      canvas.line({x, rect_.top}, {x, rect_.bottom}, c.border);
    }
  } else {
    if (detail_presence_ < 1 || !detail_) draw_child(*list_);
    if (detail_ && detail_presence_ > 0) draw_child(*detail_);
    if (sidebar_ && drawer_presence_ > 0) {
      canvas.fill_rect(rect_, Color{0, 0, 0, 0.45 * drawer_presence_});
      const Rect drawer = sidebar_rect_;
      canvas.fill_rect({drawer.right, drawer.top, drawer.right + 6, drawer.bottom},
                       Color{0, 0, 0, 0.18 * drawer_presence_});
      canvas.fill_rect(intersect(drawer, rect_), c.surface);
      draw_child(*sidebar_);
    }
  }

  if (!control_rect_.empty()) {
    ButtonFace face;
    face.style = ButtonStyle::Quiet;
    face.hovered = control_hovered_;
    face.pressed = control_pressed_;
    switch (control_) {
      case ShellControl::Back:
        face.icon = IconName::Back;
        break;
      case ShellControl::CloseDrawer:
        face.icon = IconName::Close;
        break;
      default:
        face.icon = IconName::Menu;
        break;
    }
    // The control keeps one size at every text scale, because the panes' insets assume it.
    Button::paint(canvas, control_rect_, face, theme_.with_text_scale(1), TextRenderer{});
  }
  if (presence < 1) canvas.fill_rect(rect_, c.background.with_alpha(1 - presence));
  canvas.pop_clip();
}

void NavShell::activate_control() {
  control_activated_ = control_;
  switch (control_) {
    case ShellControl::Menu:
      open_drawer();
      break;
    case ShellControl::CloseDrawer:
      close_drawer();
      break;
    case ShellControl::Back:
      set_detail_shown(false);
      break;
    case ShellControl::HideSidebar:
      if (sidebar_mode_ == SidebarMode::Automatic) {
        set_sidebar_pinned(false);
      } else {
        set_sidebar_mode(SidebarMode::Closed);
      }
      break;
    case ShellControl::ShowSidebar:
      sidebar_pinned_ = true;
      set_sidebar_mode(SidebarMode::Automatic);
      state_changed();
      break;
    case ShellControl::None:
      control_activated_.reset();
      break;
  }
}

EventResult NavShell::handle_event(const Event& event, persist::Document& doc) {
  if (const auto* pointer = std::get_if<PointerEvent>(&event)) {
    const Point p{pointer->x, pointer->y};
    const bool on_control = control_rect_.contains(p);
    if (on_control != control_hovered_) redraw_ = true;
    control_hovered_ = on_control;

    switch (pointer->type) {
      case PointerEvent::Type::Press: {
        if (on_control && pointer->button == PointerButton::Primary) {
          control_pressed_ = true;
          redraw_ = true;
          return EventResult::Consumed;
        }
        if (narrow() && drawer_presence_ > 0 && rect_.contains(p) && !sidebar_rect_.contains(p)) {
          close_drawer();
          return EventResult::Consumed;
        }
        Widget* target = child_at(p);
        if (target == nullptr) return EventResult::Ignored;
        pointer_owner_ = target;
        return target->handle_event(event, doc);
      }
      case PointerEvent::Type::Release: {
        if (control_pressed_ && pointer->button == PointerButton::Primary) {
          control_pressed_ = false;
          redraw_ = true;
          if (on_control) activate_control();
          return EventResult::Consumed;
        }
        Widget* target = pointer_owner_ != nullptr ? pointer_owner_ : child_at(p);
        pointer_owner_ = nullptr;
        return target != nullptr ? target->handle_event(event, doc) : EventResult::Ignored;
      }
      case PointerEvent::Type::Move: {
        if (pointer_owner_ != nullptr) return pointer_owner_->handle_event(event, doc);
        Widget* target = child_at(p);
        // The child the pointer left hears of it once, so its hover can end.
        if (hovered_child_ != nullptr && hovered_child_ != target) {
          hovered_child_->handle_event(event, doc);
        }
        hovered_child_ = target;
        return target != nullptr ? target->handle_event(event, doc) : EventResult::Ignored;
      }
    }
    return EventResult::Ignored;
  }
  if (const auto* scroll = std::get_if<ScrollEvent>(&event)) {
    Widget* target = child_at({scroll->x, scroll->y});
    return target != nullptr ? target->handle_event(event, doc) : EventResult::Ignored;
  }
  for (Widget* child : visible_children()) {
    if (child->handle_event(event, doc) == EventResult::Consumed) return EventResult::Consumed;
  }
  return EventResult::Ignored;
}

bool NavShell::perform_semantic_action(std::string_view id, std::string_view action,
                                       persist::Document& doc) {
  for (Widget* child : children()) {
    if (child->perform_semantic_action(id, action, doc)) return true;
  }
  return false;
}

AccessNode NavShell::accessibility() const {
  AccessNode node;
  node.role = "group";
  for (Widget* child : visible_children()) node.children.push_back(child->accessibility());
  return node;
}

std::vector<Widget*> NavShell::children() { return all_children(); }

std::vector<Widget*> NavShell::all_children() const {
  std::vector<Widget*> out;
  if (sidebar_) out.push_back(sidebar_.get());
  out.push_back(list_.get());
  if (detail_) out.push_back(detail_.get());
  return out;
}

Widget* NavShell::hit_test(Point p) {
  if (control_rect_.contains(p)) return this;
  if (Widget* child = child_at(p)) {
    Widget* inner = child->hit_test(p);
    return inner != nullptr ? inner : child;
  }
  return rect_.contains(p) ? this : nullptr;
}

bool NavShell::needs_idle_sync() const {
  for (Widget* child : all_children()) {
    if (child->needs_idle_sync()) return true;
  }
  return false;
}

bool NavShell::needs_animation_frame() const {
  if (detail_presence_ != detail_target() || drawer_presence_ != drawer_target()) return true;
  for (Widget* child : all_children()) {
    if (child->needs_animation_frame()) return true;
  }
  return false;
}

std::optional<Clock::time_point> NavShell::next_wakeup() {
  std::optional<Clock::time_point> soonest;
  for (Widget* child : children()) {
    const auto at = child->next_wakeup();
    if (at && (!soonest || *at < *soonest)) soonest = at;
  }
  return soonest;
}

bool NavShell::needs_redraw() const {
  if (redraw_) return true;
  for (Widget* child : all_children()) {
    if (child->needs_redraw()) return true;
  }
  return false;
}

void NavShell::reset_redraw() {
  redraw_ = false;
  for (Widget* child : children()) child->reset_redraw();
}

}  // namespace vexa::ui
