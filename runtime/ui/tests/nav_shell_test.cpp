#include "vexa/ui/nav_shell.h"

#include <gtest/gtest.h>

#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "vexa/ui/canvas.h"
#include "vexa/ui/layout.h"

namespace vexa::ui {
namespace {

// A pane that remembers what reached it and optionally consumes keys.
class FakePane : public Widget {
 public:
  explicit FakePane(std::string name, bool eats_keys = false)
      : name_(std::move(name)), eats_keys_(eats_keys) {}
  std::string_view type_name() const override { return name_; }
  EventResult handle_event(const Event& event, persist::Document&) override {
    if (const auto* p = std::get_if<PointerEvent>(&event)) {
      seen.push_back(p->type == PointerEvent::Type::Press     ? "press"
                     : p->type == PointerEvent::Type::Release ? "release"
                                                              : "move");
      return p->type == PointerEvent::Type::Move ? EventResult::Ignored : EventResult::Consumed;
    }
    if (std::holds_alternative<KeyEvent>(event)) {
      seen.push_back("key");
      return eats_keys_ ? EventResult::Consumed : EventResult::Ignored;
    }
    return EventResult::Ignored;
  }
  void draw(Canvas& canvas) override { canvas.fill_rect(rect_, Color{0, 1, 0, 1}); }

  std::vector<std::string> seen;

 private:
  std::string name_;
  bool eats_keys_;
};

class NavShellTest : public ::testing::Test {
 protected:
  NavShellTest() {
    auto l = std::make_unique<FakePane>("list", /*eats_keys=*/true);
    auto d = std::make_unique<FakePane>("detail", /*eats_keys=*/true);
    auto s = std::make_unique<FakePane>("sidebar");
    list = l.get();
    detail = d.get();
    sidebar = s.get();
    shell = std::make_unique<NavShell>(std::move(l), std::move(d));
    shell->with_sidebar(std::move(s));
    shell->set_collapse_breakpoint(860);
    shell->set_wide_breakpoint(860);
    shell->set_column_widths({260, 340});
    shell->set_wide_column_widths({260, 340});
    shell->set_animated(false);
  }

  void lay_out(double width, double height = 600) {
    LayoutEngine engine;
    FrameContext ctx;
    ctx.window = {width, height};
    auto node = shell->build_layout(engine, ctx);
    ASSERT_TRUE(node.has_value());
    engine.compute(*node, ctx.window);
    shell->apply_layout(engine, Rect{0, 0, width, height});
  }

  EventResult pointer(PointerEvent::Type type, Point p) {
    PointerEvent e;
    e.type = type;
    e.x = p.x;
    e.y = p.y;
    return shell->handle_event(e, *doc);
  }
  EventResult click(Point p) {
    pointer(PointerEvent::Type::Press, p);
    return pointer(PointerEvent::Type::Release, p);
  }

