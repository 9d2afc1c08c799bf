#pragma once
// The mail worker: one thread, "mail-engine", that takes commands one at a time in arrival
// order and answers each with its events and then exactly one Finished.
#include <vexa/channel.h>

#include <chrono>
#include <cstdint>
#include <expected>
#include <functional>
#include <future>
#include <memory>
#include <string_view>
#include <thread>

#include "engine/worker_protocol.h"

namespace mail::engine {

class MailBackend {
 public:
  virtual ~MailBackend() = default;
  // Runs one command to completion on the worker thread. Failures are reported as Failed
  // events; the worker itself sends Finished afterwards.
  virtual void handle(WorkerCommand command, const vexa::Sender<WorkerEvent>& events) = 0;
  // The Failed label used when handle escapes with an exception.
  virtual std::string_view failure_label(std::uint8_t command_kind) const;
};

// The window side's ends of the two channels, and the thread behind them. Dropping the handle
// (or resetting `commands`) ends the worker once the command in hand is done. The destructor
// waits for that up to a short grace period and then lets the thread finish on its own, so a
// command that waits on the outside world (a browser sign-in) cannot keep the window from
// closing.
class WorkerHandle {
 public:
  static constexpr std::chrono::milliseconds kShutdownGrace{3000};

  WorkerHandle() = default;
  WorkerHandle(vexa::Sender<WorkerCommand> commands, vexa::Receiver<WorkerEvent> events,
               std::thread thread, std::shared_future<void> done);
  WorkerHandle(WorkerHandle&&) noexcept = default;
  WorkerHandle& operator=(WorkerHandle&& other) noexcept;
  ~WorkerHandle();

  // Closes the command channel and waits up to `grace` for the worker to end. True when the
  // thread has ended and was joined.
  bool shutdown(std::chrono::milliseconds grace = kShutdownGrace);

  vexa::Sender<WorkerCommand> commands;
  vexa::Receiver<WorkerEvent> events;

 private:
  std::thread thread_;
  std::shared_future<void> done_;
};

// Creates the command channel, then the event channel, and starts "mail-engine" running the
// backend. Aborts with "spawn mail engine worker" when the thread cannot be started.
WorkerHandle start_worker(std::unique_ptr<MailBackend> backend);

using BackendFactory = std::function<std::expected<std::unique_ptr<MailBackend>, std::string>()>;

// The live backend when it can be built; otherwise the offline backend, after the warning
// "mail: live engine unavailable, using offline backend" on target "mail::engine". The factory
// defaults to the live backend's.
WorkerHandle start_default_worker(const BackendFactory& live = {});

}  // namespace mail::engine
