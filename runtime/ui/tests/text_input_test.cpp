#include "vexa/ui/text_input.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <ostream>
#include <string>
#include <vector>

#include "vexa/ui/canvas.h"

namespace vexa::ui {
namespace {

class TextInputTest : public ::testing::Test {
 protected:
  EventResult key(TextInput& input, std::string name, Modifiers mods = {}) {
    KeyEvent e;
    e.key = name;
    e.modifiers = mods;
    // A plain character key types itself, as the hosts deliver it.
    if (name.size() == 1 && !mods.ctrl && !mods.cmd && !mods.alt) e.text = name;
    return input.handle_event(e, *doc);
  }
  EventResult press(TextInput& input, double x, double y = 20, bool shift = false) {
    PointerEvent e;
    e.type = PointerEvent::Type::Press;
    e.x = x;
    e.y = y;
    e.modifiers.shift = shift;
    return input.handle_event(e, *doc);
  }

  std::unique_ptr<persist::Document> doc = persist::open_memory();
};

// Steps: "t:<chars>" a typed key, "ime:<text>" a text event, or a key name with an optional
// "shift+" / "ctrl+" prefix.
struct Edit {
  std::string name;
  std::string initial;
  std::vector<std::string> steps;
  std::string text;
  std::size_t caret;
  std::pair<std::size_t, std::size_t> selection;
};

void PrintTo(const Edit& c, std::ostream* os) { *os << c.name; }

class Edits : public TextInputTest, public ::testing::WithParamInterface<Edit> {};

TEST_P(Edits, ChangeTextCaretAndSelection) {
  const Edit& c = GetParam();
  TextInput input = TextInput::local().with_initial_value(c.initial);
  input.set_focused(true);
  for (const std::string& step : c.steps) {
    if (step.starts_with("t:")) {
      KeyEvent e;
      e.key = step.substr(2);
      e.text = step.substr(2);
      ASSERT_EQ(input.handle_event(e, *doc), EventResult::Consumed) << step;
    } else if (step.starts_with("ime:")) {
      ASSERT_EQ(input.handle_event(TextEvent{step.substr(4)}, *doc), EventResult::Consumed);
    } else {
      Modifiers mods;
      std::string name = step;
      if (name.starts_with("shift+")) {
        mods.shift = true;
        name = name.substr(6);
      } else if (name.starts_with("ctrl+")) {
        mods.ctrl = true;
        name = name.substr(5);
      }
      KeyEvent e;
      e.key = name;
      e.modifiers = mods;
      ASSERT_EQ(input.handle_event(e, *doc), EventResult::Consumed) << step;
    }
  }
  EXPECT_EQ(input.text(), c.text);
  EXPECT_EQ(input.caret(), c.caret);
  EXPECT_EQ(input.selection(), c.selection);
}

// "é" is 2 bytes, "😀" 4, "日" 3.
INSTANTIATE_TEST_SUITE_P(
    TextInput, Edits,
    ::testing::Values(
        Edit{"typing_appends", "", {"t:a", "t:b", "t:c"}, "abc", 3, {3, 3}},
        Edit{"insert_at_caret", "ac", {"Left", "t:b"}, "abc", 2, {2, 2}},
        Edit{"step_over_two_byte_char", "héllo", {"Home", "Right", "Right"}, "héllo", 3, {3, 3}},
        Edit{"select_and_replace_accented",
             "héllo",
             {"Home", "Right", "shift+Right", "t:e"},
             "hello",
             2,
             {2, 2}},
        Edit{"backspace_removes_whole_emoji", "a😀", {"Backspace"}, "a", 1, {1, 1}},
        Edit{"delete_forward_multibyte", "日本", {"Home", "Delete"}, "本", 0, {0, 0}},
        Edit{"delete_at_end_is_harmless", "ab", {"Delete"}, "ab", 2, {2, 2}},
        Edit{"backspace_at_start_is_harmless", "ab", {"Home", "Backspace"}, "ab", 0, {0, 0}},
        Edit{"select_all_then_type", "old text", {"ctrl+a", "t:n"}, "n", 1, {1, 1}},
        Edit{"shift_home_then_backspace",
             "abc",
             {"Left", "shift+Home", "Backspace"},
             "c",
             0,
             {0, 0}},
        Edit{"left_collapses_to_selection_start",
             "abcd",
             {"shift+Left", "shift+Left", "Left"},
             "abcd",
             2,
             {2, 2}},
        Edit{"right_collapses_to_selection_end",
             "abcd",
             {"Home", "shift+End", "Right"},
             "abcd",
             4,
             {4, 4}},
        Edit{"shift_selection_keeps_anchor",
             "abcd",
             {"shift+Left", "shift+Left"},
             "abcd",
             2,
             {2, 4}},
        Edit{"ime_commit_at_caret", "ab", {"Left", "ime:日本"}, "a日本b", 7, {7, 7}},
        Edit{"control_characters_dropped", "", {"ime:a\nb\tc\r"}, "abc", 3, {3, 3}},
        Edit{"ime_replaces_selection", "hello", {"ctrl+a", "ime:ü"}, "ü", 2, {2, 2}}),
    [](const auto& info) { return info.param.name; });

TEST_F(TextInputTest, IgnoresWhatIsNotForIt) {
  TextInput input = TextInput::local().with_initial_value("abc");
  EXPECT_EQ(key(input, "x"), EventResult::Ignored) << "unfocused";
  EXPECT_EQ(input.handle_event(TextEvent{"x"}, *doc), EventResult::Ignored);
  input.set_focused(true);
  EXPECT_EQ(key(input, "b", Modifiers{.ctrl = true}), EventResult::Ignored) << "a chord";
  EXPECT_EQ(key(input, "Enter"), EventResult::Ignored) << "left to the owner";
  EXPECT_EQ(key(input, "Escape"), EventResult::Ignored);
  EXPECT_EQ(input.text(), "abc");
  EXPECT_FALSE(input.take_changed());

  EXPECT_EQ(key(input, "Delete"), EventResult::Consumed)
      << "a focused field keeps Delete from reaching the app's shortcuts";
  key(input, "Backspace");
  EXPECT_TRUE(input.take_changed());
  EXPECT_FALSE(input.take_changed());
  input.set_text("xyz");
  EXPECT_FALSE(input.take_changed()) << "the owner's own changes are not reported back";
}

TEST_F(TextInputTest, BuildersSetKindValueAndPlaceholder) {
  TextInput input =
      TextInput::local().with_kind(9).with_initial_value("s3cr3t").with_placeholder("Password");
  EXPECT_EQ(input.kind(), InputKind::Password);
  EXPECT_EQ(input.text(), "s3cr3t");
  EXPECT_EQ(input.caret(), 6u);
  EXPECT_EQ(input.placeholder(), "Password");
  EXPECT_EQ(input.display_text(), "••••••");
  EXPECT_EQ(input.accessibility().value.find("s3cr3t"), std::string::npos);

  TextInput email = TextInput::local().with_kind(4).with_initial_value("a@b");
  EXPECT_EQ(email.kind_code(), 4);
  EXPECT_EQ(email.display_text(), "a@b");
}

TEST_F(TextInputTest, PressPlacesTheCaretAndDragSelects) {
  TextInput input = TextInput::local().with_initial_value("hello world");
  input.apply_layout_external({10, 10, 400, 34});
  EXPECT_EQ(press(input, 11), EventResult::Consumed);
  EXPECT_TRUE(input.focused());
  EXPECT_EQ(input.caret(), 0u);

  input.set_caret(5);
  const double x5 = input.caret_x();
  input.set_caret(0);
  press(input, x5 + 1);
  EXPECT_EQ(input.caret(), 5u) << "the nearest boundary wins";
  press(input, 399);
  EXPECT_EQ(input.caret(), 11u);

  press(input, 11);
  PointerEvent drag;
  drag.type = PointerEvent::Type::Move;
  drag.x = x5;
  drag.y = 20;
  EXPECT_EQ(input.handle_event(drag, *doc), EventResult::Consumed);
  EXPECT_EQ(input.selection(), (std::pair<std::size_t, std::size_t>{0, 5}));

  EXPECT_EQ(press(input, 500, 20), EventResult::Ignored);
  EXPECT_FALSE(input.focused()) << "a press elsewhere takes the focus away";
}

TEST_F(TextInputTest, PressOnMultiByteTextLandsOnBoundaries) {
  TextInput input = TextInput::local().with_initial_value("日本語テキスト");
  input.apply_layout_external({0, 0, 400, 30});
  for (double x = 0; x < 200; x += 3) {
    press(input, x, 10);
    EXPECT_EQ(input.caret() % 3, 0u) << "x " << x;
  }
}

TEST_F(TextInputTest, ScrollsToKeepTheCaretVisible) {
  TextInput input = TextInput::local().with_initial_value(std::string(200, 'w'));
  input.apply_layout_external({0, 0, 120, 30});
  input.set_focused(true);
  EXPECT_GT(input.scroll_offset(), 0) << "the caret starts at the end";
  EXPECT_LE(input.caret_x(), 120);
  EXPECT_GE(input.caret_x(), 0);
  key(input, "Home");
  EXPECT_EQ(input.scroll_offset(), 0);
  key(input, "End");
  EXPECT_LE(input.caret_x(), 120);

  input.set_text("short");
  EXPECT_EQ(input.scroll_offset(), 0) << "text that fits is never scrolled";
}

double brightest(RasterSurface& surface, Rect r) {
  double best = 0;
  for (int y = static_cast<int>(r.top); y < static_cast<int>(r.bottom); ++y) {
    for (int x = static_cast<int>(r.left); x < static_cast<int>(r.right); ++x) {
      const std::uint32_t px = surface.pixel(x, y);
      best = std::max(best, static_cast<double>((px >> 8) & 0xff));
    }
  }
  return best;
}

TEST_F(TextInputTest, PlaceholderIsDimmerThanText) {
  const Rect area{0, 0, 200, 30};
  auto draw = [&](TextInput& input) {
    RasterSurface surface({200, 30});
    {
      auto canvas = surface.canvas();
      canvas->clear(Color{0, 0, 0, 1});
      input.apply_layout_external(area);
      input.draw(*canvas);
    }
    return brightest(surface, area);
  };
  TextInput hint = TextInput::local().with_placeholder("Search mail");
  TextInput value = TextInput::local().with_initial_value("Search mail");
  const double hint_level = draw(hint);
  const double value_level = draw(value);
  EXPECT_GT(hint_level, 20) << "the placeholder is drawn";
  EXPECT_LT(hint_level + 30, value_level);
}

}  // namespace
}  // namespace vexa::ui
