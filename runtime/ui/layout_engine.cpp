#include <fmt/format.h>

#include <algorithm>
#include <cmath>
#include <limits>

#include "vexa/ui/layout.h"

namespace vexa::ui {
namespace {

constexpr double kInf = std::numeric_limits<double>::infinity();

std::optional<double> resolve(Dimension d, double basis) {
  switch (d.unit) {
    case Dimension::Unit::Points:
      return d.value;
    case Dimension::Unit::Percent:
      if (std::isfinite(basis)) return basis * d.value / 100.0;
      return std::nullopt;
    case Dimension::Unit::Auto:
      return std::nullopt;
  }
  return std::nullopt;
}

// Along one axis of a style: the size, its bounds and the edges of padding and margin.
struct Axis {
  bool row;
  const Dimension& size(const LayoutStyle& s) const { return row ? s.width : s.height; }
  const Dimension& min(const LayoutStyle& s) const { return row ? s.min_width : s.min_height; }
  const Dimension& max(const LayoutStyle& s) const { return row ? s.max_width : s.max_height; }
  double pad(const LayoutStyle& s) const {
    return row ? s.padding.left + s.padding.right : s.padding.top + s.padding.bottom;
  }
  double pad_start(const LayoutStyle& s) const { return row ? s.padding.left : s.padding.top; }
  double margin(const LayoutStyle& s) const {
    return row ? s.margin.left + s.margin.right : s.margin.top + s.margin.bottom;
  }
  double margin_start(const LayoutStyle& s) const { return row ? s.margin.left : s.margin.top; }
  double of(Size s) const { return row ? s.width : s.height; }
};

double clamp_to(const LayoutStyle& style, Axis axis, double value, double basis) {
  const double lo = resolve(axis.min(style), basis).value_or(0.0);
  const double hi = resolve(axis.max(style), basis).value_or(kInf);
  // A minimum wins over a smaller maximum, as in CSS.
  return std::max(lo, std::min(value, hi));
}

Align effective_align(const LayoutStyle& parent, const LayoutStyle& child) {
  return child.align_self.value_or(parent.align_items);
}

}  // namespace

std::expected<LayoutNode, std::string> LayoutEngine::new_node(
    LayoutStyle style, const std::vector<LayoutNode>& children) {
  if (nodes_.size() >= max_nodes_) {
    return std::unexpected(fmt::format("layout node limit of {} reached", max_nodes_));
  }
  for (std::size_t i = 0; i < children.size(); ++i) {
    const LayoutNode child = children[i];
    if (!contains(child)) return std::unexpected(fmt::format("unknown layout node {}", child));
    if (nodes_[child].parent.has_value() ||
        std::find(children.begin(), children.begin() + i, child) != children.begin() + i) {
      return std::unexpected(fmt::format("layout node {} already has a parent", child));
    }
  }
  const LayoutNode id = nodes_.size();
  Node node;
  node.style = std::move(style);
  node.children = children;
  nodes_.push_back(std::move(node));
  for (LayoutNode child : children) nodes_[child].parent = id;
  return id;
}

std::expected<LayoutNode, std::string> LayoutEngine::new_leaf(LayoutStyle style,
                                                              MeasureFn measure) {
  auto id = new_node(std::move(style));
  if (id) nodes_[*id].measure = std::move(measure);
  return id;
}

std::expected<void, std::string> LayoutEngine::add_child(LayoutNode parent, LayoutNode child) {
  if (!contains(parent)) return std::unexpected(fmt::format("unknown layout node {}", parent));
  if (!contains(child)) return std::unexpected(fmt::format("unknown layout node {}", child));
  if (nodes_[child].parent.has_value() || child == parent) {
    return std::unexpected(fmt::format("layout node {} already has a parent", child));
  }
  // Nodes are only ever given parents created after them or here, so a cycle would need the
  // child to be an ancestor of the parent.
  for (std::optional<LayoutNode> up = parent; up; up = nodes_[*up].parent) {
    if (*up == child)
      return std::unexpected(fmt::format("layout node {} would contain itself", child));
  }
  nodes_[parent].children.push_back(child);
  nodes_[child].parent = parent;
  return {};
}

Size LayoutEngine::content_size(LayoutNode id, std::optional<double> width,
                                std::optional<double> height, Size parent_inner) const {
  const Node& node = nodes_[id];
  const LayoutStyle& s = node.style;
  const Axis horizontal{true}, vertical{false};
  if (!width) width = resolve(s.width, parent_inner.width);
  if (!height) height = resolve(s.height, parent_inner.height);
  if (width) width = clamp_to(s, horizontal, *width, parent_inner.width);
  if (height) height = clamp_to(s, vertical, *height, parent_inner.height);
  if (width && height) return {*width, *height};

  const double pad_x = horizontal.pad(s), pad_y = vertical.pad(s);
  const Size inner{width ? std::max(0.0, *width - pad_x) : kInf,
                   height ? std::max(0.0, *height - pad_y) : kInf};
  Size content{0, 0};
  if (node.children.empty()) {
    if (node.measure) {
      // An unsized leaf may use what its parent offers, less its own edges.
      const Size offer{
          width ? inner.width : std::max(0.0, parent_inner.width - pad_x - horizontal.margin(s)),
          height ? inner.height : std::max(0.0, parent_inner.height - pad_y - vertical.margin(s))};
      content = node.measure(offer, text_);
    }
  } else {
    const Axis main{s.direction == FlexDirection::Row};
    const Axis cross{!main.row};
    double main_sum = 0, cross_max = 0;
    for (LayoutNode child_id : node.children) {
      const LayoutStyle& cs = nodes_[child_id].style;
      std::optional<double> cw, ch;
      // A stretched child takes the known cross size, which decides how its content wraps.
      const double inner_cross = cross.of(inner);
      if (std::isfinite(inner_cross) && effective_align(s, cs) == Align::Stretch &&
          cross.size(cs).unit == Dimension::Unit::Auto) {
        (cross.row ? cw : ch) = std::max(0.0, inner_cross - cross.margin(cs));
      }
      const Size child = content_size(child_id, cw, ch, inner);
      main_sum += main.of(child) + main.margin(cs);
      cross_max = std::max(cross_max, cross.of(child) + cross.margin(cs));
    }
    main_sum += s.gap * static_cast<double>(node.children.size() - 1);
    content = main.row ? Size{main_sum, cross_max} : Size{cross_max, main_sum};
  }
  return {width.value_or(clamp_to(s, horizontal, content.width + pad_x, parent_inner.width)),
          height.value_or(clamp_to(s, vertical, content.height + pad_y, parent_inner.height))};
}

void LayoutEngine::layout_children(LayoutNode id, double width, double height) {
  const LayoutStyle s = nodes_[id].style;
  const std::vector<LayoutNode> kids = nodes_[id].children;
  if (kids.empty()) return;
  const Axis main{s.direction == FlexDirection::Row};
  const Axis cross{!main.row};
  const Size inner{std::max(0.0, width - Axis{true}.pad(s)),
                   std::max(0.0, height - Axis{false}.pad(s))};
  const double inner_main = main.of(inner), inner_cross = cross.of(inner);
  const std::size_t n = kids.size();

  std::vector<double> basis(n), target(n), cross_size(n);
  std::vector<std::optional<double>> definite_cross(n);
  double fixed = s.gap * static_cast<double>(n - 1);
  for (std::size_t i = 0; i < n; ++i) {
    const LayoutStyle& cs = nodes_[kids[i]].style;
    definite_cross[i] = resolve(cross.size(cs), inner_cross);
    if (!definite_cross[i] && effective_align(s, cs) == Align::Stretch) {
      definite_cross[i] = std::max(0.0, inner_cross - cross.margin(cs));
    }
    if (definite_cross[i]) definite_cross[i] = clamp_to(cs, cross, *definite_cross[i], inner_cross);
    if (auto m = resolve(main.size(cs), inner_main)) {
      basis[i] = *m;
    } else {
      std::optional<double> w, h;
      (cross.row ? w : h) = definite_cross[i];
      basis[i] = main.of(content_size(kids[i], w, h, inner));
    }
    fixed += main.margin(cs);
  }

  // Flexible lengths: distribute the free space, freezing items that hit their bounds and
  // handing what they could not take to the others.
  double basis_sum = 0;
  for (double b : basis) basis_sum += b;
  const bool growing = inner_main - fixed - basis_sum > 0;
  std::vector<bool> frozen(n);
  for (std::size_t i = 0; i < n; ++i) {
    const LayoutStyle& cs = nodes_[kids[i]].style;
    target[i] = basis[i];
    frozen[i] = growing ? cs.flex_grow <= 0 : cs.flex_shrink <= 0 || basis[i] <= 0;
    if (frozen[i]) target[i] = clamp_to(cs, main, basis[i], inner_main);
  }
  for (std::size_t round = 0; round <= n; ++round) {
    double used = fixed, weight = 0;
    for (std::size_t i = 0; i < n; ++i) {
      const LayoutStyle& cs = nodes_[kids[i]].style;
      used += frozen[i] ? target[i] : basis[i];
      if (!frozen[i]) weight += growing ? cs.flex_grow : cs.flex_shrink * basis[i];
    }
    if (weight <= 0) break;
    const double remaining = inner_main - used;
    double violation = 0;
    std::vector<double> clamped(n);
    for (std::size_t i = 0; i < n; ++i) {
      if (frozen[i]) continue;
      const LayoutStyle& cs = nodes_[kids[i]].style;
      const double share = growing ? cs.flex_grow : cs.flex_shrink * basis[i];
      target[i] = basis[i] + (std::isfinite(remaining) ? remaining * share / weight : 0.0);
      clamped[i] = clamp_to(cs, main, target[i], inner_main);
      violation += clamped[i] - target[i];
    }
    for (std::size_t i = 0; i < n; ++i) {
      if (frozen[i]) continue;
      const bool freeze = violation == 0 || (violation > 0 && clamped[i] > target[i]) ||
                          (violation < 0 && clamped[i] < target[i]);
      if (freeze) {
        target[i] = clamped[i];
        frozen[i] = true;
      }
    }
    if (violation == 0) break;
  }

  double used = s.gap * static_cast<double>(n - 1);
  for (std::size_t i = 0; i < n; ++i) {
    const LayoutStyle& cs = nodes_[kids[i]].style;
    used += target[i] + main.margin(cs);
    if (definite_cross[i]) {
      cross_size[i] = *definite_cross[i];
    } else {
      std::optional<double> w, h;
      (main.row ? w : h) = target[i];
      cross_size[i] = cross.of(content_size(kids[i], w, h, inner));
    }
  }

  const double leftover = std::isfinite(inner_main) ? std::max(0.0, inner_main - used) : 0.0;
  double cursor = main.pad_start(s), spacing = s.gap;
  switch (s.justify) {
    case Justify::Start:
      break;
    case Justify::Center:
      cursor += leftover / 2;
      break;
    case Justify::End:
      cursor += leftover;
      break;
    case Justify::SpaceBetween:
      if (n > 1) spacing += leftover / static_cast<double>(n - 1);
      break;
  }

  for (std::size_t i = 0; i < n; ++i) {
    const LayoutStyle& cs = nodes_[kids[i]].style;
    cursor += main.margin_start(cs);
    const double slack =
        std::isfinite(inner_cross) ? inner_cross - cross_size[i] - cross.margin(cs) : 0.0;
    double cross_pos = cross.pad_start(s) + cross.margin_start(cs);
    switch (effective_align(s, cs)) {
      case Align::Center:
        cross_pos += slack / 2;
        break;
      case Align::End:
        cross_pos += slack;
        break;
      case Align::Start:
      case Align::Stretch:
        break;
    }
    const double x = main.row ? cursor : cross_pos;
    const double y = main.row ? cross_pos : cursor;
    const double w = main.row ? target[i] : cross_size[i];
    const double h = main.row ? cross_size[i] : target[i];
    nodes_[kids[i]].rect = Rect{x, y, x + w, y + h};
    cursor += target[i] + (main.margin(cs) - main.margin_start(cs)) + spacing;
    layout_children(kids[i], w, h);
  }
}

void LayoutEngine::compute(LayoutNode root, Size available, const TextRenderer* text) {
  if (!contains(root)) return;
  text_ = text;
  const LayoutStyle& s = nodes_[root].style;
  // An auto-sized root fills the space on offer where that space is bounded.
  std::optional<double> w = resolve(s.width, available.width);
  std::optional<double> h = resolve(s.height, available.height);
  if (!w && std::isfinite(available.width)) w = available.width;
  if (!h && std::isfinite(available.height)) h = available.height;
  const Size size = content_size(root, w, h, available);
  nodes_[root].rect = Rect{0, 0, size.width, size.height};
  layout_children(root, size.width, size.height);
  text_ = nullptr;
}

Rect LayoutEngine::rect(LayoutNode node) const {
  if (!contains(node)) return {};
  return nodes_[node].rect;
}

Rect LayoutEngine::absolute_rect(LayoutNode node) const {
  if (!contains(node)) return {};
  Rect r = nodes_[node].rect;
  for (std::optional<LayoutNode> up = nodes_[node].parent; up; up = nodes_[*up].parent) {
    const Rect p = nodes_[*up].rect;
    r = Rect{r.left + p.left, r.top + p.top, r.right + p.left, r.bottom + p.top};
  }
  return r;
}

}  // namespace vexa::ui
