#include <fmt/format.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <vector>

#include "headless_app.h"
#include "headless_driver.h"
#include "headless_host.h"
#include "temp_dir.h"
#include "vexa/log.h"
#include "vexa/ui/layout.h"
#include "vexa/ui/text.h"
#include "vexa/ui/toast.h"

namespace vexa::ui {
namespace {

using nlohmann::json;

// A root that records what the host does to it and reacts to a few keys.
class Probe : public Widget {
 public:
  std::string_view type_name() const override { return "Probe"; }

  void sync(persist::Document&, const FrameContext& ctx) override {
    ++syncs;
    last_ctx = ctx;
    if (active_frames > 0) --active_frames;
  }
  void apply_layout(const LayoutEngine&, Rect rect) override {
    rect_ = rect;
    ++layouts;
  }
  void draw(Canvas& canvas) override {
    canvas.fill_rect({0, 0, 10, 10}, Color{1, 0, 0, 1});
    if (status) toast::paint_transient(canvas, text, rect_, *status, 0);
  }
  EventResult handle_event(const Event& event, persist::Document& doc) override {
    events.push_back(event);
    if (const auto* key = std::get_if<KeyEvent>(&event); key && key->pressed) {
      if (key->key == "w") doc.put_string(persist::kRoot, "typed", "w");
      if (key->key == "s") status = "Saving…";
      if (key->key == "c") status.reset();
      if (key->key == "l") log::warn("test", "probe: hello", {{"count", "3"}});
      redraw = true;
      return EventResult::Consumed;
    }
    return EventResult::Ignored;
  }
  bool perform_semantic_action(std::string_view id, std::string_view action,
                               persist::Document&) override {
    return id == "probe.button" && action == "activate";
  }
  AccessNode accessibility() const override {
    if (!publish_tree) return {};
    return AccessNode{"window", "Probe", "", "", "probe", {}, {}};
  }
  bool needs_animation_frame() const override { return always_active || active_frames > 0; }
  bool needs_redraw() const override { return redraw; }
  void reset_redraw() override { redraw = false; }

  int syncs = 0;
  int layouts = 0;
  int active_frames = 0;
  bool always_active = false;
  bool redraw = true;
  bool publish_tree = false;
  std::optional<std::string> status;
  std::vector<Event> events;
  FrameContext last_ctx;
  TextRenderer text;
};

class DriverTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir = temp.path();
    auto doc = persist::open_file(dir / "document.sqlite3");
    ASSERT_TRUE(doc.has_value()) << doc.error();
    auto widget = std::make_unique<Probe>();
    probe = widget.get();
    host = std::make_unique<HeadlessHost>(std::move(widget), std::move(*doc), Size{320, 200});
    app.registry().register_family(
        "test.write",
        [](const json& value, persist::Document& d) -> std::expected<json, std::string> {
          d.put_string(persist::kRoot, "invoked", value.get<std::string>());
          return json{{"written", value}};
        });
    app.registry().register_family(
        "test.fail", [](const json&, persist::Document&) -> std::expected<json, std::string> {
          return std::unexpected(std::string("That action isn’t available."));
        });
  }
  void TearDown() override { host.reset(); }

  // Runs the script and returns every output line, parsed.
  std::vector<json> run(const std::string& script) {
    std::ostringstream out;
    {
      HeadlessDriver driver(*host, app, out);
      std::istringstream in(script);
      driver.run(in);
    }
    std::vector<json> lines;
    std::istringstream read(out.str());
    for (std::string line; std::getline(read, line);) lines.push_back(json::parse(line));
    return lines;
  }
  static std::vector<json> answers(const std::vector<json>& lines) {
    std::vector<json> out;
    for (const json& l : lines) {
      if (l.contains("answer")) out.push_back(l);
    }
    return out;
  }
  static std::vector<json> events(const std::vector<json>& lines, const std::string& kind) {
    std::vector<json> out;
    for (const json& l : lines) {
      if (l.value("event", "") == kind) out.push_back(l);
    }
    return out;
  }
  std::vector<KeyEvent> keys() const {
    std::vector<KeyEvent> out;
    for (const Event& e : probe->events) {
      if (const auto* k = std::get_if<KeyEvent>(&e)) out.push_back(*k);
    }
    return out;
  }

  vexa::testing::TempDir temp{"vexa-driver-test"};
  std::filesystem::path dir;
  HeadlessApp app;
  Probe* probe = nullptr;
  std::unique_ptr<HeadlessHost> host;
};

