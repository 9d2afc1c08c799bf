#pragma once
// Submission of one assembled message over SMTP on libcurl: implicit TLS on 465 (and for port
// 0), a STARTTLS upgrade that must succeed on any other port, exactly one SASL mechanism.
#include <vexa/net/net.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <expected>
#include <string>
#include <string_view>

#include "compose/draft.h"
#include "engine/credentials.h"
#include "store/stored_config.h"

namespace mail::engine {

struct SmtpOptions {
  vexa::net::ClientConfig tls;                                       // trusted roots
  std::chrono::milliseconds step_timeout{std::chrono::seconds(30)};  // connect, each reply, stalls
};

// How a probe of the servers (account verification) is stopped from outside, and the texts it
// then ends with.
inline constexpr std::string_view kProbeCancelled = "Account verification cancelled";
inline constexpr std::string_view kProbeTimedOut = "Account verification timed out";
struct ProbeControl {
  const std::atomic<bool>* cancel = nullptr;
  std::chrono::steady_clock::time_point deadline = std::chrono::steady_clock::time_point::max();
};

// Sends `message` unchanged to the envelope built from the account and the draft. Returns the
// number of bytes submitted, or the user text: "no SMTP host", "invalid From address: {}",
// "no valid recipients" (all before any connection), or the classified connection failure.
std::expected<std::uint64_t, std::string> submit_message(const StoredConfig& account,
                                                         const Credential& credential,
                                                         const DraftData& draft,
                                                         std::string_view message,
                                                         const SmtpOptions& options);

// Connects and logs in exactly as sending does, and sends nothing: the account check. Within
// about 50 ms of a raised cancel flag or the deadline it ends with kProbeCancelled or
// kProbeTimedOut.
std::expected<void, std::string> verify_smtp_login(const StoredConfig& account,
                                                   const Credential& credential,
                                                   const SmtpOptions& options,
                                                   const ProbeControl& control);

}  // namespace mail::engine
