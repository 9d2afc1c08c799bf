// Submission against a scripted SMTP peer on loopback that records every line the client sends.
// The peer can upgrade with STARTTLS for real, with a throw-away certificate that only the
// options' CA file vouches for, so the whole transcript behind required TLS is visible.
#include "engine/smtp_submission.h"

#include <gtest/gtest.h>
#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/ssl.h>
#include <openssl/x509v3.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "loopback_listener.h"
#include "test_certificate.h"

namespace mail::engine {
namespace {

using namespace std::chrono_literals;

const std::string kAuth = "authentication failed — check the username and password";
const std::string kTls = "TLS/certificate error — the server's certificate wasn't trusted";
const std::string kTimedOut = "connection timed out — the server didn't respond";

using vexa::testing::TestCertificate;

const TestCertificate& certificate() {
  static const TestCertificate instance;
  return instance;
}

// Garbled: plain text answers the client's first TLS record. Injected: plain text rides right
// behind the 220, where a man in the middle would put a forged reply.
enum class StartTls { NotOffered, Garbled, Injected, Works };

struct PeerScript {
  bool greet = true;
  StartTls starttls = StartTls::Works;
  std::string auth_reply = "235 2.7.0 Authentication successful";
  std::string rcpt_reply = "250 2.1.5 Ok";
};

// One connection, served on its own thread. Every command line (and AUTH continuation) is
// recorded; DATA content is recorded separately, with the dot-stuffing undone.
class ScriptedPeer {
 public:
  explicit ScriptedPeer(PeerScript script) : script_(std::move(script)) {
    std::signal(SIGPIPE, SIG_IGN);
    const auto listener = vexa::testing::listen_loopback(4);
    listener_ = listener.fd;
    port_ = listener.port;
    thread_ = std::thread([this] { serve(); });
  }
  ~ScriptedPeer() {
    finish();
    ::close(listener_);
  }
  std::uint16_t port() const { return port_; }
  // Waits for the session to end; the results are complete afterwards.
  void finish() {
    if (thread_.joinable()) thread_.join();
  }
  const std::vector<std::string>& lines() {
    finish();
    return lines_;
  }
  const std::string& data() {
    finish();
    return data_;
  }

 private:
  bool read_line(std::string& line) {
    for (;;) {
      if (const auto end = buffer_.find("\r\n"); end != std::string::npos) {
        line = buffer_.substr(0, end);
        buffer_.erase(0, end + 2);
        return true;
      }
      char chunk[4096];
      const int n = ssl_ != nullptr ? SSL_read(ssl_, chunk, sizeof chunk)
                                    : static_cast<int>(::read(fd_, chunk, sizeof chunk));
      if (n <= 0) return false;
      buffer_.append(chunk, static_cast<std::size_t>(n));
    }
  }
  void reply(std::string_view text) {
    const std::string out = std::string(text) + "\r\n";
    if (ssl_ != nullptr) {
      SSL_write(ssl_, out.data(), static_cast<int>(out.size()));
    } else {
      (void)::send(fd_, out.data(), out.size(), MSG_NOSIGNAL);
    }
  }
  bool read_command(std::string& line) {
    if (!read_line(line)) return false;
    lines_.push_back(line);
    return true;
  }

