#pragma once
// The network backend: IMAP, SMTP and OAuth for real.
#include <expected>
#include <memory>
#include <string>

#include "engine/worker.h"

namespace mail::engine {

// The error text when its runtime cannot be built; the caller then falls back to the offline
// backend.
std::expected<std::unique_ptr<MailBackend>, std::string> make_live_backend();

}  // namespace mail::engine