TEST_F(DriverTest, FramesSyncEveryTimeAndDrawOnlyWhenAsked) {
  auto lines = run("{\"frames\":5}\n");
  auto a = answers(lines);
  ASSERT_EQ(a.size(), 1u);
  EXPECT_EQ(a[0], (json{{"answer", "frames"}, {"ok", true}, {"frames", 5}}));
  EXPECT_EQ(probe->syncs, 6) << "the first frame plus five";
  EXPECT_EQ(host->frames_drawn(), 1u) << "the probe asked for one redraw only";
  EXPECT_EQ(probe->rect(), (Rect{0, 0, 320, 200}));
  EXPECT_EQ(lines.back(), (json{{"event", "done"}}));
}

struct KeyCase {
  std::string command;
  std::string key;
  std::string text;
  Modifiers modifiers;
};

class Keys : public DriverTest, public ::testing::WithParamInterface<KeyCase> {};

TEST_P(Keys, PressThenRelease) {
  auto a = answers(run(GetParam().command + "\n"));
  ASSERT_EQ(a.size(), 1u);
  EXPECT_TRUE(a[0]["ok"].get<bool>()) << a[0].dump();
  const auto k = keys();
  ASSERT_EQ(k.size(), 2u);
  EXPECT_TRUE(k[0].pressed);
  EXPECT_FALSE(k[1].pressed);
  EXPECT_EQ(k[0].key, GetParam().key);
  EXPECT_EQ(k[1].key, GetParam().key);
  EXPECT_EQ(k[0].text, GetParam().text);
  EXPECT_EQ(k[1].text, "") << "a release types nothing";
  EXPECT_EQ(k[0].modifiers, GetParam().modifiers);
}

INSTANTIATE_TEST_SUITE_P(
    Driver, Keys,
    ::testing::Values(KeyCase{R"({"key":"e"})", "e", "e", {}},
                      KeyCase{R"({"key":"e","shift":true})", "E", "E", {.shift = true}},
                      KeyCase{R"({"key":"a","ctrl":true})", "a", "", {.ctrl = true}},
                      KeyCase{R"({"key":"Delete","shift":true})", "Delete", "", {.shift = true}},
                      KeyCase{R"({"key":"Space"})", "Space", " ", {}},
                      KeyCase{R"({"key":"?"})", "?", "?", {}},
                      KeyCase{R"({"key":"ä","alt":true})", "ä", "", {.alt = true}},
                      KeyCase{R"({"key":"F5","cmd":true})", "F5", "", {.cmd = true}}));