  std::unique_ptr<persist::Document> doc = persist::open_memory();
  std::unique_ptr<NavShell> shell;
  FakePane* list = nullptr;
  FakePane* detail = nullptr;
  FakePane* sidebar = nullptr;
};

bool on_screen(Rect r, double width) { return r.left < width && r.right > 0 && !r.empty(); }

struct Arrangement {
  std::string name;
  double width;
  bool detail_shown;
  bool drawer;    // snap_sidebar(true) before the layout
  bool unpinned;  // sidebar pin taken away
  bool narrow;
  bool sidebar_shown;
  Rect sidebar;  // expected when on screen, empty when hidden
  Rect list;
  Rect detail;
  ShellControl control;
};

void PrintTo(const Arrangement& c, std::ostream* os) { *os << c.name; }

class Arrangements : public NavShellTest, public ::testing::WithParamInterface<Arrangement> {};

TEST_P(Arrangements, PlaceTheChildren) {
  const Arrangement& a = GetParam();
  lay_out(a.width);  // the available width is known before the state changes below
  if (a.unpinned) shell->set_sidebar_pinned(false);
  shell->set_detail_shown(a.detail_shown);
  if (a.drawer) shell->snap_sidebar(true);
  lay_out(a.width);

  EXPECT_EQ(shell->narrow(), a.narrow);
  EXPECT_EQ(shell->sidebar_shown(), a.sidebar_shown);
  EXPECT_EQ(shell->control(), a.control);
  auto check = [&](const char* what, Rect got, Rect want) {
    if (want.empty()) {
      EXPECT_FALSE(on_screen(got, a.width)) << what << " should be hidden";
    } else {
      EXPECT_EQ(got, want) << what;
    }
  };
  check("sidebar", sidebar->rect(), a.sidebar);
  check("list", list->rect(), a.list);
  check("detail", detail->rect(), a.detail);
  EXPECT_EQ(shell->sidebar_rect(), sidebar->rect()) << "the children get the shell's rectangles";
}

INSTANTIATE_TEST_SUITE_P(NavShell, Arrangements,
                         ::testing::Values(Arrangement{"wide_at_breakpoint",
                                                       860,
                                                       false,
                                                       false,
                                                       false,
                                                       false,
                                                       true,
                                                       {0, 0, 260, 600},
                                                       {260, 0, 600, 600},
                                                       {600, 0, 860, 600},
                                                       ShellControl::HideSidebar},
                                           Arrangement{"narrow_below_breakpoint",
                                                       859,
                                                       false,
                                                       false,
                                                       false,
                                                       true,
                                                       false,
                                                       {},
                                                       {0, 0, 859, 600},
                                                       {},
                                                       ShellControl::Menu},
                                           Arrangement{"narrow_detail",
                                                       859,
                                                       true,
                                                       false,
                                                       false,
                                                       true,
                                                       false,
                                                       {},
                                                       {},
                                                       {0, 0, 859, 600},
                                                       ShellControl::Back},
                                           Arrangement{"narrow_drawer",
                                                       859,
                                                       false,
                                                       true,
                                                       false,
                                                       true,
                                                       true,
                                                       {0, 0, 300, 600},
                                                       {0, 0, 859, 600},
                                                       {},
                                                       ShellControl::CloseDrawer},
                                           Arrangement{"wide_detail_changes_nothing",
                                                       1200,
                                                       true,
                                                       false,
                                                       false,
                                                       false,
                                                       true,
                                                       {0, 0, 260, 600},
                                                       {260, 0, 600, 600},
                                                       {600, 0, 1200, 600},
                                                       ShellControl::HideSidebar},
                                           Arrangement{"wide_unpinned",
                                                       1200,
                                                       false,
                                                       false,
                                                       true,
                                                       false,
                                                       false,
                                                       {},
                                                       {0, 0, 340, 600},
                                                       {340, 0, 1200, 600},
                                                       ShellControl::ShowSidebar},
                                           Arrangement{"tiny_drawer_leaves_a_strip",
                                                       200,
                                                       false,
                                                       true,
                                                       false,
                                                       true,
                                                       true,
                                                       {0, 0, 152, 600},
                                                       {0, 0, 200, 600},
                                                       {},
                                                       ShellControl::CloseDrawer}),
                         [](const auto& info) { return info.param.name; });

TEST_F(NavShellTest, ControlSitsInTheTopLeftCorner) {
  lay_out(600);
  EXPECT_EQ(shell->control_rect(), (Rect{12, 12, 48, 48}));
  NavShell bare(std::make_unique<FakePane>("list"), nullptr);
  LayoutEngine engine;
  bare.apply_layout(engine, {0, 0, 1200, 600});
  EXPECT_TRUE(bare.control_rect().empty()) << "nothing to open or go back to";
  EXPECT_EQ(bare.list_rect(), (Rect{0, 0, 1200, 600})) << "without a detail the list fills";
}

struct ModeCase {
  SidebarMode mode;
  bool pinned;
  double width;
  bool shown;
};

TEST_F(NavShellTest, SidebarShownFollowsModePinAndWidth) {
  const std::vector<ModeCase> cases = {
      {SidebarMode::Automatic, true, 860, true},    {SidebarMode::Automatic, true, 859, false},
      {SidebarMode::Automatic, false, 1200, false}, {SidebarMode::Open, false, 400, true},
      {SidebarMode::Closed, true, 1200, false},
  };
  for (const ModeCase& c : cases) {
    shell->set_sidebar_mode(c.mode);
    shell->set_sidebar_pinned(c.pinned);
    lay_out(c.width);
    EXPECT_EQ(shell->sidebar_shown(), c.shown)
        << "mode " << int(c.mode) << " pinned " << c.pinned << " width " << c.width;
  }
  NavShell no_sidebar(std::make_unique<FakePane>("list"), nullptr);
  no_sidebar.set_sidebar_mode(SidebarMode::Open);
  EXPECT_FALSE(no_sidebar.sidebar_shown());
}

TEST_F(NavShellTest, ClosingTheDrawerLetsTheColumnReturnWhenWidened) {
  lay_out(700);
  shell->snap_sidebar(true);
  EXPECT_EQ(shell->sidebar_mode(), SidebarMode::Open);
  shell->snap_sidebar(false);
  EXPECT_FALSE(shell->sidebar_shown());
  lay_out(1000);
  EXPECT_TRUE(shell->sidebar_shown());
  EXPECT_EQ(sidebar->rect(), (Rect{0, 0, 260, 600}));
}

TEST_F(NavShellTest, PointerGoesToThePaneUnderIt) {
  lay_out(1000);
  EXPECT_EQ(click({100, 300}), EventResult::Consumed);
  EXPECT_EQ(click({400, 300}), EventResult::Consumed);
  EXPECT_EQ(click({900, 300}), EventResult::Consumed);
  EXPECT_EQ(sidebar->seen, (std::vector<std::string>{"press", "release"}));
  EXPECT_EQ(list->seen, (std::vector<std::string>{"press", "release"}));
  EXPECT_EQ(detail->seen, (std::vector<std::string>{"press", "release"}));

  // A drag keeps talking to the pane where it began.
  list->seen.clear();
  detail->seen.clear();
  pointer(PointerEvent::Type::Press, {400, 300});
  pointer(PointerEvent::Type::Move, {900, 300});
  pointer(PointerEvent::Type::Release, {900, 300});
  EXPECT_EQ(list->seen, (std::vector<std::string>{"press", "move", "release"}));
  EXPECT_TRUE(detail->seen.empty());
}

TEST_F(NavShellTest, DrawerBackdropPressClosesTheDrawer) {
  lay_out(700);
  shell->snap_sidebar(true);
  lay_out(700);
  EXPECT_EQ(pointer(PointerEvent::Type::Press, {500, 300}), EventResult::Consumed);
  EXPECT_TRUE(list->seen.empty()) << "the list under the backdrop is not pressed";
  EXPECT_FALSE(shell->sidebar_shown());

  shell->snap_sidebar(true);
  lay_out(700);
  click({100, 300});
  EXPECT_EQ(sidebar->seen, (std::vector<std::string>{"press", "release"}));
  EXPECT_TRUE(shell->sidebar_shown()) << "a press inside the drawer keeps it open";
}

TEST_F(NavShellTest, ControlOpensTheDrawerAndGoesBack) {
  lay_out(700);
  EXPECT_EQ(click({30, 30}), EventResult::Consumed);
  EXPECT_EQ(shell->take_control_activated(), ShellControl::Menu);
  EXPECT_TRUE(shell->sidebar_shown());
  EXPECT_TRUE(list->seen.empty());

  lay_out(700);
  click({30, 30});
  EXPECT_FALSE(shell->sidebar_shown());

  shell->set_detail_shown(true);
  lay_out(700);
  click({30, 30});
  EXPECT_EQ(shell->take_control_activated(), ShellControl::Back);
  EXPECT_FALSE(shell->detail_shown());

  lay_out(1000);
  click({30, 30});
  EXPECT_FALSE(shell->sidebar_shown()) << "wide: the control folds the sidebar away";
  lay_out(1000);
  click({30, 30});
  EXPECT_TRUE(shell->sidebar_shown());
}

TEST_F(NavShellTest, KeysGoOnlyToVisiblePanes) {
  shell->set_detail_shown(true);
  lay_out(700);
  KeyEvent key;
  key.key = "a";
  EXPECT_EQ(shell->handle_event(key, *doc), EventResult::Consumed);
  EXPECT_EQ(detail->seen, (std::vector<std::string>{"key"}));
  EXPECT_TRUE(list->seen.empty()) << "the list is off screen";
}

TEST_F(NavShellTest, AnimatedChangesSlideUntilSnapped) {
  lay_out(700);
  shell->set_animated(true);
  shell->set_detail_shown(true);
  EXPECT_EQ(shell->detail_presence(), 0);
  EXPECT_TRUE(shell->needs_animation_frame());

  FrameContext ctx;
  ctx.now = Clock::time_point{} + std::chrono::seconds(10);
  shell->sync(*doc, ctx);
  ctx.now += std::chrono::milliseconds(90);
  shell->sync(*doc, ctx);
  EXPECT_GT(shell->detail_presence(), 0.2);
  EXPECT_LT(shell->detail_presence(), 0.8);

  shell->snap();
  EXPECT_EQ(shell->detail_presence(), 1);
  EXPECT_FALSE(shell->needs_animation_frame());
  lay_out(700);
  EXPECT_EQ(detail->rect(), (Rect{0, 0, 700, 600}));
}

TEST_F(NavShellTest, DrawsTheDrawerOverADimmedList) {
  lay_out(700, 200);
  shell->snap_sidebar(true);
  lay_out(700, 200);
  RasterSurface surface({700, 200});
  {
    auto canvas = surface.canvas();
    canvas->clear(Color{0, 0, 0, 1});
    shell->draw(*canvas);
  }
  const auto green = [&](int x, int y) { return (surface.pixel(x, y) >> 8) & 0xff; };
  EXPECT_EQ(green(100, 150), 255) << "the drawer's pane is drawn at full strength";
  EXPECT_GT(green(600, 150), 60) << "the list still shows under the backdrop";
  EXPECT_LT(green(600, 150), 200) << "but dimmed";
}

}  // namespace
}  // namespace vexa::ui
