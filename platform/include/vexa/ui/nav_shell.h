#pragma once
// A sidebar-plus-two-pane shell. At or above the collapse breakpoint the sidebar, the list and
// the detail stand side by side; below it one pane is shown at a time (the list, or the detail
// once it is shown) and the sidebar opens as a drawer over it. The shell draws one small control
// of its own over the top-left corner (menu, back, close drawer, or sidebar toggle) and reports
// its rectangle so the panes can leave room for it.
#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include "vexa/ui/theme.h"
#include "vexa/ui/widget.h"

namespace vexa::ui {

enum class SidebarMode : std::uint8_t { Open = 0, Closed = 1, Automatic = 2 };

// What the shell's own control does when pressed.
enum class ShellControl : std::uint8_t {
  None = 0,
  Menu = 1,         // narrow: open the drawer
  Back = 2,         // narrow: leave the detail for the list
  CloseDrawer = 3,  // narrow: close the drawer
  HideSidebar = 4,  // wide: fold the sidebar column away
  ShowSidebar = 5,  // wide: bring it back
};

struct ColumnWidths {
  double sidebar = 260;
  double list = 340;
};

class NavShell : public Widget {
 public:
  // `detail` may be null: the list then fills the space beside the sidebar.
  NavShell(std::unique_ptr<Widget> list, std::unique_ptr<Widget> detail);
  NavShell& with_sidebar(std::unique_ptr<Widget> sidebar);

  // --- settings ---
  // Narrow below this width. Non-finite or negative values are taken as 0.
  void set_collapse_breakpoint(double width);
  double collapse_breakpoint() const { return collapse_breakpoint_; }
  // Side by side, the wide widths apply at or above this width and the regular ones below it.
  void set_wide_breakpoint(double width);
  double wide_breakpoint() const { return wide_breakpoint_; }
  void set_column_widths(ColumnWidths widths);
  void set_wide_column_widths(ColumnWidths widths);
  // Whether changes of arrangement slide over a few frames or happen at once.
  void set_animated(bool animated) { animated_ = animated; }
  bool animated() const { return animated_; }
  // Asks for the next frame to be drawn (arrangement changes set it too).
  void set_needs_redraw(bool redraw) { redraw_ = redraw_ || redraw; }

  // --- state ---
  bool has_sidebar() const { return sidebar_ != nullptr; }
  bool has_detail() const { return detail_ != nullptr; }
  bool detail_shown() const { return detail_shown_; }
  void set_detail_shown(bool shown);
  SidebarMode sidebar_mode() const { return sidebar_mode_; }
  void set_sidebar_mode(SidebarMode mode);
  bool sidebar_pinned() const { return sidebar_pinned_; }
  void set_sidebar_pinned(bool pinned);
  // The width of the last layout (0 before the first).
  double available_width() const { return available_width_; }
  bool narrow() const { return available_width_ < collapse_breakpoint_; }
  // Whether the sidebar is open: a column when wide, a drawer when narrow. In automatic mode it
  // follows the pin while wide and stays closed while narrow.
  bool sidebar_shown() const;

  // Ends any slide at once, in the arrangement the state asks for.
  void snap();
  // Opens (or closes) the sidebar at once. Closing while narrow returns to automatic mode, so
  // the column comes back when the window is widened again.
  void snap_sidebar(bool open);
  // The same changes, sliding when animated.
  void open_drawer();
  void close_drawer();

  // The shell's own control: its rectangle (empty when there is none) and what it does.
  Rect control_rect() const { return control_rect_; }
  ShellControl control() const { return control_; }
  // The control pressed since the last call, if any.
  std::optional<ShellControl> take_control_activated();

  Widget& list() { return *list_; }
  Widget* detail() { return detail_.get(); }
  Widget* sidebar() { return sidebar_.get(); }
  // Where each child was last placed; hidden children sit just outside the shell.
  Rect list_rect() const { return list_rect_; }
  Rect detail_rect() const { return detail_rect_; }
  Rect sidebar_rect() const { return sidebar_rect_; }
  // In narrow mode: how far the detail has slid in and the drawer has opened, 0 to 1.
  double detail_presence() const { return detail_presence_; }
  double drawer_presence() const { return drawer_presence_; }

  // --- widget ---
  std::string_view type_name() const override { return "NavShell"; }
  void sync(persist::Document& doc, const FrameContext& ctx) override;
  std::expected<LayoutNode, std::string> build_layout(LayoutEngine& engine,
                                                      const FrameContext& ctx) override;
  // Arranges the children in `rect` and hands each its rectangle.
  void apply_layout(const LayoutEngine& engine, Rect rect) override;
  void draw(Canvas& canvas) override { draw_with_presence(canvas, 1.0); }
  // Draws the visible children, the drawer's backdrop and the control; a presence below 1
  // fades the whole shell towards the background (for surfaces that cover it).
  void draw_with_presence(Canvas& canvas, double presence);
  // Presses go to the control, then to the drawer's backdrop (closing the drawer), then to the
  // child under the pointer, which keeps the pointer until release. Keys and text go to the
  // visible children in turn until one consumes them.
  EventResult handle_event(const Event& event, persist::Document& doc) override;
  bool perform_semantic_action(std::string_view id, std::string_view action,
                               persist::Document& doc) override;
  AccessNode accessibility() const override;
  bool needs_idle_sync() const override;
  bool needs_animation_frame() const override;
  std::optional<Clock::time_point> next_wakeup() override;
  bool needs_redraw() const override;
  void reset_redraw() override;
  std::vector<Widget*> children() override;
  Widget* hit_test(Point p) override;

 private:
  double detail_target() const;
  double drawer_target() const;
  void state_changed();
  void activate_control();
  Rect drawer_rect() const;
  std::vector<Widget*> all_children() const;
  // Visible children, topmost first.
  std::vector<Widget*> visible_children() const;
  Widget* child_at(Point p) const;

  std::unique_ptr<Widget> list_;
  std::unique_ptr<Widget> detail_;
  std::unique_ptr<Widget> sidebar_;

  double collapse_breakpoint_ = 860;
  double wide_breakpoint_ = 860;
  ColumnWidths widths_;
  ColumnWidths wide_widths_;
  bool animated_ = false;

  bool detail_shown_ = false;
  SidebarMode sidebar_mode_ = SidebarMode::Automatic;
  bool sidebar_pinned_ = true;
  double available_width_ = 0;

  double detail_presence_ = 0;
  double drawer_presence_ = 0;
  std::optional<Clock::time_point> last_tick_;

  Theme theme_;
  Rect list_rect_{};
  Rect detail_rect_{};
  Rect sidebar_rect_{};
  Rect control_rect_{};
  ShellControl control_ = ShellControl::None;
  bool control_hovered_ = false;
  bool control_pressed_ = false;
  std::optional<ShellControl> control_activated_;
  Widget* pointer_owner_ = nullptr;
  Widget* hovered_child_ = nullptr;
  bool redraw_ = true;
};

}  // namespace vexa::ui
