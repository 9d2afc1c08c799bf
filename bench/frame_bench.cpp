// One frame of the "wide" scene as the headless host runs it: sync, layout, draw.
#include <benchmark/benchmark.h>

#include <filesystem>

#include "core/scenes.h"
#include "vexa/ui/canvas.h"
#include "vexa/ui/layout.h"
#include "vexa/ui/toast.h"

namespace {

void BM_WideFrame(benchmark::State& state) {
  auto root = mail::core::build_scene(std::string("wide"));
  auto doc = vexa::persist::open_memory();
  vexa::ui::Size size{1280, 800};
  vexa::ui::RasterSurface surface(size);
  vexa::ui::FrameContext ctx;
  ctx.window = size;
  for (auto _ : state) {
    ctx.now = vexa::ui::Clock::now();
    root.widget->sync(*doc, ctx);
    vexa::ui::LayoutEngine engine;
    auto node = root.widget->build_layout(engine, ctx);
    if (!node) {
      state.SkipWithError(node.error().c_str());
      break;
    }
    engine.compute(*node, size);
    root.widget->apply_layout(engine, {0, 0, size.width, size.height});
    auto canvas = surface.canvas();
    vexa::ui::toast::begin_frame();
    root.widget->draw(*canvas);
    root.widget->reset_redraw();
  }
  std::filesystem::remove_all(root.document_dir);
}
BENCHMARK(BM_WideFrame)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
