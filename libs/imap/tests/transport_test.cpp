#include <gtest/gtest.h>
#include <imap/client.h>
#include <imap/transport.h>
#include <loopback_listener.h>

#include <asio/co_spawn.hpp>
#include <asio/io_context.hpp>
#include <asio/ssl/context.hpp>
#include <chrono>
#include <exception>
#include <string>
#include <thread>

namespace imap {
namespace {

using namespace std::chrono_literals;

template <typename T>
T run(asio::io_context& io, std::function<asio::awaitable<T>()> body) {
  T out{};
  asio::co_spawn(
      io, [&]() -> asio::awaitable<void> { out = co_await body(); },
      [](std::exception_ptr e) {
        if (e) std::rethrow_exception(e);
      });
  io.run();
  return out;
}

// A peer on loopback: accepts one connection, sends `greeting`, then waits for `hold`.
class Peer {
 public:
  Peer(std::string greeting, std::chrono::milliseconds hold, bool answer_capability = false)
      : listener_(vexa::testing::listen_loopback(1)) {
    thread_ = std::thread([this, greeting, hold, answer_capability] {
      const int fd = ::accept(listener_.fd, nullptr, nullptr);
      if (fd < 0) return;
      if (!greeting.empty()) ::send(fd, greeting.data(), greeting.size(), MSG_NOSIGNAL);
      if (answer_capability) {
        std::string got;
        char buf[256];
        while (got.find("\r\n") == std::string::npos) {
          const ssize_t n = ::recv(fd, buf, sizeof buf, 0);
          if (n <= 0) break;
          got.append(buf, static_cast<std::size_t>(n));
        }
        received_ = got;
        const std::string reply = "* CAPABILITY IMAP4rev1 MOVE\r\nA1 OK done\r\n";
        ::send(fd, reply.data(), reply.size(), MSG_NOSIGNAL);
      }
      std::this_thread::sleep_for(hold);
      ::close(fd);
    });
  }
  ~Peer() {
    ::shutdown(listener_.fd, SHUT_RDWR);
    thread_.join();
    ::close(listener_.fd);
  }
  std::uint16_t port() const { return listener_.port; }
  const std::string& received() const { return received_; }

 private:
  vexa::testing::LoopbackListener listener_;
  std::thread thread_;
  std::string received_;
};

TEST(ConnectPlain, TalksToALoopbackPeer) {
  std::string caps;
  {
    Peer peer("* OK hello\r\n", 0ms, true);
    asio::io_context io;
    caps = run<std::string>(io, [&]() -> asio::awaitable<std::string> {
      auto transport = co_await connect_plain("127.0.0.1", peer.port(), 2s);
      if (!transport) co_return transport.error().text;
      Client client(std::move(*transport));
      if (auto g = co_await client.greeting(); !g) co_return g.error().text;
      auto c = co_await client.capability();
      co_return c ? c->at(1) : c.error().text;
    });
    EXPECT_EQ(caps, "MOVE");
  }
}

struct FailureCase {
  const char* name;
  std::string greeting;  // what a plain-TCP peer sends; unused without a peer
  bool peer;             // false: connect to a port nobody listens on
  std::chrono::milliseconds hold;
  Error::Kind kind;
  std::string contains;
};

class ConnectTlsFailure : public ::testing::TestWithParam<FailureCase> {};

TEST_P(ConnectTlsFailure, SaysWhatWentWrong) {
  const FailureCase& c = GetParam();
  std::uint16_t port = 0;
  std::optional<Peer> peer;
  if (c.peer) {
    peer.emplace(c.greeting, c.hold);
    port = peer->port();
  } else {
    auto closed = vexa::testing::listen_loopback(1);
    port = closed.port;
    ::close(closed.fd);
  }
  asio::io_context io;
  asio::ssl::context tls(asio::ssl::context::tls_client);
  const auto started = std::chrono::steady_clock::now();
  auto error = run<Error>(io, [&]() -> asio::awaitable<Error> {
    auto transport = co_await connect_tls(tls, "127.0.0.1", port, 300ms);
    co_return transport ? Error{Error::Kind::Io, "connected"} : transport.error();
  });
  EXPECT_LT(std::chrono::steady_clock::now() - started, 3s);
  EXPECT_EQ(error.kind, c.kind) << error.text;
  EXPECT_NE(error.text.find(c.contains), std::string::npos) << error.text;
}

INSTANTIATE_TEST_SUITE_P(Transport, ConnectTlsFailure,
                         ::testing::ValuesIn(std::vector<FailureCase>{
                             {"plain_server", "* OK IMAP4rev1 plain text\r\n", true, 0ms,
                              Error::Kind::Io, "TLS handshake with 127.0.0.1 failed: "},
                             {"closed_port", "", false, 0ms, Error::Kind::Io,
                              "failed: Connection refused"},
                             {"silent_server", "", true, 1000ms, Error::Kind::Timeout,
                              "no answer from 127.0.0.1 while setting up encryption: timed out"},
                         }),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(ConnectTls, RefusesAnUnusableNameBeforeConnecting) {
  asio::io_context io;
  asio::ssl::context tls(asio::ssl::context::tls_client);
  auto error = run<Error>(io, [&]() -> asio::awaitable<Error> {
    auto transport = co_await connect_tls(tls, "bad host", 993, 300ms);
    co_return transport ? Error{Error::Kind::Io, "connected"} : transport.error();
  });
  EXPECT_EQ(error.text, "invalid server name bad host: the host name contains ' '");
}

TEST(CheckServerName, AcceptsNamesAndAddresses) {
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"imap.example.com", ""},
      {"localhost", ""},
      {"mail-1.example.co.uk.", ""},
      {"127.0.0.1", ""},
      {"::1", ""},
      {"2001:db8::25", ""},
      {"", "the host name is empty"},
      {".", "the host name has no labels"},
      {"a..b", "the host name has an empty label"},
      {"-a.example.com", "a label of the host name starts or ends with a hyphen"},
      {std::string(64, 'a') + ".com", "a label of the host name is longer than 63 characters"},
      {std::string(63, 'a') + "." + std::string(63, 'b') + "." + std::string(63, 'c') + "." +
           std::string(63, 'd'),
       "the host name is too long"},
      {"under_score.example", "the host name contains '_'"},
      {"[::1]", "the host name contains '['"},
      {"mail.exämple.com", "the host name contains the byte 0xc3"},
      {"imap.example.com\r\n", "the host name contains the byte 0x0d"},
      {"1.2.3.999", "the host name looks like an IP address but is not one"},
  };
  for (const auto& [host, want] : cases) {
    auto r = check_server_name(host);
    EXPECT_EQ(r ? std::string() : r.error(), want) << host;
  }
}

}  // namespace
}  // namespace imap
