#pragma once
// Submission of one assembled message over SMTP on libcurl: implicit TLS on 465 (and for port
// 0), a STARTTLS upgrade that must succeed on any other port, exactly one SASL mechanism.
#include <vexa/net/net.h>

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
  vexa::net::ClientConfig tls;                                  // trusted roots
  std::chrono::milliseconds step_timeout{std::chrono::seconds(30)};  // connect, each reply, stalls
};

// Sends `message` unchanged to the envelope built from the account and the draft. Returns the
// number of bytes submitted, or the user text: "no SMTP host", "invalid From address: {}",
// "no valid recipients" (all before any connection), or the classified connection failure.
std::expected<std::uint64_t, std::string> submit_message(const StoredConfig& account,
                                                         const Credential& credential,
                                                         const DraftData& draft,
                                                         std::string_view message,
                                                         const SmtpOptions& options);

}  // namespace mail::engine
