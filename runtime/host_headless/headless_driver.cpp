#include "headless_driver.h"

#include <fmt/format.h>

#include <array>
#include <cmath>
#include <condition_variable>
#include <deque>
#include <set>
#include <thread>

#include "vexa/atomic_write.h"
#include "vexa/log.h"

namespace vexa::ui {
namespace {

using Json = nlohmann::ordered_json;

// A bad argument; caught by handle_line and answered as the command's error.
struct CommandError {
  std::string text;
};

[[noreturn]] void fail(std::string text) { throw CommandError{std::move(text)}; }

// Checked in this order, so a command's modifiers ("shift", "button", "at") never win.
constexpr std::array<const char*, 18> kCommands = {
    "frames", "wait_ms", "wait_idle", "key",    "text",       "move",
    "click",  "drag",    "scroll",    "resize", "text_scale", "screenshot",
    "doc",    "a11y",    "semantic",  "invoke", "resources",  "pick"};

const std::set<std::string> kNamedKeys = {
    "Enter", "Escape", "Tab",       "Space",  "Up",       "Down",   "Left", "Right", "Home",
    "End",   "Delete", "Backspace", "PageUp", "PageDown", "Insert", "F1",   "F2",    "F3",
    "F4",    "F5",     "F6",        "F7",     "F8",       "F9",     "F10",  "F11",   "F12"};

std::size_t utf8_length(std::string_view s) {
  std::size_t n = 0;
  for (unsigned char c : s) {
    if ((c & 0xC0) != 0x80) ++n;
  }
  return n;
}

std::int64_t count_arg(const nlohmann::json& v, const std::string& name) {
  if (!v.is_number_integer() && !v.is_number_unsigned()) {
    fail(fmt::format("{}: expected a non-negative whole number", name));
  }
  const std::int64_t n = v.get<std::int64_t>();
  if (n < 0) fail(fmt::format("{}: expected a non-negative whole number", name));
  return n;
}

double number_arg(const nlohmann::json& v, const std::string& name) {
  if (!v.is_number()) fail(fmt::format("{}: expected a number", name));
  const double d = v.get<double>();
  if (!std::isfinite(d)) fail(fmt::format("{}: expected a finite number", name));
  return d;
}

Point point_arg(const nlohmann::json& v, const std::string& name) {
  if (!v.is_array() || v.size() != 2 || !v[0].is_number() || !v[1].is_number()) {
    fail(fmt::format("{}: expected [x, y]", name));
  }
  return {number_arg(v[0], name), number_arg(v[1], name)};
}

std::string string_arg(const nlohmann::json& v, const std::string& name) {
  if (!v.is_string() || v.get<std::string>().empty()) {
    fail(fmt::format("{}: expected a non-empty string", name));
  }
  return v.get<std::string>();
}

Modifiers modifiers_of(const nlohmann::json& command) {
  Modifiers m;
  auto flag = [&](const char* name) {
    auto it = command.find(name);
    if (it == command.end()) return false;
    if (!it->is_boolean()) fail(fmt::format("key: \"{}\" must be true or false", name));
    return it->get<bool>();
  };
  m.shift = flag("shift");
  m.ctrl = flag("ctrl");
  m.alt = flag("alt");
  m.cmd = flag("cmd");
  return m;
}

nlohmann::json access_json(const AccessNode& node) {
  nlohmann::json children = nlohmann::json::array();
  for (const AccessNode& child : node.children) children.push_back(access_json(child));
  return {{"role", node.role},   {"name", node.name}, {"description", node.description},
          {"value", node.value}, {"id", node.id},     {"states", node.states},
          {"children", children}};
}

void write_file(const std::string& command, const std::string& path, const std::string& text) {
  auto written = atomic_write(path, text);
  if (!written) fail(fmt::format("{}: {}", command, written.error()));
}

// Lines read ahead by a reader thread, so that frames keep running while the script's writer
// thinks about its next command.
class LineQueue {
 public:
  void push(std::string line) {
    {
      std::lock_guard lock(mutex_);
      lines_.push_back(std::move(line));
    }
    ready_.notify_all();
  }
  void close() {
    {
      std::lock_guard lock(mutex_);
      closed_ = true;
    }
    ready_.notify_all();
  }
  // Waits until a line is ready, the queue is closed, or `until` passes (nullopt: forever).
  // Returns true when there is a line or the queue is closed.
  bool wait(std::optional<Clock::time_point> until) {
    std::unique_lock lock(mutex_);
    auto ready = [&] { return !lines_.empty() || closed_; };
    if (!until) {
      ready_.wait(lock, ready);
      return true;
    }
    return ready_.wait_until(lock, *until, ready);
  }
  std::optional<std::string> pop() {
    std::lock_guard lock(mutex_);
    if (lines_.empty()) return std::nullopt;
    std::string line = std::move(lines_.front());
    lines_.pop_front();
    return line;
  }

