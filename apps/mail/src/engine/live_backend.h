#pragma once
// The network backend: IMAP and SMTP for real, on one asio runtime with two threads.
#include <chrono>
#include <expected>
#include <memory>
#include <string>

#include "engine/worker.h"

namespace mail::engine {

struct LiveOptions {
  // Every single network wait (connect, TLS handshake, each IMAP response, each SMTP reply) is
  // bounded by this; a server that stops answering turns into a Failed event, not a stuck worker.
  std::chrono::milliseconds timeout{std::chrono::seconds(30)};
};

// The error text when its runtime cannot be built; the caller then falls back to the offline
// backend.
std::expected<std::unique_ptr<MailBackend>, std::string> make_live_backend(
    LiveOptions options = {});

}  // namespace mail::engine
