#include "vexa/ui/button.h"

#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

#include "vexa/ui/canvas.h"
#include "vexa/ui/toggle.h"

namespace vexa::ui {
namespace {

constexpr Rect kFace{20, 20, 140, 56};
constexpr Point kInside{80, 38};
constexpr Point kOutside{5, 5};

EventResult pointer(Widget& w, persist::Document& doc, PointerEvent::Type type, Point p,
                    PointerButton button = PointerButton::Primary) {
  PointerEvent e;
  e.type = type;
  e.x = p.x;
  e.y = p.y;
  e.button = button;
  return w.handle_event(e, doc);
}

EventResult key(Widget& w, persist::Document& doc, std::string name) {
  KeyEvent e;
  e.key = std::move(name);
  return w.handle_event(e, doc);
}

struct Gesture {
  std::string name;
  std::vector<std::string> steps;
  bool activated;
  bool hovered;
};

void PrintTo(const Gesture& c, std::ostream* os) { *os << c.name; }

class ButtonGestures : public ::testing::TestWithParam<Gesture> {};

TEST_P(ButtonGestures, ActivateAndHoverAsAButtonShould) {
  auto doc = persist::open_memory();
  Button button("Save", "form.save", ButtonStyle::Primary);
  button.apply_layout_external(kFace);
  for (const std::string& step : GetParam().steps) {
    if (step == "move-in") pointer(button, *doc, PointerEvent::Type::Move, kInside);
    if (step == "move-out") pointer(button, *doc, PointerEvent::Type::Move, kOutside);
    if (step == "press") pointer(button, *doc, PointerEvent::Type::Press, kInside);
    if (step == "press-out") pointer(button, *doc, PointerEvent::Type::Press, kOutside);
    if (step == "press-secondary") {
      pointer(button, *doc, PointerEvent::Type::Press, kInside, PointerButton::Secondary);
    }
    if (step == "release") pointer(button, *doc, PointerEvent::Type::Release, kInside);
    if (step == "release-out") pointer(button, *doc, PointerEvent::Type::Release, kOutside);
    if (step == "disable") button.set_enabled(false);
    if (step == "focus") button.set_focused(true);
    if (step.starts_with("key:")) key(button, *doc, step.substr(4));
  }
  EXPECT_EQ(button.take_activated(), GetParam().activated);
  EXPECT_FALSE(button.take_activated());
  EXPECT_EQ(button.hovered(), GetParam().hovered);
  EXPECT_FALSE(button.pressed()) << "every gesture ends released";
}

INSTANTIATE_TEST_SUITE_P(
    Button, ButtonGestures,
    ::testing::Values(Gesture{"hover_only", {"move-in"}, false, true},
                      Gesture{"hover_then_leave", {"move-in", "move-out"}, false, false},
                      Gesture{"click", {"press", "release"}, true, true},
                      Gesture{"release_outside_cancels", {"press", "release-out"}, false, false},
                      Gesture{"press_outside", {"press-out", "release"}, false, false},
                      Gesture{"secondary", {"press-secondary", "release"}, false, false},
                      Gesture{
                          "disabled_ignores_click", {"disable", "press", "release"}, false, false},
                      Gesture{"enter_needs_focus", {"key:Enter"}, false, false},
                      Gesture{"focused_space", {"focus", "key:Space"}, true, false},
                      Gesture{"focused_other_key", {"focus", "key:a"}, false, false}),
    [](const auto& info) { return info.param.name; });

TEST(ButtonTest, HitTestFollowsTheRectangle) {
  Button button("Save", "form.save");
  button.apply_layout_external(kFace);
  EXPECT_EQ(button.hit_test(kInside), &button);
  EXPECT_EQ(button.hit_test({kFace.left, kFace.top}), &button);
  EXPECT_EQ(button.hit_test({kFace.right, kFace.top}), nullptr) << "right edge is outside";
  EXPECT_EQ(button.hit_test(kOutside), nullptr);
}

TEST(ButtonTest, SemanticActivationHonoursIdAndState) {
  auto doc = persist::open_memory();
  Button button("Save", "form.save");
  EXPECT_FALSE(button.perform_semantic_action("other", "activate", *doc));
  EXPECT_TRUE(button.perform_semantic_action("form.save", "activate", *doc));
  EXPECT_TRUE(button.take_activated());
  button.set_enabled(false);
  EXPECT_FALSE(button.perform_semantic_action("form.save", "activate", *doc));
  EXPECT_EQ(button.accessibility().states, (std::vector<std::string>{"disabled"}));
}

std::uint32_t face_pixel(const ButtonFace& face) {
  RasterSurface surface({160, 80});
  {
    auto canvas = surface.canvas();
    canvas->clear(Color{0, 0, 0, 1});
    Button::paint(*canvas, kFace, face, Theme::dark(), TextRenderer{});
  }
  return surface.pixel(static_cast<int>(kFace.left + 6), static_cast<int>(kFace.top + 6));
}

int green(std::uint32_t px) { return static_cast<int>((px >> 8) & 0xff); }

TEST(ButtonTest, FaceShowsItsState) {
  ButtonFace face{.label = "Save", .style = ButtonStyle::Primary};
  const std::uint32_t normal = face_pixel(face);
  EXPECT_NEAR(green(normal) / 255.0, Theme::dark().colors.accent.g, 0.01);
  face.hovered = true;
  EXPECT_GT(green(face_pixel(face)), green(normal)) << "hover lightens";
  face.pressed = true;
  EXPECT_LT(green(face_pixel(face)), green(normal)) << "press darkens";
  face = {.label = "Save", .style = ButtonStyle::Primary, .disabled = true};
  EXPECT_LT(green(face_pixel(face)), green(normal) / 2 + 10) << "disabled fades";
  face = {.icon = IconName::Refresh, .style = ButtonStyle::Quiet};
  EXPECT_EQ(green(face_pixel(face)), 0) << "a quiet face has no fill until hovered";
}

TEST(ToggleTest, FlipsByPressKeyAndSemanticAction) {
  auto doc = persist::open_memory();
  Toggle toggle("IMAP TLS", "setup.imap-tls", true);
  toggle.apply_layout_external({0, 0, 40, 22});
  EXPECT_EQ(pointer(toggle, *doc, PointerEvent::Type::Press, {10, 10}), EventResult::Consumed);
  EXPECT_FALSE(toggle.on());
  EXPECT_TRUE(toggle.take_changed());
  EXPECT_EQ(pointer(toggle, *doc, PointerEvent::Type::Press, {60, 10}), EventResult::Ignored);
  EXPECT_EQ(key(toggle, *doc, "Space"), EventResult::Ignored) << "not focused";
  toggle.set_focused(true);
  EXPECT_EQ(key(toggle, *doc, "Space"), EventResult::Consumed);
  EXPECT_TRUE(toggle.on());
  EXPECT_TRUE(toggle.perform_semantic_action("setup.imap-tls", "toggle", *doc));
  EXPECT_FALSE(toggle.on());
  toggle.set_on(true);
  toggle.take_changed();
  toggle.set_on(false);
  EXPECT_FALSE(toggle.take_changed()) << "the owner's own changes are not reported back";
  toggle.set_enabled(false);
  EXPECT_EQ(pointer(toggle, *doc, PointerEvent::Type::Press, {10, 10}), EventResult::Ignored);
  EXPECT_EQ(toggle.accessibility().value, "off");
}

TEST(ToggleTest, KnobMovesToTheRightWhenOn) {
  auto knob_side = [](bool on) {
    RasterSurface surface({40, 22});
    {
      auto canvas = surface.canvas();
      canvas->clear(Color{0, 0, 0, 1});
      Toggle::paint(*canvas, {0, 0, 40, 22}, ToggleFace{.on = on}, Theme::dark());
    }
    const auto lum = [&](int x) { return (surface.pixel(x, 11) >> 8) & 0xff; };
    return lum(29) > lum(11);
  };
  EXPECT_TRUE(knob_side(true));
  EXPECT_FALSE(knob_side(false));
}

TEST(ToggleGroupTest, SegmentsSplitTheRectangle) {
  const Rect r{0, 0, 300, 30};
  struct Case {
    Point p;
    std::optional<std::size_t> segment;
  };
  const std::vector<Case> cases = {
      {{0, 10}, 0},     {{99.9, 10}, 0},           {{100, 10}, 1},
      {{299.9, 10}, 2}, {{300, 10}, std::nullopt}, {{150, 30}, std::nullopt},
  };
  for (const Case& c : cases) EXPECT_EQ(ToggleGroup::segment_at(r, 3, c.p), c.segment) << c.p.x;
  EXPECT_EQ(ToggleGroup::segment_at(r, 0, {10, 10}), std::nullopt);
  EXPECT_EQ(ToggleGroup::segment_rect({0, 0, 100, 10}, 3, 2).right, 100);
}

TEST(ToggleGroupTest, ChoosesByPressKeysAndSemanticAction) {
  auto doc = persist::open_memory();
  ToggleGroup group({"Password", "OAuth"}, "setup.auth");
  group.apply_layout_external({0, 0, 200, 30});
  EXPECT_EQ(pointer(group, *doc, PointerEvent::Type::Press, {150, 10}), EventResult::Consumed);
  EXPECT_EQ(group.selected(), 1u);
  EXPECT_TRUE(group.take_changed());
  pointer(group, *doc, PointerEvent::Type::Press, {150, 10});
  EXPECT_FALSE(group.take_changed()) << "choosing the chosen one changes nothing";

  group.set_focused(true);
  key(group, *doc, "Right");
  EXPECT_EQ(group.selected(), 1u) << "stays on the last option";
  key(group, *doc, "Left");
  key(group, *doc, "Left");
  EXPECT_EQ(group.selected(), 0u);

  EXPECT_TRUE(group.perform_semantic_action("setup.auth:1", "activate", *doc));
  EXPECT_EQ(group.selected(), 1u);
  EXPECT_FALSE(group.perform_semantic_action("setup.auth:2", "activate", *doc));
  group.set_selected(7);
  EXPECT_EQ(group.selected(), 1u);
  const AccessNode node = group.accessibility();
  ASSERT_EQ(node.children.size(), 2u);
  EXPECT_EQ(node.children[1].states, (std::vector<std::string>{"checked"}));
}

}  // namespace
}  // namespace vexa::ui