  void serve() {
    pollfd p{listener_, POLLIN, 0};
    if (::poll(&p, 1, 5000) <= 0) return;
    fd_ = ::accept(listener_, nullptr, nullptr);
    if (fd_ < 0) return;
    timeval tv{5, 0};
    ::setsockopt(fd_, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
    if (script_.greet) {
      reply("220 peer.test ESMTP");
      converse();
    } else {
      char ignored[256];
      while (::read(fd_, ignored, sizeof ignored) > 0) {
      }
    }
    if (ssl_ != nullptr) {
      SSL_free(ssl_);
      SSL_CTX_free(ctx_);
    }
    ::close(fd_);
    ERR_clear_error();
  }

  // Every mechanism is offered, so the client's choice is its own.
  void converse() {
    std::string line;
    while (read_command(line)) {
      if (line.starts_with("EHLO")) {
        reply("250-peer.test");
        if (ssl_ == nullptr && script_.starttls != StartTls::NotOffered) reply("250-STARTTLS");
        reply("250 AUTH PLAIN LOGIN CRAM-MD5 XOAUTH2 OAUTHBEARER");
      } else if (line == "STARTTLS" && script_.starttls != StartTls::NotOffered) {
        if (script_.starttls == StartTls::Injected) {
          reply("220 2.0.0 Ready to start TLS\r\n250 2.0.0 injected");
          return;
        }
        reply("220 2.0.0 Ready to start TLS");
        if (script_.starttls == StartTls::Garbled) {
          char hello[4096];
          (void)::read(fd_, hello, sizeof hello);
          reply("500 5.5.1 this is not a TLS record");
          return;
        }
        if (!start_tls()) return;
      } else if (line == "AUTH LOGIN") {
        reply("334 VXNlcm5hbWU6");
        if (!read_command(line)) return;
        reply("334 UGFzc3dvcmQ6");
        if (!read_command(line)) return;
        reply(script_.auth_reply);
      } else if (line == "AUTH XOAUTH2") {
        reply("334 ");
        if (!read_command(line)) return;
        reply(script_.auth_reply);
      } else if (line.starts_with("MAIL FROM:")) {
        reply("250 2.1.0 Ok");
      } else if (line.starts_with("RCPT TO:")) {
        reply(script_.rcpt_reply);
      } else if (line == "DATA") {
        reply("354 End data with <CR><LF>.<CR><LF>");
        while (read_line(line) && line != ".") {
          data_ += (line.starts_with('.') ? line.substr(1) : line) + "\r\n";
        }
        reply("250 2.0.0 Ok: queued");
      } else if (line == "QUIT") {
        reply("221 2.0.0 Bye");
        return;
      } else {
        reply("502 5.5.2 Error: command not recognized");
      }
    }
  }

  bool start_tls() {
    ctx_ = SSL_CTX_new(TLS_server_method());
    SSL_CTX_use_certificate(ctx_, certificate().cert);
    SSL_CTX_use_PrivateKey(ctx_, certificate().key);
    ssl_ = SSL_new(ctx_);
    SSL_set_fd(ssl_, fd_);
    return SSL_accept(ssl_) == 1;
  }

  PeerScript script_;
  int listener_ = -1;
  std::uint16_t port_ = 0;
  int fd_ = -1;
  SSL_CTX* ctx_ = nullptr;
  SSL* ssl_ = nullptr;
  std::string buffer_;
  std::vector<std::string> lines_;
  std::string data_;
  std::thread thread_;
};

std::string base64(std::string_view text) {
  std::string out(4 * ((text.size() + 2) / 3) + 1, '\0');
  const int n = EVP_EncodeBlock(reinterpret_cast<unsigned char*>(out.data()),
                                reinterpret_cast<const unsigned char*>(text.data()),
                                static_cast<int>(text.size()));
  out.resize(static_cast<std::size_t>(n));
  return out;
}

StoredConfig account_at(std::uint16_t port) {
  StoredConfig account;
  account.email = " me@example.test ";
  account.smtp_host = " 127.0.0.1 ";
  account.smtp_port = port;
  return account;
}

DraftData draft_to(std::string to, std::string cc = {}, std::string bcc = {}) {
  DraftData draft;
  draft.to = std::move(to);
  draft.cc = std::move(cc);
  draft.bcc = std::move(bcc);
  return draft;
}

const Credential kPassword{Credential::Password, "me@example.test", "s3cret pass"};
const Credential kToken{Credential::OAuth, "me@example.test", "ya29.token"};
const std::string kMessage = "Subject: hi\r\n\r\n.leading dot\r\nbody\r\n";

SmtpOptions trusting(std::chrono::milliseconds step = 5s) {
  SmtpOptions options;
  options.tls.ca_file = certificate().pem_path.string();
  options.step_timeout = step;
  return options;
}

bool client_said(const std::vector<std::string>& lines, std::string_view prefix) {
  return std::ranges::any_of(lines, [&](const std::string& l) { return l.starts_with(prefix); });
}

bool connection_pending(int listener) {
  pollfd p{listener, POLLIN, 0};
  return ::poll(&p, 1, 50) > 0;
}

TEST(SmtpSubmission, RefusesBeforeConnectingWhenTheInputCannotWork) {
  struct Case {
    std::string host;
    std::string email;
    DraftData draft;
    std::string expected;
  };
  const std::vector<Case> cases = {
      {" \t", "me@example.test", draft_to("you@example.test"), "no SMTP host"},
      // Host checked before the envelope.
      {"", "not an address", draft_to(""), "no SMTP host"},
      {"me@127.0.0.1", "me@example.test", draft_to("you@example.test"),
       "host not found — check the server address"},
      {"127.0.0.1/x", "me@example.test", draft_to("you@example.test"),
       "host not found — check the server address"},
      {"127.0.0.1", "me.example.test", draft_to("you@example.test"),
       "invalid From address: missing \"@\""},
      {"127.0.0.1", "me@example.test", draft_to(" ; ,", "nobody", "still nobody@"),
       "no valid recipients"},
  };
  const auto listener = vexa::testing::listen_loopback(4);
  for (const Case& c : cases) {
    StoredConfig account = account_at(listener.port);
    account.smtp_host = c.host;
    account.email = c.email;
    const auto result = submit_message(account, kPassword, c.draft, kMessage, trusting());
    ASSERT_FALSE(result) << c.host;
    EXPECT_EQ(result.error(), c.expected) << c.host;
    EXPECT_FALSE(connection_pending(listener.fd)) << c.host;
  }
  ::close(listener.fd);
}

TEST(SmtpSubmission, NeverSpeaksBeforeAWorkingTlsUpgrade) {
  struct Case {
    std::string name;
    PeerScript script;
    bool trust_certificate;
    std::vector<std::string> expected_lines;
  };
  const std::vector<Case> cases = {
      {"no STARTTLS offered", {.starttls = StartTls::NotOffered}, true, {"EHLO localhost"}},
      {"STARTTLS accepted, no TLS follows",
       {.starttls = StartTls::Garbled},
       true,
       {"EHLO localhost", "STARTTLS"}},
      {"plain text behind the STARTTLS reply",
       {.starttls = StartTls::Injected},
       true,
       {"EHLO localhost", "STARTTLS"}},
      {"certificate not trusted", {}, false, {"EHLO localhost", "STARTTLS"}},
  };
  for (const Case& c : cases) {
    ScriptedPeer peer(c.script);
    SmtpOptions options = trusting();
    if (!c.trust_certificate) options.tls = {};
    const auto result = submit_message(account_at(peer.port()), kPassword,
                                       draft_to("you@example.test"), kMessage, options);
    ASSERT_FALSE(result) << c.name;
    EXPECT_EQ(result.error(), kTls) << c.name;
    std::vector<std::string> lines = peer.lines();
    std::erase(lines, "QUIT");
    EXPECT_EQ(lines, c.expected_lines) << c.name;
  }
}

TEST(SmtpSubmission, SubmitsTheEnvelopeAndTheBytesUnchangedWithOneMechanism) {
  struct Case {
    std::string name;
    Credential credential;
    std::vector<std::string> auth_lines;
  };
  const std::vector<Case> cases = {
      {"password", kPassword, {"AUTH LOGIN", base64("me@example.test"), base64("s3cret pass")}},
      {"oauth",
       kToken,
       {"AUTH XOAUTH2", base64("user=me@example.test\x01"
                               "auth=Bearer ya29.token\x01\x01")}},
  };
  for (const Case& c : cases) {
    ScriptedPeer peer({});
    // Two pieces in To (one after ";"), an invalid piece dropped, Bcc repeating a To address.
    const DraftData draft =
        draft_to("a@example.test; B <b@example.test>, not an address", "", "a@example.test");
    const auto result =
        submit_message(account_at(peer.port()), c.credential, draft, kMessage, trusting());
    ASSERT_TRUE(result) << c.name << ": " << result.error();
    EXPECT_EQ(*result, kMessage.size());

    std::vector<std::string> expected = {"EHLO localhost", "STARTTLS", "EHLO localhost"};
    expected.insert(expected.end(), c.auth_lines.begin(), c.auth_lines.end());
    expected.insert(expected.end(),
                    {"MAIL FROM:<me@example.test>", "RCPT TO:<a@example.test>",
                     "RCPT TO:<b@example.test>", "RCPT TO:<a@example.test>", "DATA", "QUIT"});
    EXPECT_EQ(peer.lines(), expected) << c.name;
    EXPECT_EQ(peer.data(), kMessage) << c.name;
  }
}

TEST(SmtpSubmission, ServerRejectionsCarryTheReplyAndStopTheTransaction) {
  {
    ScriptedPeer peer({.auth_reply = "535 5.7.8 Error: authentication failed: bad TLS luck"});
    const auto result = submit_message(account_at(peer.port()), kPassword,
                                       draft_to("you@example.test"), kMessage, trusting());
    ASSERT_FALSE(result);
    EXPECT_EQ(result.error(), kAuth);
    EXPECT_FALSE(client_said(peer.lines(), "MAIL"));
  }
  {
    ScriptedPeer peer({.rcpt_reply = "550 5.1.1 <you@example.test>: Recipient\x07 unknown"});
    const auto result = submit_message(account_at(peer.port()), kPassword,
                                       draft_to("you@example.test"), kMessage, trusting());
    ASSERT_FALSE(result);
    EXPECT_TRUE(result.error().starts_with("connection failed: ")) << result.error();
    EXPECT_NE(result.error().find("(550 5.1.1 <you@example.test>: Recipient  unknown)"),
              std::string::npos)
        << result.error();
    EXPECT_EQ(result.error().find("s3cret"), std::string::npos);
    EXPECT_FALSE(client_said(peer.lines(), "DATA"));
    EXPECT_TRUE(peer.data().empty());
  }
}

TEST(SmtpSubmission, ConnectionFailuresAreClassified) {
  {
    ScriptedPeer silent({.greet = false});
    const auto started = std::chrono::steady_clock::now();
    const auto result = submit_message(account_at(silent.port()), kPassword,
                                       draft_to("you@example.test"), kMessage, trusting(300ms));
    const auto elapsed = std::chrono::steady_clock::now() - started;
    ASSERT_FALSE(result);
    EXPECT_EQ(result.error(), kTimedOut);
    EXPECT_LT(elapsed, 2s);
  }
  {
    const auto listener = vexa::testing::listen_loopback(1);
    const std::uint16_t closed_port = listener.port;
    ::close(listener.fd);
    const auto result = submit_message(account_at(closed_port), kPassword,
                                       draft_to("you@example.test"), kMessage, trusting());
    ASSERT_FALSE(result);
    EXPECT_EQ(result.error(), "connection refused — check the host and port");
  }
}

}  // namespace
}  // namespace mail::engine