 private:
  std::mutex mutex_;
  std::condition_variable ready_;
  std::deque<std::string> lines_;
  bool closed_ = false;
};

}  // namespace

HeadlessDriver::HeadlessDriver(HeadlessHost& host, HeadlessApp& app, std::ostream& out)
    : host_(host), app_(app), out_(out) {
  log_sink_ = log::add_sink([this](const log::Event& event) { echo_log(event); });
  host_.set_status_listener([this](const std::optional<std::string>& text) {
    Json line;
    line["event"] = "status";
    line["text"] = text ? Json(*text) : Json(nullptr);
    write(line);
  });
}

void HeadlessDriver::echo_log(const log::Event& event) {
  Json line;
  line["event"] = "log";
  Json fields = Json::parse(log::to_json_line(event), nullptr, false);
  if (fields.is_object()) {
    for (auto& [key, value] : fields.items()) line[key] = value;
  }
  write(line);
}

HeadlessDriver::~HeadlessDriver() {
  log::remove_sink(log_sink_);
  host_.set_status_listener(nullptr);
}

void HeadlessDriver::write(const Json& line) {
  const std::string text = line.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
  std::lock_guard lock(out_mutex_);
  out_ << text << '\n';
  out_.flush();
}

void HeadlessDriver::run(std::istream& in) {
  LineQueue queue;
  std::thread reader([&] {
    std::string line;
    while (std::getline(in, line)) queue.push(line);
    queue.close();
  });
  host_.run_frame();
  for (;;) {
    // Between commands: frames at the root's cadence until the next line is there.
    while (!queue.wait(host_.next_frame_due())) host_.run_frame();
    std::optional<std::string> line = queue.pop();
    if (!line) break;
    handle_line(*line);
  }
  reader.join();
  Json done;
  done["event"] = "done";
  write(done);
}

void HeadlessDriver::handle_line(const std::string& line) {
  if (line.find_first_not_of(" \t\r") == std::string::npos) return;
  Json answer;
  const nlohmann::json command = nlohmann::json::parse(line, nullptr, false);
  if (command.is_discarded() || !command.is_object()) {
    answer["answer"] = nullptr;
    answer["ok"] = false;
    answer["error"] = command.is_discarded() ? "malformed command: not valid JSON"
                                             : "malformed command: expected a JSON object";
    write(answer);
    return;
  }
  std::string name;
  for (const char* known : kCommands) {
    if (command.contains(known)) {
      name = known;
      break;
    }
  }
  if (name.empty()) {
    answer["answer"] = command.empty() ? "" : command.begin().key();
    answer["ok"] = false;
    answer["error"] = command.empty()
                          ? "empty command"
                          : fmt::format("unknown command \"{}\"", command.begin().key());
    write(answer);
    return;
  }
  answer["answer"] = name;
  try {
    Json extra = execute(name, command);
    answer["ok"] = true;
    for (auto& [key, value] : extra.items()) answer[key] = value;
  } catch (const CommandError& e) {
    answer["ok"] = false;
    answer["error"] = e.text;
  } catch (const std::exception& e) {
    answer["ok"] = false;
    answer["error"] = fmt::format("{}: {}", name, e.what());
  }
  write(answer);
}

Point HeadlessDriver::pointer_or(const nlohmann::json& at) {
  return at.is_null() ? pointer_ : point_arg(at, "at");
}

HeadlessDriver::Json HeadlessDriver::execute(const std::string& name,
                                             const nlohmann::json& command) {
  const nlohmann::json& arg = command.at(name);
  Json out = Json::object();

  auto pointer = [&](PointerEvent::Type type, Point p, PointerButton button) {
    pointer_ = p;
    PointerEvent e;
    e.type = type;
    e.x = p.x;
    e.y = p.y;
    e.button = button;
    return host_.deliver(e) == EventResult::Consumed;
  };

  if (name == "frames") {
    const std::int64_t n = count_arg(arg, name);
    for (std::int64_t i = 0; i < n; ++i) host_.run_frame();
    out["frames"] = n;
  } else if (name == "wait_ms") {
    const std::int64_t ms = count_arg(arg, name);
    host_.run_until(Clock::now() + std::chrono::milliseconds(ms), false);
  } else if (name == "wait_idle") {
    const std::int64_t ms = count_arg(arg, name);
    out["idle"] = host_.run_until(Clock::now() + std::chrono::milliseconds(ms), true);
  } else if (name == "key") {
    std::string key = string_arg(arg, name);
    if (key == " ") key = "Space";
    KeyEvent e;
    e.modifiers = modifiers_of(command);
    if (utf8_length(key) == 1) {
      e.key = key;
      if (e.modifiers.shift && key.size() == 1 && key[0] >= 'a' && key[0] <= 'z') {
        e.key[0] = static_cast<char>(key[0] - 'a' + 'A');
      }
      // A chord types nothing; a plain or shifted character types itself.
      if (!e.modifiers.ctrl && !e.modifiers.alt && !e.modifiers.cmd) e.text = e.key;
    } else if (kNamedKeys.contains(key)) {
      e.key = key;
      if (key == "Space" && !e.modifiers.ctrl && !e.modifiers.alt && !e.modifiers.cmd) {
        e.text = " ";
      }
    } else {
      fail(fmt::format("key: unknown key name \"{}\"", key));
    }
    e.pressed = true;
    const bool consumed = host_.deliver(e) == EventResult::Consumed;
    e.pressed = false;
    e.text.clear();
    host_.deliver(e);
    host_.run_frame();
    out["consumed"] = consumed;
  } else if (name == "text") {
    if (!arg.is_string()) fail("text: expected a string");
    out["consumed"] = host_.deliver(TextEvent{arg.get<std::string>()}) == EventResult::Consumed;
    host_.run_frame();
  } else if (name == "move") {
    out["consumed"] =
        pointer(PointerEvent::Type::Move, point_arg(arg, name), PointerButton::Primary);
    host_.run_frame();
  } else if (name == "click") {
    const Point p = point_arg(arg, name);
    PointerButton button = PointerButton::Primary;
    if (auto it = command.find("button"); it != command.end()) {
      const std::string b = it->is_string() ? it->get<std::string>() : "";
      if (b == "secondary") {
        button = PointerButton::Secondary;
      } else if (b == "middle") {
        button = PointerButton::Middle;
      } else if (b != "primary") {
        fail("click: \"button\" must be \"primary\", \"secondary\" or \"middle\"");
      }
    }
    pointer(PointerEvent::Type::Move, p, button);
    const bool pressed = pointer(PointerEvent::Type::Press, p, button);
    const bool released = pointer(PointerEvent::Type::Release, p, button);
    host_.run_frame();
    out["consumed"] = pressed || released;
  } else if (name == "drag") {
    if (!arg.is_array() || arg.size() != 2) fail("drag: expected [[x0, y0], [x1, y1]]");
    const Point from = point_arg(arg[0], name), to = point_arg(arg[1], name);
    pointer(PointerEvent::Type::Move, from, PointerButton::Primary);
    pointer(PointerEvent::Type::Press, from, PointerButton::Primary);
    // Intermediate moves, so that thresholds along the way are crossed as by a hand.
    constexpr int kSteps = 8;
    for (int i = 1; i <= kSteps; ++i) {
      const double t = static_cast<double>(i) / kSteps;
      pointer(PointerEvent::Type::Move,
              {from.x + (to.x - from.x) * t, from.y + (to.y - from.y) * t}, PointerButton::Primary);
      host_.run_frame();
    }
    out["consumed"] = pointer(PointerEvent::Type::Release, to, PointerButton::Primary);
    host_.run_frame();
  } else if (name == "scroll") {
    const Point delta = point_arg(arg, name);
    const Point at = pointer_or(command.contains("at") ? command["at"] : nlohmann::json());
    pointer_ = at;
    ScrollEvent e;
    e.dx = delta.x;
    e.dy = delta.y;
    e.x = at.x;
    e.y = at.y;
    out["consumed"] = host_.deliver(e) == EventResult::Consumed;
    host_.run_frame();
  } else if (name == "resize") {
    const Point size = point_arg(arg, name);
    if (size.x < 1 || size.y < 1 || size.x > 16384 || size.y > 16384) {
      fail("resize: width and height must be between 1 and 16384");
    }
    host_.resize({size.x, size.y});
    host_.run_frame();
  } else if (name == "text_scale") {
    const double scale = number_arg(arg, name);
    if (scale <= 0 || scale > 8) fail("text_scale: expected a scale above 0 and at most 8");
    host_.set_text_scale(static_cast<float>(scale));
    host_.run_frame();
  } else if (name == "screenshot") {
    const std::string path = string_arg(arg, name);
    auto shot = host_.screenshot(path);
    if (!shot) fail(fmt::format("screenshot: {}", shot.error()));
    out["path"] = path;
    out["width"] = host_.surface()->pixel_width();
    out["height"] = host_.surface()->pixel_height();
  } else if (name == "doc") {
    write_file(name, string_arg(arg, name), host_.document().to_json().dump(2) + "\n");
  } else if (name == "a11y") {
    const std::string path = string_arg(arg, name);
    const AccessNode tree = host_.root().accessibility();
    if (tree.role.empty() && tree.children.empty()) {
      fail("a11y: the accessibility tree is not available yet");
    }
    write_file(name, path, access_json(tree).dump(2) + "\n");
  } else if (name == "semantic") {
    if (!arg.is_object() || !arg.contains("id") || !arg["id"].is_string()) {
      fail("semantic: expected {\"id\": ..., \"action\": ...}");
    }
    const std::string action = arg.contains("action") && arg["action"].is_string()
                                   ? arg["action"].get<std::string>()
                                   : "activate";
    out["accepted"] = host_.perform_semantic_action(arg["id"].get<std::string>(), action);
    host_.run_frame();
  } else if (name == "invoke") {
    if (!arg.is_object() || !arg.contains("type") || !arg["type"].is_string()) {
      fail("invoke: expected {\"type\": ..., \"value\": ...}");
    }
    actions::EncodedAction action{arg["type"].get<std::string>(),
                                  arg.contains("value") ? arg["value"] : nlohmann::json()};
    if (!app_.registry().has_family(action.operation_type)) {
      fail(fmt::format("invoke: no action family \"{}\" is registered", action.operation_type));
    }
    auto result = app_.registry().dispatch(action, host_.document());
    // Answered means durable: whatever the action changed is on disk before the answer.
    auto saved = host_.commit();
    if (!saved) {
      // Answered as failed, so it must not land with some later commit.
      host_.document().discard_pending();
      fail(fmt::format("invoke: the document could not be saved: {}", saved.error()));
    }
    if (!result) fail(result.error());
    out["result"] = *result;
  } else if (name == "resources") {
    fail("resources: the resource tree is not available yet");
  } else if (name == "pick") {
    fail("pick: no file picker is available yet");
  }
  return out;
}

}  // namespace vexa::ui
