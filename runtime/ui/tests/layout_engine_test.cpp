#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <string>
#include <vector>

#include "vexa/ui/layout.h"

namespace vexa::ui {
namespace {

LayoutStyle sized(double w, double h) {
  LayoutStyle s;
  s.width = Dimension::points(w);
  s.height = Dimension::points(h);
  return s;
}

LayoutStyle grow(double factor, double h = 10) {
  LayoutStyle s;
  s.flex_grow = factor;
  s.height = Dimension::points(h);
  return s;
}

struct Expect {
  std::size_t child;  // index into the children vector the case returns
  Rect rect;          // relative to the parent
};

struct Case {
  std::string name;
  Size available;
  // Builds the tree; returns the root and the nodes the expectations refer to.
  std::function<std::pair<LayoutNode, std::vector<LayoutNode>>(LayoutEngine&)> build;
  std::vector<Expect> expect;
};

class LayoutCases : public ::testing::TestWithParam<Case> {};

TEST_P(LayoutCases, ComputesRectangles) {
  const Case& c = GetParam();
  LayoutEngine engine;
  auto [root, nodes] = c.build(engine);
  engine.compute(root, c.available);
  for (const Expect& e : c.expect) {
    const Rect got = engine.rect(nodes.at(e.child));
    EXPECT_NEAR(got.left, e.rect.left, 1e-6) << c.name << " node " << e.child;
    EXPECT_NEAR(got.top, e.rect.top, 1e-6) << c.name << " node " << e.child;
    EXPECT_NEAR(got.right, e.rect.right, 1e-6) << c.name << " node " << e.child;
    EXPECT_NEAR(got.bottom, e.rect.bottom, 1e-6) << c.name << " node " << e.child;
  }
}

// Builds `root_style` over the given leaves and returns root plus leaves (leaf i is node i).
auto row_of(LayoutStyle root_style, std::vector<LayoutStyle> leaves) {
  return [=](LayoutEngine& e) {
    std::vector<LayoutNode> kids;
    for (const auto& leaf : leaves) kids.push_back(*e.new_node(leaf));
    LayoutNode root = *e.new_node(root_style, kids);
    kids.push_back(root);
    return std::pair{root, kids};
  };
}

LayoutStyle container(FlexDirection direction, double w, double h) {
  LayoutStyle s = sized(w, h);
  s.direction = direction;
  return s;
}

const std::vector<Case> kCases = [] {
  std::vector<Case> cases;
  {
    LayoutStyle root = container(FlexDirection::Row, 300, 100);
    root.gap = 10;
    root.align_items = Align::Start;
    cases.push_back({"fixed children with gap",
                     {300, 100},
                     row_of(root, {sized(50, 20), sized(70, 30)}),
                     {{0, {0, 0, 50, 20}}, {1, {60, 0, 130, 30}}, {2, {0, 0, 300, 100}}}});
  }
  {
    LayoutStyle root = container(FlexDirection::Row, 320, 50);
    root.padding = Edges::all(10);
    root.gap = 0;
    root.align_items = Align::Start;
    cases.push_back({"grow shares free space by factor after padding",
                     {320, 50},
                     row_of(root, {grow(1), grow(2)}),
                     {{0, {10, 10, 110, 20}}, {1, {110, 10, 310, 20}}}});
  }
  {
    LayoutStyle root = container(FlexDirection::Row, 200, 40);
    root.align_items = Align::Start;
    // Overflow of 100 is taken in proportion to the bases (100 and 200).
    cases.push_back({"shrink in proportion to basis",
                     {200, 40},
                     row_of(root, {sized(100, 10), sized(200, 10)}),
                     {{0, {0, 0, 100 - 100.0 / 3, 10}}, {1, {100 - 100.0 / 3, 0, 200, 10}}}});
  }
  {
    LayoutStyle root = container(FlexDirection::Row, 200, 40);
    root.align_items = Align::Start;
    LayoutStyle a = sized(150, 10);
    a.min_width = Dimension::points(140);
    // The first child may not shrink below 140, so the second takes the rest of the overflow.
    cases.push_back({"min width freezes and hands overflow on",
                     {200, 40},
                     row_of(root, {a, sized(150, 10)}),
                     {{0, {0, 0, 140, 10}}, {1, {140, 0, 200, 10}}}});
  }
  {
    LayoutStyle root = container(FlexDirection::Row, 300, 40);
    root.align_items = Align::Start;
    LayoutStyle capped = grow(1);
    capped.max_width = Dimension::points(50);
    cases.push_back({"max width caps growth, remainder to others",
                     {300, 40},
                     row_of(root, {capped, grow(1)}),
                     {{0, {0, 0, 50, 10}}, {1, {50, 0, 300, 10}}}});
  }
  {
    LayoutStyle root = container(FlexDirection::Row, 400, 100);
    root.padding = Edges{20, 0, 80, 0};
    LayoutStyle half;
    half.width = Dimension::percent(50);
    half.height = Dimension::percent(100);
    cases.push_back(
        {"percent of the inner size", {400, 100}, row_of(root, {half}), {{0, {20, 0, 170, 100}}}});
  }
  {
    LayoutStyle root = container(FlexDirection::Column, 200, 100);
    LayoutStyle child;
    child.height = Dimension::points(20);
    child.margin = Edges{5, 3, 15, 0};
    cases.push_back({"stretch fills the cross axis less margins",
                     {200, 100},
                     row_of(root, {child}),
                     {{0, {5, 3, 185, 23}}}});
  }
  {
    LayoutStyle root = container(FlexDirection::Column, 200, 100);
    root.align_items = Align::Center;
    root.justify = Justify::Center;
    cases.push_back(
        {"centred both ways", {200, 100}, row_of(root, {sized(40, 20)}), {{0, {80, 40, 120, 60}}}});
  }
  {
    LayoutStyle root = container(FlexDirection::Row, 200, 30);
    root.justify = Justify::SpaceBetween;
    root.align_items = Align::End;
    cases.push_back({"space between and end alignment",
                     {200, 30},
                     row_of(root, {sized(20, 10), sized(20, 10), sized(20, 10)}),
                     {{0, {0, 20, 20, 30}}, {1, {90, 20, 110, 30}}, {2, {180, 20, 200, 30}}}});
  }
  {
    LayoutStyle root = container(FlexDirection::Row, 200, 30);
    root.justify = Justify::End;
    LayoutStyle self = sized(20, 10);
    self.align_self = Align::Center;
    cases.push_back({"justify end with align self",
                     {200, 30},
                     row_of(root, {self}),
                     {{0, {180, 10, 200, 20}}}});
  }
  cases.push_back(
      {"auto root fills the available space and auto box wraps content",
       {500, 300},
       [](LayoutEngine& e) {
         LayoutNode a = *e.new_node(sized(30, 10));
         LayoutNode b = *e.new_node(sized(50, 25));
         LayoutStyle box;
         box.padding = Edges::all(4);
         box.gap = 6;
         LayoutNode inner = *e.new_node(box, {a, b});
         LayoutStyle root_style;
         root_style.align_items = Align::Start;
         LayoutNode root = *e.new_node(root_style, {inner});
         return std::pair{root, std::vector<LayoutNode>{root, inner, a, b}};
       },
       {{0, {0, 0, 500, 300}}, {1, {0, 0, 94, 33}}, {2, {4, 4, 34, 14}}, {3, {40, 4, 90, 29}}}});
  cases.push_back({"a measured leaf wraps to the width it is given",
                   {100, 400},
                   [](LayoutEngine& e) {
                     // 1000 square pixels of "text": narrower means taller.
                     LayoutNode text =
                         *e.new_leaf(LayoutStyle{}, [](Size avail, const TextRenderer*) {
                           const double w = std::min(avail.width, 200.0);
                           return Size{w, std::ceil(1000.0 / w)};
                         });
                     LayoutStyle col;
                     col.direction = FlexDirection::Column;
                     col.padding = Edges::all(10);
                     LayoutNode root = *e.new_node(col, {text});
                     return std::pair{root, std::vector<LayoutNode>{text}};
                   },
                   {{0, {10, 10, 90, 23}}}});
  return cases;
}();

INSTANTIATE_TEST_SUITE_P(Flex, LayoutCases, ::testing::ValuesIn(kCases), [](const auto& info) {
  std::string name = info.param.name;
  for (char& ch : name) {
    if (!std::isalnum(static_cast<unsigned char>(ch))) ch = '_';
  }
  return name;
});

TEST(LayoutEngine, AbsoluteRectAddsAncestorOffsets) {
  LayoutEngine e;
  LayoutNode leaf = *e.new_node(sized(10, 10));
  LayoutStyle mid = sized(100, 100);
  mid.padding = Edges::all(7);
  LayoutNode middle = *e.new_node(mid, {leaf});
  LayoutStyle top = sized(300, 300);
  top.padding = Edges{20, 30, 0, 0};
  LayoutNode root = *e.new_node(top, {middle});
  e.compute(root, {300, 300});
  EXPECT_EQ(e.rect(leaf), (Rect{7, 7, 17, 17}));
  EXPECT_EQ(e.absolute_rect(leaf), (Rect{27, 37, 37, 47}));
}

TEST(LayoutEngine, RefusesBadTrees) {
  LayoutEngine e(3);
  LayoutNode a = *e.new_node({});
  LayoutNode b = *e.new_node({}, {a});
  EXPECT_FALSE(e.new_node({}, {a}).has_value()) << "a second parent";
  EXPECT_FALSE(e.new_node({}, {42}).has_value()) << "unknown child";
  EXPECT_FALSE(e.add_child(a, b).has_value()) << "cycle";
  LayoutNode c = *e.new_node({});
  auto over = e.new_node({});
  ASSERT_FALSE(over.has_value());
  EXPECT_EQ(over.error(), "layout node limit of 3 reached");
  EXPECT_TRUE(e.add_child(b, c).has_value());
  EXPECT_EQ(e.children(b), (std::vector<LayoutNode>{a, c}));
}

TEST(LayoutEngine, RegistersWidgets) {
  LayoutEngine e;
  LayoutNode n = *e.new_leaf(LayoutStyle::fill());
  EXPECT_EQ(e.widget(n), nullptr);
  auto* marker = reinterpret_cast<Widget*>(0x10);
  e.set_widget(n, marker);
  EXPECT_EQ(e.widget(n), marker);
  e.compute(n, {640, 480});
  EXPECT_EQ(e.rect(n), (Rect{0, 0, 640, 480}));
}

}  // namespace
}  // namespace vexa::ui
