#pragma once
// The driver of the headless host: reads a script of JSON commands, one per line, runs them in
// order against the host and writes JSON lines: one answer per command, status events when the
// painted toast text changes, every log event, and "done" at the end. Between commands it keeps
// running frames at the root's cadence, as a window would.
#include <istream>
#include <mutex>
#include <nlohmann/json.hpp>
#include <optional>
#include <ostream>
#include <string>

#include "headless_app.h"
#include "headless_host.h"
#include "vexa/log.h"

namespace vexa::ui {

class HeadlessDriver {
 public:
  // Writes one log event as an output line (also used for events logged before the driver).
  void echo_log(const vexa::log::Event& event);
  // Echoes log events and status changes to `out` for as long as it lives.
  HeadlessDriver(HeadlessHost& host, HeadlessApp& app, std::ostream& out);
  ~HeadlessDriver();
  HeadlessDriver(const HeadlessDriver&) = delete;
  HeadlessDriver& operator=(const HeadlessDriver&) = delete;

  // Runs every line of `in`, then writes {"event":"done"}.
  void run(std::istream& in);
  // Runs one command line and writes its answer.
  void handle_line(const std::string& line);

 private:
  using Json = nlohmann::ordered_json;

  Json execute(const std::string& name, const nlohmann::json& command);
  void write(const Json& line);
  Point pointer_or(const nlohmann::json& at);

  HeadlessHost& host_;
  HeadlessApp& app_;
  std::ostream& out_;
  std::mutex out_mutex_;
  int log_sink_ = 0;
  Point pointer_{};
};

}  // namespace vexa::ui
