#include "frame_loop.h"

#include <cairo.h>
#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <vector>

#include "vexa/ui/canvas.h"

namespace vexa::ui {
namespace {

struct Probe {
  int syncs = 0;
  bool pending_at_sync = false;
  bool destroyed = false;
};

class FakeRoot : public Widget {
 public:
  explicit FakeRoot(Probe& probe) : probe_(probe) {}
  ~FakeRoot() override { probe_.destroyed = true; }

  std::string_view type_name() const override { return "FakeRoot"; }
  void sync(persist::Document& doc, const FrameContext&) override {
    ++probe_.syncs;
    probe_.pending_at_sync = doc.has_pending_changes();
  }
  void draw(Canvas& canvas) override { canvas.fill_rect(rect_, Color::hex(0xff0000)); }
  EventResult handle_event(const Event& event, persist::Document& doc) override {
    if (std::holds_alternative<KeyEvent>(event)) {
      doc.put_string(persist::kRoot, "typed", std::get<KeyEvent>(event).key);
      redraw = true;
      return EventResult::Consumed;
    }
    return EventResult::Ignored;
  }
  bool needs_animation_frame() const override { return animating; }
  bool needs_idle_sync() const override { return idle_work; }
  std::optional<Clock::time_point> next_wakeup() override { return wakeup; }
  bool needs_redraw() const override { return redraw; }
  void reset_redraw() override { redraw = false; }

  bool animating = false;
  bool idle_work = false;
  bool redraw = false;
  std::optional<Clock::time_point> wakeup;

 private:
  Probe& probe_;
};

struct Fixture {
  Probe probe;
  FakeRoot* root = nullptr;
  std::unique_ptr<FrameLoop> loop;

  explicit Fixture(std::unique_ptr<persist::Document> doc = persist::open_memory(),
                   Size window = {100, 50}) {
    auto widget = std::make_unique<FakeRoot>(probe);
    root = widget.get();
    loop = std::make_unique<FrameLoop>(std::move(widget), std::move(doc), window, 2.0);
  }
};

TEST(FrameLoop, PlansTheWaitFromWhatTheRootAsksFor) {
  struct Case {
    const char* label;
    bool animating;
    bool idle_work;
    std::optional<std::chrono::milliseconds> wake_in;
    bool tick;
    std::optional<std::chrono::milliseconds> planned_in;
  };
  using std::chrono::milliseconds;
  const std::vector<Case> cases = {
      {"idle sleeps", false, false, std::nullopt, false, std::nullopt},
      {"animation ticks", true, false, milliseconds(500), true, std::nullopt},
      {"idle work ticks", false, true, std::nullopt, true, std::nullopt},
      {"wake-up later", false, false, milliseconds(500), false, milliseconds(500)},
      // A wake-up already past waits one frame interval instead of spinning.
      {"wake-up past", false, false, milliseconds(-1000), false, FrameLoop::kFrameInterval},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    Fixture f;
    f.loop->run_frame();
    // The frame's instant lies between these two; the plan is checked against both.
    const auto after = Clock::now();
    f.root->animating = c.animating;
    f.root->idle_work = c.idle_work;
    if (c.wake_in) f.root->wakeup = after + *c.wake_in;
    const FramePlan plan = f.loop->plan();
    EXPECT_EQ(plan.tick, c.tick);
    ASSERT_EQ(plan.wakeup.has_value(), c.planned_in.has_value());
    if (!plan.wakeup) continue;
    if (c.wake_in && *c.wake_in > FrameLoop::kFrameInterval) {
      EXPECT_EQ(*plan.wakeup, *f.root->wakeup);
    } else {
      EXPECT_LE(*plan.wakeup, after + FrameLoop::kFrameInterval);
      EXPECT_GT(*plan.wakeup, after);
    }
  }
}

TEST(FrameLoop, DrawsTheRootOverTheWholeScaledSurface) {
  Fixture f;
  // The toolkit's surface carries the device scale: 100×50 logical pixels are 200×100.
  cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, 200, 100);
  cairo_surface_set_device_scale(surface, 2.0, 2.0);
  cairo_t* cr = cairo_create(surface);
  EXPECT_TRUE(f.loop->wants_draw());
  f.loop->draw(cr);
  cairo_surface_flush(surface);
  EXPECT_EQ(f.probe.syncs, 1) << "a paint before the first tick syncs the root first";
  EXPECT_FALSE(f.loop->wants_draw());

  const unsigned char* data = cairo_image_surface_get_data(surface);
  const int stride = cairo_image_surface_get_stride(surface);
  auto pixel = [&](int x, int y) {
    return *reinterpret_cast<const std::uint32_t*>(data + y * stride + x * 4);
  };
  EXPECT_EQ(pixel(0, 0), 0xffff0000u);
  EXPECT_EQ(pixel(199, 99), 0xffff0000u);
  cairo_destroy(cr);
  cairo_surface_destroy(surface);

  f.loop->resize({100, 50});
  EXPECT_FALSE(f.loop->wants_draw()) << "the same size changes nothing";
  f.loop->resize({120, 50});
  EXPECT_TRUE(f.loop->wants_draw());
}

TEST(FrameLoop, InputIsCommittedAtOnceAndClosingDropsTheRoot) {
  char pattern[] = "/tmp/vexa-frame-loop-XXXXXX";
  const std::filesystem::path dir = mkdtemp(pattern);
  const auto file = dir / "document.sqlite3";
  auto doc = persist::open_file(file);
  ASSERT_TRUE(doc.has_value()) << doc.error();
  Fixture f(std::move(*doc));

  EXPECT_EQ(f.loop->deliver(KeyEvent{"e", "e", {}, true}), EventResult::Consumed);
  EXPECT_TRUE(f.loop->wants_draw());
  f.loop->run_frame();
  EXPECT_FALSE(f.probe.pending_at_sync) << "the change waited for the next frame to be saved";

  f.loop->close();
  EXPECT_TRUE(f.probe.destroyed);
  EXPECT_FALSE(f.loop->open());
  EXPECT_EQ(f.loop->deliver(KeyEvent{"e", "e", {}, true}), EventResult::Ignored);
  EXPECT_EQ(f.loop->plan(), FramePlan{});

  auto reread = persist::open_file(file);
  ASSERT_TRUE(reread.has_value()) << reread.error();
  auto node = (*reread)->get(persist::kRoot, "typed");
  ASSERT_TRUE(node.has_value());
  EXPECT_EQ((*reread)->string_value(*node), "e");
  reread->reset();
  std::filesystem::remove_all(dir);
}

}  // namespace
}  // namespace vexa::ui