TEST_F(DriverTest, PointerCommandsDeliverInOrder) {
  auto a = answers(run(R"({"click":[40,50]}
{"click":[41,51],"button":"secondary"}
{"drag":[[0,0],[80,0]]}
{"scroll":[0,-30],"at":[5,6]}
{"click":[1,1],"button":"left"}
)"));
  ASSERT_EQ(a.size(), 5u);
  for (int i = 0; i < 4; ++i) EXPECT_TRUE(a[i]["ok"].get<bool>()) << a[i].dump();
  EXPECT_FALSE(a[4]["ok"].get<bool>());

  std::vector<PointerEvent> p;
  const ScrollEvent* scroll = nullptr;
  for (const Event& e : probe->events) {
    if (const auto* pe = std::get_if<PointerEvent>(&e)) p.push_back(*pe);
    if (const auto* se = std::get_if<ScrollEvent>(&e)) scroll = se;
  }
  ASSERT_GE(p.size(), 6u);
  EXPECT_EQ(p[1].type, PointerEvent::Type::Press);
  EXPECT_EQ(p[2].type, PointerEvent::Type::Release);
  EXPECT_EQ(p[2].x, 40);
  EXPECT_EQ(p[4].type, PointerEvent::Type::Press);
  EXPECT_EQ(p[4].button, PointerButton::Secondary);
  EXPECT_EQ(p.back().type, PointerEvent::Type::Release);
  EXPECT_EQ(p.back().x, 80) << "the drag ends where it was asked to";
  ASSERT_NE(scroll, nullptr);
  EXPECT_EQ(scroll->dy, -30);
  EXPECT_EQ(scroll->x, 5);
}

TEST_F(DriverTest, ScreenshotIsAPngOfTheWindowSize) {
  const auto first = dir / "a.png", second = dir / "b.png";
  auto a = answers(
      run(fmt::format("{{\"screenshot\":\"{}\"}}\n{{\"resize\":[400,300]}}\n"
                      "{{\"screenshot\":\"{}\"}}\n{{\"screenshot\":\"/no/such/dir/x.png\"}}\n",
                      first.string(), second.string())));
  ASSERT_EQ(a.size(), 4u);
  auto png_size = [](const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::vector<unsigned char> h(24);
    in.read(reinterpret_cast<char*>(h.data()), 24);
    EXPECT_EQ(std::string(h.begin() + 1, h.begin() + 4), "PNG");
    auto be = [&](int at) {
      return (h[at] << 24) | (h[at + 1] << 16) | (h[at + 2] << 8) | h[at + 3];
    };
    return std::pair{be(16), be(20)};
  };
  EXPECT_EQ(png_size(first), (std::pair{320, 200}));
  EXPECT_EQ(png_size(second), (std::pair{400, 300}));
  EXPECT_EQ(a[2]["width"], 400);
  EXPECT_EQ(probe->last_ctx.window.width, 400);
  EXPECT_FALSE(a[3]["ok"].get<bool>());
  EXPECT_NE(a[3]["error"].get<std::string>().find("screenshot:"), std::string::npos);
}

TEST_F(DriverTest, AnsweredInvokeIsOnDisk) {
  const auto lines = run(R"({"invoke":{"type":"test.write","value":"archived"}}
{"invoke":{"type":"test.fail","value":1}}
{"invoke":{"type":"test.none","value":1}}
)");
  auto a = answers(lines);
  ASSERT_EQ(a.size(), 3u);
  EXPECT_EQ(a[0],
            (json{{"answer", "invoke"}, {"ok", true}, {"result", {{"written", "archived"}}}}));
  EXPECT_EQ(a[1]["error"], "That action isn’t available.");
  EXPECT_EQ(a[2]["error"], "invoke: no action family \"test.none\" is registered");
  EXPECT_EQ(app.registry().history().size(), 2u);
}

TEST_F(DriverTest, AnInvokeAnsweredAsFailedNeverLandsLater) {
  // A document on a file system that fills up.
  const std::filesystem::path small = dir / "small";
  std::filesystem::create_directory(small);
  if (std::system(("mount -t tmpfs -o size=1m tmpfs " + small.string() + " 2>/dev/null").c_str()) !=
      0) {
    GTEST_SKIP() << "cannot mount a small file system here";
  }
  struct Unmount {
    std::filesystem::path at;
    ~Unmount() { std::system(("umount " + at.string()).c_str()); }
  } unmount{small};
  auto doc = persist::open_file(small / "document.sqlite3");
  ASSERT_TRUE(doc.has_value()) << doc.error();
  host = std::make_unique<HeadlessHost>(std::make_unique<Probe>(), std::move(*doc), Size{100, 100});
  {
    std::ofstream filler(small / "filler", std::ios::binary);
    const std::string block(4096, 'x');
    while (filler.write(block.data(), block.size())) {
    }
  }
  auto a = answers(run(R"({"invoke":{"type":"test.write","value":"lost"}}
)"));
  ASSERT_EQ(a.size(), 1u);
  EXPECT_FALSE(a[0]["ok"].get<bool>());
  EXPECT_NE(a[0]["error"].get<std::string>().find("could not be saved"), std::string::npos);
  EXPECT_FALSE(host->document().has_pending_changes());
  EXPECT_EQ(host->document().get_string(persist::kRoot, "invoked"), std::nullopt);

  // Room again: the next commit must not bring the failed action back.
  std::filesystem::remove(small / "filler");
  host->document().put_bool(persist::kRoot, "other", true);
  ASSERT_TRUE(host->commit());
  host.reset();
  auto reopened = persist::open_file(small / "document.sqlite3");
  ASSERT_TRUE(reopened.has_value()) << reopened.error();
  EXPECT_EQ((*reopened)->get_string(persist::kRoot, "invoked"), std::nullopt);
}

TEST_F(DriverTest, AnsweredInvokeSurvivesAnAbruptExit) {
  host.reset();  // the child process opens the document itself
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    auto doc = persist::open_file(dir / "document.sqlite3");
    if (!doc) _exit(2);
    HeadlessHost h(std::make_unique<Probe>(), std::move(*doc), Size{100, 100});
    std::ostringstream out;
    HeadlessDriver driver(h, app, out);
    driver.handle_line(R"({"invoke":{"type":"test.write","value":"kept"}})");
    // No destructors, no final commit: only what the answer promised may be on disk.
    if (out.str().find("\"ok\":true") == std::string::npos) _exit(3);
    _exit(0);
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status));
  ASSERT_EQ(WEXITSTATUS(status), 0);
  auto reopened = persist::open_file(dir / "document.sqlite3");
  ASSERT_TRUE(reopened.has_value()) << reopened.error();
  EXPECT_EQ((*reopened)->get_string(persist::kRoot, "invoked"), "kept");
}

