#pragma once
// The backend used when the network runtime cannot be built: it touches no network and answers
// every command with a Failed event explaining why, so local changes stay and the user knows.
#include <string_view>

#include "engine/worker.h"

namespace mail::engine {

class OfflineBackend final : public MailBackend {
 public:
  void handle(WorkerCommand command, const vexa::Sender<WorkerEvent>& events) override;
  std::string_view failure_label(std::uint8_t command_kind) const override;
};

}  // namespace mail::engine
