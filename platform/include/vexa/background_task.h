#pragma once
// One piece of work on a thread of its own that delivers at most one result, with a cancel flag
// both sides share. The UI thread polls without blocking; dropping the task raises the flag and
// lets the thread go, and its late result then goes nowhere because nobody receives it.
#include <atomic>
#include <expected>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "vexa/channel.h"

namespace vexa {

namespace detail {
// Starts `body` on a detached thread named `name` (the system keeps the first 15 bytes); the
// error is the system's text when no thread could be made.
std::expected<void, std::string> spawn_detached(std::string_view name, std::function<void()> body);
}  // namespace detail

template <typename T>
class BackgroundTask {
 public:
  // The work reads the flag to give up early; returning nullopt ends without a result, which the
  // poller sees as a closed channel.
  using Work = std::function<std::optional<T>(const std::atomic<bool>& cancel)>;

  static std::expected<BackgroundTask, std::string> spawn(std::string_view name, Work work) {
    auto [sender, receiver] = make_channel<T>();
    auto cancel = std::make_shared<std::atomic<bool>>(false);
    auto started = detail::spawn_detached(
        name, [work = std::move(work), sender = std::move(sender), cancel]() mutable {
          if (std::optional<T> result = work(*cancel)) sender.send(std::move(*result));
        });
    if (!started) return std::unexpected(started.error());
    return BackgroundTask(std::move(receiver), std::move(cancel));
  }

  BackgroundTask(BackgroundTask&& other) noexcept = default;
  BackgroundTask& operator=(BackgroundTask&& other) noexcept {
    if (this != &other) {
      cancel();
      receiver_ = std::move(other.receiver_);
      cancel_ = std::move(other.cancel_);
    }
    return *this;
  }
  BackgroundTask(const BackgroundTask&) = delete;
  BackgroundTask& operator=(const BackgroundTask&) = delete;
  ~BackgroundTask() { cancel(); }

  void cancel() {
    if (cancel_) cancel_->store(true);
  }
  // Value once; Empty while the work runs; Closed when it ended without sending.
  TryRecv poll(std::optional<T>& out) { return receiver_.try_recv(out); }

 private:
  BackgroundTask(Receiver<T> receiver, std::shared_ptr<std::atomic<bool>> cancel)
      : receiver_(std::move(receiver)), cancel_(std::move(cancel)) {}

  Receiver<T> receiver_;
  std::shared_ptr<std::atomic<bool>> cancel_;
};

}  // namespace vexa
