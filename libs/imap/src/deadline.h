#pragma once
// A timer that runs an action (cancel or close a stream) if an operation outlives it. Lives on the
// connection's strand, so the action never races the operation it interrupts.
#include <asio/any_io_executor.hpp>
#include <asio/steady_timer.hpp>
#include <chrono>
#include <memory>
#include <system_error>
#include <utility>

namespace imap::detail {

class Deadline {
 public:
  template <typename F>
  Deadline(const asio::any_io_executor& executor, std::chrono::milliseconds after, F on_expiry)
      : timer_(executor), state_(std::make_shared<State>()) {
    timer_.expires_after(after);
    // The handler may still be queued after this object is gone: it checks `armed` so it never
    // touches a stream that the owner has already destroyed.
    timer_.async_wait([state = state_, f = std::move(on_expiry)](std::error_code ec) mutable {
      if (ec || !state->armed) return;
      state->fired = true;
      f();
    });
  }
  ~Deadline() {
    state_->armed = false;
    timer_.cancel();
  }
  Deadline(const Deadline&) = delete;
  Deadline& operator=(const Deadline&) = delete;

  bool expired() const { return state_->fired; }

 private:
  struct State {
    bool armed = true;
    bool fired = false;
  };
  asio::steady_timer timer_;
  std::shared_ptr<State> state_;
};

}  // namespace imap::detail
