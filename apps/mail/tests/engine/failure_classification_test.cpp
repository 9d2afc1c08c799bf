#include "engine/failure_classification.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace mail::engine {
namespace {

const std::string kAuth = "authentication failed — check the username and password";
const std::string kTls = "TLS/certificate error — the server's certificate wasn't trusted";
const std::string kRefused = "connection refused — check the host and port";
const std::string kTimedOut = "connection timed out — the server didn't respond";
const std::string kHost = "host not found — check the server address";
const std::string kUnreachable = "network unreachable — check your connection";

struct Case {
  std::string error;
  std::string expected;
};

TEST(ClassifyConnectionFailure, MapsErrorTextsInRuleOrder) {
  const std::vector<Case> cases = {
      // One per group, in the shapes the stacks produce.
      {"535 5.7.8 Authentication credentials invalid", kAuth},
      {"AUTHENTICATE failed.", kAuth},
      {"NO [AUTHENTICATIONFAILED] Authentication failed.", kAuth},
      {"Invalid credentials (Failure)", kAuth},
      {"AUTH command rejected", kAuth},
      {"Auth denied", kAuth},
      {"LOGIN failed", kAuth},
      {"invalid peer certificate: UnknownIssuer", kTls},
      {"OpenSSL SSL_connect: SSL_ERROR_SYSCALL", kTls},
      {"STARTTLS not supported.", kTls},
      {"self-signed chain", kTls},
      {"Connection refused (os error 111)", kRefused},
      {"Connection timed out", kTimedOut},
      {"Timeout was reached", kTimedOut},
      {"failed to lookup address information: Name or service not known", kHost},
      {"Could not resolve host: mail.example", kHost},
      {"DNS error", kHost},
      {"no such host", kHost},
      {"Network is unreachable (os error 101)", kUnreachable},
      {"host unreachable", kUnreachable},

      // The order decides: authentication beats TLS, TLS beats everything after it.
      {"Login denied (535 5.7.8 Error: authentication failed over TLS)", kAuth},
      {"tls handshake eof", kTls},
      {"TLS handshake timed out", kTls},
      {"certificate lookup refused", kTls},
      {"refused: request timed out", kRefused},
      {"timed out resolving the name", kTimedOut},
      {"could not resolve: network unreachable", kHost},

      // "auth" alone is not enough, and neither is a failure word without it.
      {"author unknown", "connection failed: author unknown"},
      {"Broken pipe", "connection failed: Broken pipe"},
      {"", "connection failed: "},

      // Only ASCII letters fold; everything else passes through byte for byte.
      {"ÄUTH FAILED", "connection failed: ÄUTH FAILED"},
      {"Verbindung abgelehnt — ÄÖÜ", "connection failed: Verbindung abgelehnt — ÄÖÜ"},
      {"\xC3\x9F\xFF", "connection failed: \xC3\x9F\xFF"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(classify_connection_failure(c.error), c.expected) << "error: " << c.error;
  }
}

TEST(ClassifyConnectionFailure, TheServerNameDoesNotDecide) {
  struct Case {
    std::string error, host, expected;
  };
  const std::vector<Case> cases = {
      {"connect to imap.authority.example:993 failed: Connection refused", "imap.authority.example",
       kRefused},
      {"failed to resolve tls.example.com: Host not found", "tls.example.com", kHost},
      {"UID FETCH: the server closed the connection", "ssl0.example.net",
       "connection failed: UID FETCH: the server closed the connection"},
      {"connect to e:1 failed: Broken pipe", "e",
       "connection failed: connect to e:1 failed: Broken pipe"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(classify_connection_failure(c.error, c.host), c.expected) << c.error;
  }
}

}  // namespace
}  // namespace mail::engine
