// One frame of the "wide" scene as the headless host runs it: sync, layout, draw.
#include <benchmark/benchmark.h>

#include <filesystem>

#include "core/mail_app.h"
#include "scenes/scenes.h"
#include "vexa/ui/canvas.h"
#include "vexa/ui/layout.h"
#include "vexa/ui/toast.h"

namespace {

// Frames of the "wide" scene; with `extra` synthetic Inbox messages added, redraws must not cost
// in proportion to the mailbox.
void run_frames(benchmark::State& state, int extra) {
  auto root = mail::core::build_scene(std::string("wide"));
  auto& app = dynamic_cast<mail::core::MailApp&>(*root.widget);
  for (int i = 0; i < extra; ++i) {
    mail::MailMessage m;
    m.from.address = "sender" + std::to_string(i % 97) + "@example.com";
    m.subject = "Synthetic message " + std::to_string(i);
    m.body_text = "Body of message " + std::to_string(i);
    m.message_id = "synthetic-" + std::to_string(i) + "@bench";
    m.id = mail::message_id_from_header(*m.message_id);
    m.time = app.state().current_minute - i;
    app.state().messages.merge(std::move(m));
  }
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

void BM_WideFrame(benchmark::State& state) { run_frames(state, 0); }
BENCHMARK(BM_WideFrame)->Unit(benchmark::kMillisecond);

void BM_WideFrameLargeInbox(benchmark::State& state) { run_frames(state, 10000); }
BENCHMARK(BM_WideFrameLargeInbox)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
