#include "engine/failure_classification.h"

#include <algorithm>
#include <array>
#include <initializer_list>

#include "mailbox/ascii_text.h"

namespace mail::engine {
namespace {

constexpr std::string_view kAuthFailed = "authentication failed — check the username and password";
constexpr std::string_view kTlsFailed =
    "TLS/certificate error — the server's certificate wasn't trusted";
constexpr std::string_view kRefused = "connection refused — check the host and port";
constexpr std::string_view kTimedOut = "connection timed out — the server didn't respond";
constexpr std::string_view kHostNotFound = "host not found — check the server address";
constexpr std::string_view kUnreachable = "network unreachable — check your connection";

struct Rule {
  std::string_view needle;
  std::string_view result;
};

// Tried in this order: authentication beats TLS (a 535 reply may mention TLS), and TLS beats the
// transport texts (a handshake that timed out is a TLS problem).
constexpr std::array kRulesBeforeAuthWords = {
    Rule{"535", kAuthFailed},
    Rule{"authenticationfailed", kAuthFailed},
    Rule{"authentication failed", kAuthFailed},
    Rule{"invalid credentials", kAuthFailed},
};

constexpr std::array kRulesAfterAuthWords = {
    Rule{"login failed", kAuthFailed}, Rule{"[authenticationfailed]", kAuthFailed},
    Rule{"certificate", kTlsFailed},   Rule{"tls", kTlsFailed},
    Rule{"handshake", kTlsFailed},     Rule{"self-signed", kTlsFailed},
    Rule{"ssl", kTlsFailed},           Rule{"refused", kRefused},
    Rule{"timed out", kTimedOut},      Rule{"timeout", kTimedOut},
    Rule{"dns", kHostNotFound},        Rule{"lookup", kHostNotFound},
    Rule{"resolve", kHostNotFound},    Rule{"name or service not known", kHostNotFound},
    Rule{"not known", kHostNotFound},  Rule{"no such host", kHostNotFound},
    Rule{"unreachable", kUnreachable}, Rule{"network is unreachable", kUnreachable},
};

bool contains(std::string_view text, std::string_view needle) {
  return text.find(needle) != std::string_view::npos;
}

std::string_view first_match(const auto& rules, std::string_view lower) {
  for (const Rule& rule : rules) {
    if (contains(lower, rule.needle)) return rule.result;
  }
  return {};
}

}  // namespace

std::string classify_connection_failure(std::string_view error) {
  const std::string lower = ascii_lower(error);
  if (auto result = first_match(kRulesBeforeAuthWords, lower); !result.empty()) {
    return std::string(result);
  }
  if (contains(lower, "auth")) {
    for (std::string_view word : {"fail", "reject", "denied", "invalid"}) {
      if (contains(lower, word)) return std::string(kAuthFailed);
    }
  }
  if (auto result = first_match(kRulesAfterAuthWords, lower); !result.empty()) {
    return std::string(result);
  }
  return "connection failed: " + std::string(error);
}

std::string classify_connection_failure(std::string_view error, std::string_view host) {
  if (host.empty()) return classify_connection_failure(error);
  constexpr std::string_view kNeutral = "server";
  std::string masked(error);
  for (std::size_t at = masked.find(host); at != std::string::npos;
       at = masked.find(host, at + kNeutral.size())) {
    masked.replace(at, host.size(), kNeutral);
  }
  std::string result = classify_connection_failure(masked);
  if (result.starts_with("connection failed: ")) return "connection failed: " + std::string(error);
  return result;
}

}  // namespace mail::engine
