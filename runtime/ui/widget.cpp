#include "vexa/ui/widget.h"

#include "vexa/ui/layout.h"

namespace vexa::ui {

std::expected<LayoutNode, std::string> Widget::build_layout(LayoutEngine& engine,
                                                            const FrameContext& /*ctx*/) {
  auto node = engine.new_leaf(LayoutStyle::fill());
  if (node) engine.set_widget(*node, this);
  return node;
}

}  // namespace vexa::ui
