#include "engine/live_backend.h"

namespace mail::engine {

std::expected<std::unique_ptr<MailBackend>, std::string> make_live_backend() {
  return std::unexpected(std::string("live backend not built yet"));
}

}  // namespace mail::engine
