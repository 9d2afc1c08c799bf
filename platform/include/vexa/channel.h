#pragma once
// Unbounded FIFO channels between threads. Values are moved, never shared. The receiver sees
// "closed" once every sender is gone and the queue is drained; a sender's send fails once the
// receiver is gone.
#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <utility>

namespace vexa {

namespace detail {
template <typename T>
struct ChannelCore {
  std::mutex mutex;
  std::condition_variable ready;
  std::deque<T> queue;
  int senders = 0;
  bool receiver_alive = true;
};
}  // namespace detail

template <typename T>
class Sender {
 public:
  Sender() = default;
  explicit Sender(std::shared_ptr<detail::ChannelCore<T>> core) : core_(std::move(core)) {
    if (core_) {
      std::lock_guard lock(core_->mutex);
      ++core_->senders;
    }
  }
  Sender(const Sender& other) : Sender(other.core_) {}
  Sender(Sender&& other) noexcept : core_(std::move(other.core_)) {}
  Sender& operator=(Sender other) noexcept {
    std::swap(core_, other.core_);
    return *this;
  }
  ~Sender() { reset(); }

  // False when the receiver is gone; the value is then dropped.
  bool send(T value) const {
    if (!core_) return false;
    {
      std::lock_guard lock(core_->mutex);
      if (!core_->receiver_alive) return false;
      core_->queue.push_back(std::move(value));
    }
    core_->ready.notify_one();
    return true;
  }
  bool valid() const { return core_ != nullptr; }
  void reset() {
    if (!core_) return;
    {
      std::lock_guard lock(core_->mutex);
      --core_->senders;
    }
    core_->ready.notify_all();
    core_.reset();
  }

 private:
  std::shared_ptr<detail::ChannelCore<T>> core_;
};

enum class TryRecv { Value, Empty, Closed };

template <typename T>
class Receiver {
 public:
  Receiver() = default;
  explicit Receiver(std::shared_ptr<detail::ChannelCore<T>> core) : core_(std::move(core)) {}
  Receiver(Receiver&&) noexcept = default;
  Receiver& operator=(Receiver&& other) noexcept {
    reset();
    core_ = std::move(other.core_);
    return *this;
  }
  Receiver(const Receiver&) = delete;
  Receiver& operator=(const Receiver&) = delete;
  ~Receiver() { reset(); }

  // Blocks until a value arrives; nullopt once every sender is gone and nothing is queued.
  std::optional<T> recv() {
    if (!core_) return std::nullopt;
    std::unique_lock lock(core_->mutex);
    core_->ready.wait(lock, [&] { return !core_->queue.empty() || core_->senders == 0; });
    if (core_->queue.empty()) return std::nullopt;
    T value = std::move(core_->queue.front());
    core_->queue.pop_front();
    return value;
  }

  // Never blocks.
  TryRecv try_recv(std::optional<T>& out) {
    if (!core_) return TryRecv::Closed;
    std::lock_guard lock(core_->mutex);
    if (!core_->queue.empty()) {
      out.emplace(std::move(core_->queue.front()));
      core_->queue.pop_front();
      return TryRecv::Value;
    }
    return core_->senders == 0 ? TryRecv::Closed : TryRecv::Empty;
  }

  bool valid() const { return core_ != nullptr; }
  void reset() {
    if (!core_) return;
    {
      std::lock_guard lock(core_->mutex);
      core_->receiver_alive = false;
      core_->queue.clear();
    }
    core_.reset();
  }

 private:
  std::shared_ptr<detail::ChannelCore<T>> core_;
};

template <typename T>
std::pair<Sender<T>, Receiver<T>> make_channel() {
  auto core = std::make_shared<detail::ChannelCore<T>>();
  return {Sender<T>(core), Receiver<T>(core)};
}

}  // namespace vexa
