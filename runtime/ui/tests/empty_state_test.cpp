#include "vexa/ui/empty_state.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "vexa/ui/canvas.h"
#include "vexa/ui/layout.h"

namespace vexa::ui {
namespace {

class EmptyStateTest : public ::testing::Test {
 protected:
  void SetUp() override { lay_out(1.0f); }

  void lay_out(float text_scale) {
    LayoutEngine engine;
    FrameContext ctx;
    ctx.text_scale = text_scale;
    ctx.window = {800, 600};
    auto node = panel.build_layout(engine, ctx);
    ASSERT_TRUE(node.has_value());
    EXPECT_EQ(engine.widget(*node), &panel);
    engine.compute(*node, ctx.window);
    panel.apply_layout(engine, engine.rect(*node));
  }

  EventResult send(Event e) { return panel.handle_event(e, *doc); }
  EventResult pointer(PointerEvent::Type type, Point p,
                      PointerButton button = PointerButton::Primary) {
    PointerEvent e;
    e.type = type;
    e.x = p.x;
    e.y = p.y;
    e.button = button;
    return send(e);
  }
  EventResult key(std::string name) {
    KeyEvent e;
    e.key = std::move(name);
    return send(e);
  }
  Point button_centre() const {
    const Rect b = panel.button_rect();
    return {(b.left + b.right) / 2, (b.top + b.bottom) / 2};
  }

  std::unique_ptr<persist::Document> doc = persist::open_memory();
  EmptyState panel{"Welcome to Mail", "Add your email account to start reading and sending mail.",
                   "Add account", "mail.add-account"};
};

TEST_F(EmptyStateTest, CardIsCentredAndHoldsTheButton) {
  const Rect card = panel.card_rect();
  const Rect button = panel.button_rect();
  EXPECT_NEAR((card.left + card.right) / 2, 400, 1e-6);
  EXPECT_NEAR((card.top + card.bottom) / 2, 300, 1e-6);
  EXPECT_GE(button.left, card.left);
  EXPECT_LE(button.right, card.right);
  EXPECT_LE(button.bottom, card.bottom);
  EXPECT_FALSE(button.empty());

  const double small_width = card.width();
  lay_out(1.5f);
  EXPECT_GT(panel.card_rect().width(), small_width) << "the card grows with the text scale";
}

struct Gesture {
  std::string name;
  std::vector<std::string> steps;  // "press", "release", "release-away", "key:X", "move-away"
  bool activated;
};

class Gestures : public EmptyStateTest, public ::testing::WithParamInterface<Gesture> {};

TEST_P(Gestures, ActivateOnlyAsAButtonWould) {
  for (const std::string& step : GetParam().steps) {
    if (step == "press") pointer(PointerEvent::Type::Press, button_centre());
    if (step == "release") pointer(PointerEvent::Type::Release, button_centre());
    if (step == "release-away") pointer(PointerEvent::Type::Release, {5, 5});
    if (step == "press-secondary") {
      pointer(PointerEvent::Type::Press, button_centre(), PointerButton::Secondary);
    }
    if (step.starts_with("key:")) key(step.substr(4));
  }
  EXPECT_EQ(panel.take_activated(), GetParam().activated);
  EXPECT_FALSE(panel.take_activated()) << "the flag is read once";
}

INSTANTIATE_TEST_SUITE_P(
    EmptyState, Gestures,
    ::testing::Values(Gesture{"click", {"press", "release"}, true},
                      Gesture{"release_elsewhere_cancels", {"press", "release-away"}, false},
                      Gesture{"release_without_press", {"release"}, false},
                      Gesture{"secondary_button", {"press-secondary", "release"}, false},
                      Gesture{"enter_unfocused", {"key:Enter"}, false},
                      Gesture{"tab_then_enter", {"key:Tab", "key:Enter"}, true},
                      Gesture{"tab_then_space", {"key:Tab", "key:Space"}, true},
                      Gesture{"tab_twice_unfocuses", {"key:Tab", "key:Tab", "key:Enter"}, false}),
    [](const auto& info) { return info.param.name; });

TEST_F(EmptyStateTest, EventsReportConsumption) {
  EXPECT_EQ(pointer(PointerEvent::Type::Press, {5, 5}), EventResult::Ignored);
  EXPECT_EQ(pointer(PointerEvent::Type::Press, button_centre()), EventResult::Consumed);
  EXPECT_EQ(pointer(PointerEvent::Type::Release, button_centre()), EventResult::Consumed);
  EXPECT_EQ(key("a"), EventResult::Ignored);
  KeyEvent release;
  release.key = "Tab";
  release.pressed = false;
  EXPECT_EQ(send(release), EventResult::Ignored);
}

TEST_F(EmptyStateTest, SemanticActivationAndAccessibility) {
  EXPECT_FALSE(panel.perform_semantic_action("other", "activate", *doc));
  EXPECT_FALSE(panel.perform_semantic_action("mail.add-account", "focus", *doc));
  EXPECT_TRUE(panel.perform_semantic_action("mail.add-account", "activate", *doc));
  EXPECT_TRUE(panel.take_activated());

  const AccessNode node = panel.accessibility();
  EXPECT_EQ(node.name, "Welcome to Mail");
  EXPECT_EQ(node.description, "Add your email account to start reading and sending mail.");
  ASSERT_EQ(node.children.size(), 1u);
  EXPECT_EQ(node.children[0].role, "button");
  EXPECT_EQ(node.children[0].name, "Add account");
  EXPECT_EQ(node.children[0].id, "mail.add-account");
}

TEST_F(EmptyStateTest, RedrawFollowsVisibleChanges) {
  EXPECT_TRUE(panel.needs_redraw());
  panel.reset_redraw();
  pointer(PointerEvent::Type::Move, {5, 5});
  EXPECT_FALSE(panel.needs_redraw()) << "moving outside the button changes nothing";
  pointer(PointerEvent::Type::Move, button_centre());
  EXPECT_TRUE(panel.needs_redraw()) << "hover";
  panel.reset_redraw();
  key("Tab");
  EXPECT_TRUE(panel.needs_redraw()) << "focus";
}

TEST_F(EmptyStateTest, DrawsTheButtonInTheAccentColour) {
  RasterSurface surface({800, 600});
  {
    auto canvas = surface.canvas();
    canvas->clear(Color{0, 0, 0, 1});
    panel.draw(*canvas);
  }
  const Rect b = panel.button_rect();
  const std::uint32_t px = surface.pixel(static_cast<int>(b.left + 4), static_cast<int>(b.top + 4));
  const Color accent = Theme::dark().colors.accent;
  EXPECT_NEAR(((px >> 16) & 0xff) / 255.0, accent.r, 0.01);
  EXPECT_NEAR(((px >> 8) & 0xff) / 255.0, accent.g, 0.01);
  EXPECT_NEAR((px & 0xff) / 255.0, accent.b, 0.01);
}

}  // namespace
}  // namespace vexa::ui
