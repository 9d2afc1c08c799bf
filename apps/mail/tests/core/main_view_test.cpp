// The root's layout pass over the navigation shell: the breakpoint follows the text scale, the
// layout flags and the current view follow the window, and the shell intents move the shell.
#include <gtest/gtest.h>

#include "commands_fixture.h"
#include "vexa/ui/layout.h"

namespace mail::core::testing {
namespace {

struct MainViewTest : CommandsFixture {
  void lay_out(double width, double height, float text_scale) {
    ctx.window = {width, height};
    ctx.text_scale = text_scale;
    vexa::ui::LayoutEngine engine;
    auto node = app->build_layout(engine, ctx);
    ASSERT_TRUE(node.has_value());
    engine.compute(*node, {width, height});
    app->apply_layout(engine, {0, 0, width, height});
  }
};

TEST_F(MainViewTest, TheBreakpointFollowsTheTextScale) {
  struct Case {
    double width;
    float scale;
    bool narrow;
  };
  const Case cases[] = {
      {859, 1.0f, true},    {860, 1.0f, false}, {1000, 1.25f, true}, {1074, 1.25f, true},
      {1075, 1.25f, false}, {2, 0.0f, false},   {1280, 2.0f, true},
  };
  for (const Case& c : cases) {
    lay_out(c.width, 800, c.scale);
    EXPECT_EQ(state->layout.narrow, c.narrow) << c.width << " at " << c.scale;
    EXPECT_GE(app->main_view().shell().collapse_breakpoint(), 1.0) << "never 0";
  }
}

TEST_F(MainViewTest, TheCurrentViewFollowsTheShell) {
  lay_out(1280, 800, 1.0f);
  EXPECT_EQ(app->main_view().current_view(), "folders, message list, and reading pane");
  lay_out(560, 860, 1.0f);
  EXPECT_EQ(app->main_view().current_view(), "message list");

  state->queue(intent::ShowReader{});
  app->dispatch_intents(doc.get());
  lay_out(560, 860, 1.0f);
  EXPECT_EQ(app->main_view().current_view(), "reading pane");
  EXPECT_TRUE(state->layout.detail_shown);

  app->main_view().shell().snap_sidebar(true);
  lay_out(560, 860, 1.0f);
  EXPECT_EQ(app->main_view().current_view(), "folder drawer");
  state->queue(intent::CloseDrawer{});
  app->dispatch_intents(doc.get());
  lay_out(560, 860, 1.0f);
  EXPECT_FALSE(state->layout.sidebar_shown);

  state->queue(intent::ShowList{});
  app->dispatch_intents(doc.get());
  lay_out(560, 860, 1.0f);
  EXPECT_EQ(app->main_view().current_view(), "message list");
}

TEST_F(MainViewTest, ChoosingAFolderKeepsTheSidebarColumnWhenWide) {
  lay_out(1280, 800, 1.0f);
  ASSERT_TRUE(state->layout.sidebar_shown);
  state->queue(intent::CloseDrawer{});
  app->dispatch_intents(doc.get());
  lay_out(1280, 800, 1.0f);
  EXPECT_TRUE(state->layout.sidebar_shown);
  EXPECT_TRUE(state->shell_control_present);
}

TEST_F(MainViewTest, TheComposerWindowMovesByItsTitleBar) {
  lay_out(1280, 800, 1.0f);
  ASSERT_EQ(key("c"), vexa::ui::EventResult::Consumed);
  lay_out(1280, 800, 1.0f);
  const vexa::ui::Rect placed = app->composer_window().rect();
  ASSERT_EQ(placed, (vexa::ui::Rect{360, 170, 920, 630}));
  auto pointer = [&](vexa::ui::PointerEvent::Type type, double x, double y) {
    vexa::ui::PointerEvent e;
    e.type = type;
    e.x = x;
    e.y = y;
    return app->handle_event(e, *doc);
  };
  using Type = vexa::ui::PointerEvent::Type;
  EXPECT_EQ(pointer(Type::Press, 500, 180), vexa::ui::EventResult::Consumed);
  pointer(Type::Move, 450, 230);
  EXPECT_EQ(pointer(Type::Release, 450, 230), vexa::ui::EventResult::Consumed);
  EXPECT_EQ(app->composer_window().rect(), (vexa::ui::Rect{310, 220, 870, 680}));
  pointer(Type::Move, 0, 0);
  EXPECT_EQ(app->composer_window().rect(), (vexa::ui::Rect{310, 220, 870, 680}))
      << "released: moves no longer drag";
}

}  // namespace
}  // namespace mail::core::testing
