#include "vexa/background_task.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

namespace {

using namespace std::chrono_literals;
using Task = vexa::BackgroundTask<int>;

// Polls like the UI thread does, once per frame, until the task answers.
vexa::TryRecv wait_for(Task& task, std::optional<int>& out) {
  for (int i = 0; i < 500; ++i) {
    const vexa::TryRecv r = task.poll(out);
    if (r != vexa::TryRecv::Empty) return r;
    std::this_thread::sleep_for(10ms);
  }
  return vexa::TryRecv::Empty;
}

TEST(BackgroundTask, DeliversOneResultOrEndsClosedWithoutOne) {
  auto task = Task::spawn("test-task", [](const std::atomic<bool>&) { return 42; });
  ASSERT_TRUE(task.has_value());
  std::optional<int> out;
  EXPECT_EQ(wait_for(*task, out), vexa::TryRecv::Value);
  EXPECT_EQ(out, 42);

  auto empty = Task::spawn(
      "test-task", [](const std::atomic<bool>&) -> std::optional<int> { return std::nullopt; });
  ASSERT_TRUE(empty.has_value());
  out.reset();
  EXPECT_EQ(wait_for(*empty, out), vexa::TryRecv::Closed);
}

TEST(BackgroundTask, DroppingRaisesTheFlagAndTheLateResultGoesNowhere) {
  auto seen = std::make_shared<std::atomic<bool>>(false);
  {
    auto task = Task::spawn("test-task", [seen](const std::atomic<bool>& cancel) {
      while (!cancel.load()) std::this_thread::sleep_for(1ms);
      seen->store(true);
      return 7;  // sent to a receiver that no longer exists
    });
    ASSERT_TRUE(task.has_value());
  }
  for (int i = 0; i < 500 && !seen->load(); ++i) std::this_thread::sleep_for(2ms);
  EXPECT_TRUE(seen->load());

  // Replacing a task drops the old one the same way.
  auto flag = std::make_shared<std::atomic<bool>>(false);
  auto first = Task::spawn("test-task", [flag](const std::atomic<bool>& cancel) {
    while (!cancel.load()) std::this_thread::sleep_for(1ms);
    flag->store(true);
    return 1;
  });
  ASSERT_TRUE(first.has_value());
  *first = *Task::spawn("test-task", [](const std::atomic<bool>&) { return 2; });
  for (int i = 0; i < 500 && !flag->load(); ++i) std::this_thread::sleep_for(2ms);
  EXPECT_TRUE(flag->load());
  std::optional<int> out;
  EXPECT_EQ(wait_for(*first, out), vexa::TryRecv::Value);
  EXPECT_EQ(out, 2);
}

}  // namespace
