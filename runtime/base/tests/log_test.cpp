#include "vexa/log.h"

#include <gtest/gtest.h>

#include <atomic>
#include <nlohmann/json.hpp>
#include <thread>

namespace {

TEST(Log, JsonLineHasTargetLevelMessageThenFields) {
  const vexa::log::Event event{
      "mail::engine",
      vexa::log::Level::Warn,
      "fetch failed",
      {{"message", "fetch failed"}, {"error", "bad \"reply\"\n"}, {"count", "3"}}};
  EXPECT_EQ(vexa::log::to_json_line(event),
            R"({"target":"mail::engine","level":"warn","message":"fetch failed",)"
            R"("error":"bad \"reply\"\n","count":"3"})");

  // Invalid UTF-8 from a server must not lose the event.
  const vexa::log::Event bad{"t", vexa::log::Level::Info, "x\xFFy", {}};
  EXPECT_TRUE(nlohmann::json::accept(vexa::log::to_json_line(bad)));
}

TEST(Log, ParseLevel) {
  EXPECT_EQ(vexa::log::parse_level("debug"), vexa::log::Level::Debug);
  EXPECT_EQ(vexa::log::parse_level("info"), vexa::log::Level::Info);
  EXPECT_EQ(vexa::log::parse_level("warn"), vexa::log::Level::Warn);
  EXPECT_EQ(vexa::log::parse_level("error"), vexa::log::Level::Error);
  EXPECT_EQ(vexa::log::parse_level("WARN"), std::nullopt);
  EXPECT_EQ(vexa::log::parse_level(""), std::nullopt);
}

TEST(Log, ThresholdFiltersStderrButSinksSeeEverything) {
  const auto saved = vexa::log::threshold();
  vexa::log::set_threshold(vexa::log::Level::Warn);
  std::vector<vexa::log::Event> seen;
  const int token = vexa::log::add_sink([&](const vexa::log::Event& e) { seen.push_back(e); });

  testing::internal::CaptureStderr();
  vexa::log::info("mail::app", "quiet", {{"account", "a@example.com"}});
  vexa::log::error("mail::app", "loud");
  const std::string err = testing::internal::GetCapturedStderr();
  vexa::log::remove_sink(token);
  vexa::log::info("mail::app", "after removal");
  vexa::log::set_threshold(saved);

  EXPECT_EQ(err, "{\"target\":\"mail::app\",\"level\":\"error\",\"message\":\"loud\"}\n");
  ASSERT_EQ(seen.size(), 2u);
  EXPECT_EQ(seen[0].message, "quiet");
  const vexa::log::Fields expected = {{"message", "quiet"}, {"account", "a@example.com"}};
  EXPECT_EQ(seen[0].fields, expected);
}

TEST(Log, SinkMayLogAndRemoveItself) {
  const auto saved = vexa::log::threshold();
  vexa::log::set_threshold(vexa::log::Level::Error);
  int calls = 0;
  int token = 0;
  token = vexa::log::add_sink([&](const vexa::log::Event&) {
    ++calls;
    vexa::log::debug("sink", "nested");
    vexa::log::remove_sink(token);
  });
  vexa::log::info("t", "one");
  vexa::log::info("t", "two");
  vexa::log::set_threshold(saved);
  EXPECT_EQ(calls, 1);
}

TEST(Log, ConcurrentEmittersAreAllDelivered) {
  const auto saved = vexa::log::threshold();
  vexa::log::set_threshold(vexa::log::Level::Error);
  std::atomic<int> count{0};
  const int token = vexa::log::add_sink([&](const vexa::log::Event& e) {
    if (e.target == "concurrency") ++count;
  });
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([] {
      for (int i = 0; i < 250; ++i) vexa::log::info("concurrency", "tick");
    });
  }
  for (auto& th : threads) th.join();
  vexa::log::remove_sink(token);
  vexa::log::set_threshold(saved);
  EXPECT_EQ(count.load(), 1000);
}

}  // namespace
