// HTTPS against a loopback server whose certificate only a throw-away CA file vouches for: the
// file reaches libcurl only through client_config, and verification covers peer and host name.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <openssl/err.h>
#include <openssl/pem.h>
#include <openssl/ssl.h>
#include <openssl/x509v3.h>
#include <poll.h>
#include <stdlib.h>
#include <sys/socket.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <filesystem>
#include <optional>
#include <thread>

#include "loopback_listener.h"
#include "test_certificate.h"
#include "vexa/net/net.h"

namespace http = vexa::net::http;
using namespace std::chrono_literals;

namespace {

using vexa::testing::TestCertificate;

// Answers up to `connections` TLS connections with "200 OK" / "secure".
class TlsServer {
 public:
  TlsServer(const TestCertificate& certificate, int connections) {
    // The client may hang up first (a refused certificate, a time-out); a write then must fail
    // quietly instead of killing the test.
    std::signal(SIGPIPE, SIG_IGN);
    ctx_ = SSL_CTX_new(TLS_server_method());
    SSL_CTX_use_certificate(ctx_, certificate.cert);
    SSL_CTX_use_PrivateKey(ctx_, certificate.key);
    const auto listener = vexa::testing::listen_loopback(4);
    listener_ = listener.fd;
    port_ = listener.port;
    thread_ = std::thread([this, connections] {
      for (int i = 0; i < connections; ++i) serve_one();
    });
  }
  ~TlsServer() {
    thread_.join();
    ::close(listener_);
    SSL_CTX_free(ctx_);
  }
  int port() const { return port_; }

 private:
  void serve_one() {
    pollfd p{listener_, POLLIN, 0};
    if (::poll(&p, 1, 5000) <= 0) return;
    const int fd = ::accept(listener_, nullptr, nullptr);
    if (fd < 0) return;
    timeval tv{2, 0};
    ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
    SSL* ssl = SSL_new(ctx_);
    SSL_set_fd(ssl, fd);
    if (SSL_accept(ssl) == 1) {
      char buffer[4096];
      (void)SSL_read(ssl, buffer, sizeof buffer);
      const std::string response =
          "HTTP/1.1 200 OK\r\nContent-Length: 6\r\nConnection: close\r\n\r\nsecure";
      SSL_write(ssl, response.data(), static_cast<int>(response.size()));
      SSL_shutdown(ssl);
    }
    SSL_free(ssl);
    ::close(fd);
    ERR_clear_error();
  }

  SSL_CTX* ctx_ = nullptr;
  int listener_ = -1;
  int port_ = 0;
  std::thread thread_;
};

TEST(BlockingClientTls, TrustsOnlyTheConfiguredRootsAndChecksTheHostName) {
  const TestCertificate certificate;
  TlsServer server(certificate, 3);
  const std::string port = std::to_string(server.port());

  std::optional<std::string> saved;
  if (const char* v = std::getenv("SSL_CERT_FILE")) saved = v;

  ::setenv("SSL_CERT_FILE", certificate.pem_path.c_str(), 1);
  auto trusting = http::blocking_client().timeout(5s).build();
  ASSERT_TRUE(trusting) << trusting.error();
  const auto ok = trusting->get("https://127.0.0.1:" + port + "/");
  ASSERT_TRUE(ok) << ok.error();
  EXPECT_EQ(ok->status, 200);
  EXPECT_EQ(ok->body, "secure");

  // Same trusted certificate, wrong name.
  const auto wrong_name = trusting->get("https://localhost:" + port + "/");
  EXPECT_FALSE(wrong_name);

  if (saved) {
    ::setenv("SSL_CERT_FILE", saved->c_str(), 1);
  } else {
    ::unsetenv("SSL_CERT_FILE");
  }
  const http::BlockingClient untrusting(5s, vexa::net::ClientConfig{});
  const auto refused = untrusting.get("https://127.0.0.1:" + port + "/");
  ASSERT_FALSE(refused);
  EXPECT_NE(refused.error().find("certificate"), std::string::npos) << refused.error();
}

}  // namespace
