#pragma once
// A small flexbox-style layout engine. A frame builds a tree of nodes (each widget adds its
// own), computes it for the window size and reads back each node's rectangle.
//
// What it does: row/column direction; width/height as points, percent of the parent's inner
// size, or auto (content size, or stretched on the cross axis); min/max sizes; flex grow and
// shrink; padding, margin and gap; align-items/align-self and justify-content. Leaves may carry
// a measure function for content such as text. No wrapping, no absolute positioning.
#include <cstddef>
#include <cstdint>
#include <expected>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "vexa/ui/geometry.h"

namespace vexa::ui {

class Widget;
class TextRenderer;
using LayoutNode = std::size_t;

struct Dimension {
  enum class Unit : std::uint8_t { Auto = 0, Points = 1, Percent = 2 };
  Unit unit = Unit::Auto;
  double value = 0;  // points, or percent in 0..100

  static constexpr Dimension automatic() { return {}; }
  static constexpr Dimension points(double v) { return {Unit::Points, v}; }
  static constexpr Dimension percent(double v) { return {Unit::Percent, v}; }
  friend bool operator==(const Dimension&, const Dimension&) = default;
};

struct Edges {
  double left = 0;
  double top = 0;
  double right = 0;
  double bottom = 0;

  static constexpr Edges all(double v) { return {v, v, v, v}; }
  static constexpr Edges symmetric(double horizontal, double vertical) {
    return {horizontal, vertical, horizontal, vertical};
  }
};

enum class FlexDirection : std::uint8_t { Row = 0, Column = 1 };
enum class Align : std::uint8_t { Start = 0, Center = 1, End = 2, Stretch = 3 };
enum class Justify : std::uint8_t { Start = 0, Center = 1, End = 2, SpaceBetween = 3 };

struct LayoutStyle {
  FlexDirection direction = FlexDirection::Row;
  Dimension width;
  Dimension height;
  Dimension min_width;
  Dimension min_height;
  Dimension max_width;
  Dimension max_height;
  double flex_grow = 0;
  double flex_shrink = 1;
  Edges padding;
  Edges margin;
  double gap = 0;
  Align align_items = Align::Stretch;
  std::optional<Align> align_self;
  Justify justify = Justify::Start;

  // The common "fill the parent" style: width and height 100 %.
  static LayoutStyle fill() {
    LayoutStyle s;
    s.width = Dimension::percent(100);
    s.height = Dimension::percent(100);
    return s;
  }
};

// Given the space on offer (unbounded axes are infinite), a leaf answers its content size.
using MeasureFn = std::function<Size(Size available, const TextRenderer* text)>;

class LayoutEngine {
 public:
  static constexpr std::size_t kDefaultMaxNodes = 65536;

  explicit LayoutEngine(std::size_t max_nodes = kDefaultMaxNodes) : max_nodes_(max_nodes) {}

  // Fails when the node limit is reached or a child is unknown or already has a parent.
  std::expected<LayoutNode, std::string> new_node(LayoutStyle style,
                                                  const std::vector<LayoutNode>& children = {});
  std::expected<LayoutNode, std::string> new_leaf(LayoutStyle style, MeasureFn measure = {});
  std::expected<void, std::string> add_child(LayoutNode parent, LayoutNode child);

  bool contains(LayoutNode node) const { return node < nodes_.size(); }
  std::size_t node_count() const { return nodes_.size(); }
  const LayoutStyle& style(LayoutNode node) const { return nodes_.at(node).style; }
  void set_style(LayoutNode node, LayoutStyle style) { nodes_.at(node).style = std::move(style); }
  const std::vector<LayoutNode>& children(LayoutNode node) const {
    return nodes_.at(node).children;
  }
  std::optional<LayoutNode> parent(LayoutNode node) const { return nodes_.at(node).parent; }

  // The widget that owns a node, so hosts and containers can find who to lay out.
  void set_widget(LayoutNode node, Widget* widget) { nodes_.at(node).widget = widget; }
  Widget* widget(LayoutNode node) const { return nodes_.at(node).widget; }

  // Lays out the tree under `root` within `available` (infinite = unbounded).
  void compute(LayoutNode root, Size available, const TextRenderer* text = nullptr);

  // The node's rectangle relative to its parent's top-left corner (the root's is at 0, 0).
  Rect rect(LayoutNode node) const;
  // The node's rectangle relative to the root.
  Rect absolute_rect(LayoutNode node) const;

  // Forgets every node, keeping the limit.
  void clear() { nodes_.clear(); }

 private:
  struct Node {
    LayoutStyle style;
    std::vector<LayoutNode> children;
    std::optional<LayoutNode> parent;
    MeasureFn measure;
    Widget* widget = nullptr;
    Rect rect;
  };

  Size content_size(LayoutNode node, std::optional<double> width, std::optional<double> height,
                    Size parent_inner) const;
  void layout_children(LayoutNode node, double width, double height);

  std::vector<Node> nodes_;
  std::size_t max_nodes_;
  const TextRenderer* text_ = nullptr;
};

}  // namespace vexa::ui
