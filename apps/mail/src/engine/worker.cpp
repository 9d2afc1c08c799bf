#include "engine/worker.h"

#include <pthread.h>
#include <vexa/log.h>

#include <cstdio>
#include <cstdlib>
#include <exception>
#include <string>
#include <system_error>
#include <utility>

#include "engine/live_backend.h"
#include "engine/offline_backend.h"

namespace mail::engine {

namespace {

void run_worker(std::unique_ptr<MailBackend> backend, vexa::Receiver<WorkerCommand> commands,
                vexa::Sender<WorkerEvent> events) {
  pthread_setname_np(pthread_self(), "mail-engine");
  while (std::optional<WorkerCommand> command = commands.recv()) {
    const std::uint8_t command_kind = kind(*command);
    const RequestId id = request_id(*command);
    try {
      backend->handle(std::move(*command), events);
    } catch (const std::exception& e) {
      events.send(
          Failed{command_kind, id, std::string(backend->failure_label(command_kind)), e.what()});
    } catch (...) {
      events.send(Failed{command_kind, id, std::string(backend->failure_label(command_kind)),
                         "unexpected engine failure"});
    }
    // Send failures mean the window side is gone; the loop ends at the next receive anyway.
    events.send(Finished{command_kind, id});
  }
}

}  // namespace

std::string_view MailBackend::failure_label(std::uint8_t command_kind) const {
  static constexpr std::string_view kLabels[] = {"connect", "fetch", "flag", "move",
                                                 "purge",   "smtp",  "oauth"};
  return command_kind < std::size(kLabels) ? kLabels[command_kind] : "engine";
}

WorkerHandle::WorkerHandle(vexa::Sender<WorkerCommand> commands_in,
                           vexa::Receiver<WorkerEvent> events_in, std::thread thread,
                           std::shared_future<void> done)
    : commands(std::move(commands_in)),
      events(std::move(events_in)),
      thread_(std::move(thread)),
      done_(std::move(done)) {}

WorkerHandle& WorkerHandle::operator=(WorkerHandle&& other) noexcept {
  if (this != &other) {
    shutdown();
    commands = std::move(other.commands);
    events = std::move(other.events);
    thread_ = std::move(other.thread_);
    done_ = std::move(other.done_);
  }
  return *this;
}

WorkerHandle::~WorkerHandle() { shutdown(); }

bool WorkerHandle::shutdown(std::chrono::milliseconds grace) {
  commands.reset();
  if (!thread_.joinable()) return true;
  if (done_.valid() && done_.wait_for(grace) != std::future_status::ready) {
    // The command in hand is still waiting on the outside world; it owns everything it uses,
    // so it may finish after the window side is gone.
    thread_.detach();
    return false;
  }
  thread_.join();
  return true;
}

WorkerHandle start_worker(std::unique_ptr<MailBackend> backend) {
  auto [command_tx, command_rx] = vexa::make_channel<WorkerCommand>();
  auto [event_tx, event_rx] = vexa::make_channel<WorkerEvent>();
  std::promise<void> finished;
  std::shared_future<void> done = finished.get_future().share();
  std::thread thread;
  try {
    thread = std::thread([backend = std::move(backend), commands = std::move(command_rx),
                          events = std::move(event_tx), finished = std::move(finished)]() mutable {
      run_worker(std::move(backend), std::move(commands), std::move(events));
      finished.set_value();
    });
  } catch (const std::system_error&) {
    std::fputs("spawn mail engine worker\n", stderr);
    std::abort();
  }
  return WorkerHandle(std::move(command_tx), std::move(event_rx), std::move(thread),
                      std::move(done));
}

WorkerHandle start_default_worker(const BackendFactory& factory) {
  std::expected<std::unique_ptr<MailBackend>, std::string> live =
      factory ? factory() : make_live_backend();
  if (live) return start_worker(std::move(*live));
  vexa::log::warn("mail::engine", "mail: live engine unavailable, using offline backend",
                  {{"error", live.error()}});
  return start_worker(std::make_unique<OfflineBackend>());
}

}  // namespace mail::engine