TEST_F(DriverTest, ChangesMadeByEventsAreCommitted) {
  const auto out = dir / "doc.json";
  auto a = answers(run(fmt::format("{{\"key\":\"w\"}}\n{{\"doc\":\"{}\"}}\n", out.string())));
  ASSERT_EQ(a.size(), 2u);
  EXPECT_FALSE(host->document().has_pending_changes());
  std::ifstream in(out);
  EXPECT_EQ(json::parse(in)["typed"], "w");
}

TEST_F(DriverTest, StatusEventsOnlyWhenThePaintedTextChanges) {
  const auto lines = run(R"({"key":"s"}
{"frames":3}
{"key":"x"}
{"key":"c"}
{"frames":2}
)");
  const auto status = events(lines, "status");
  ASSERT_EQ(status.size(), 2u);
  EXPECT_EQ(status[0], (json{{"event", "status"}, {"text", "Saving…"}}));
  EXPECT_EQ(status[1], (json{{"event", "status"}, {"text", nullptr}}));
}

TEST_F(DriverTest, LogEventsAreEchoed) {
  const auto logs = events(run("{\"key\":\"l\"}\n"), "log");
  ASSERT_EQ(logs.size(), 1u);
  EXPECT_EQ(logs[0]["target"], "test");
  EXPECT_EQ(logs[0]["level"], "warn");
  EXPECT_EQ(logs[0]["message"], "probe: hello");
  EXPECT_EQ(logs[0]["count"], "3");
}

TEST_F(DriverTest, WaitIdleRunsFramesUntilTheRootSettles) {
  probe->active_frames = 4;
  auto a = answers(run("{\"wait_idle\":2000}\n"));
  EXPECT_EQ(a[0]["idle"], true);
  EXPECT_EQ(probe->active_frames, 0);
  EXPECT_GE(probe->syncs, 4);

  probe->always_active = true;
  const auto start = std::chrono::steady_clock::now();
  a = answers(run("{\"wait_idle\":60}\n{\"wait_ms\":40}\n"));
  EXPECT_EQ(a[0]["idle"], false);
  EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(100));
  EXPECT_TRUE(a[1]["ok"].get<bool>());
}

TEST_F(DriverTest, BadLinesAreAnsweredAndTheScriptGoesOn) {
  const auto lines = run(R"({"fly":1}
not json

{"frames":-1}
{"key":"NoSuchKey"}
{"a11y":"/tmp/x.json"}
{"resources":"/tmp/r.json"}
{"pick":{"cancel":true}}
{"semantic":{"id":"probe.button","action":"activate"}}
{"frames":1}
)");
  auto a = answers(lines);
  ASSERT_EQ(a.size(), 9u);
  EXPECT_EQ(a[0], (json{{"answer", "fly"}, {"ok", false}, {"error", "unknown command \"fly\""}}));
  EXPECT_EQ(a[1]["answer"], nullptr);
  EXPECT_FALSE(a[1]["ok"].get<bool>());
  EXPECT_FALSE(a[2]["ok"].get<bool>());
  EXPECT_EQ(a[3]["error"], "key: unknown key name \"NoSuchKey\"");
  EXPECT_EQ(a[4]["error"], "a11y: the accessibility tree is not available yet");
  EXPECT_EQ(a[5]["error"], "resources: the resource tree is not available yet");
  EXPECT_FALSE(a[6]["ok"].get<bool>());
  EXPECT_EQ(a[7], (json{{"answer", "semantic"}, {"ok", true}, {"accepted", true}}));
  EXPECT_TRUE(a[8]["ok"].get<bool>());
  EXPECT_EQ(lines.back(), (json{{"event", "done"}}));
}

TEST_F(DriverTest, AccessibilityTreeIsWrittenOnceTheRootPublishesOne) {
  probe->publish_tree = true;
  const auto out = dir / "a11y.json";
  auto a = answers(run(fmt::format("{{\"a11y\":\"{}\"}}\n", out.string())));
  ASSERT_TRUE(a[0]["ok"].get<bool>()) << a[0].dump();
  std::ifstream in(out);
  const json tree = json::parse(in);
  EXPECT_EQ(tree["role"], "window");
  EXPECT_EQ(tree["name"], "Probe");
  EXPECT_TRUE(tree["children"].is_array());
}

TEST_F(DriverTest, TextScaleReachesTheRoot) {
  auto a = answers(run("{\"text_scale\":1.5}\n{\"text_scale\":0}\n"));
  EXPECT_TRUE(a[0]["ok"].get<bool>());
  EXPECT_FALSE(a[1]["ok"].get<bool>());
  EXPECT_FLOAT_EQ(probe->last_ctx.text_scale, 1.5f);
  EXPECT_FLOAT_EQ(probe->last_ctx.theme().text_scale, 1.5f);
}

}  // namespace
}  // namespace vexa::ui
