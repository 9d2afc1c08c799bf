#include <chrono>

#include "state/mail_state.h"

namespace mail::core {

std::int64_t now_minutes() {
  auto secs = std::chrono::duration_cast<std::chrono::seconds>(
                  std::chrono::system_clock::now().time_since_epoch())
                  .count();
  return secs < 0 ? 0 : secs / 60;
}

std::uint64_t now_seconds() {
  auto secs = std::chrono::duration_cast<std::chrono::seconds>(
                  std::chrono::system_clock::now().time_since_epoch())
                  .count();
  return secs < 0 ? 0 : static_cast<std::uint64_t>(secs);
}

}  // namespace mail::core
