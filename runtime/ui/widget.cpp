#include "vexa/ui/widget.h"

#include "vexa/log.h"
#include "vexa/ui/canvas.h"
#include "vexa/ui/layout.h"
#include "vexa/ui/text.h"
#include "vexa/ui/toast.h"

namespace vexa::ui {

std::expected<LayoutNode, std::string> Widget::build_layout(LayoutEngine& engine,
                                                            const FrameContext& /*ctx*/) {
  auto node = engine.new_leaf(LayoutStyle::fill());
  if (node) engine.set_widget(*node, this);
  return node;
}

void lay_out_and_paint(Widget& root, const FrameContext& ctx, Canvas& canvas) {
  LayoutEngine engine;
  TextRenderer text;
  text.set_text_scale(ctx.text_scale);
  auto node = root.build_layout(engine, ctx);
  if (node) {
    engine.compute(*node, ctx.window, &text);
  } else {
    log::error("vexa::host", "host: the root widget gave no layout node",
               {{"error", node.error()}});
  }
  root.apply_layout(engine, Rect{0, 0, ctx.window.width, ctx.window.height});
  toast::begin_frame();
  canvas.clear(Theme::dark().colors.background);
  root.draw(canvas);
  root.reset_redraw();
}

}  // namespace vexa::ui
