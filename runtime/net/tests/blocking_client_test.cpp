#include "loopback_listener.h"
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <mutex>
#include <string>
#include <thread>

#include "vexa/net/net.h"

namespace http = vexa::net::http;
using namespace std::chrono_literals;

namespace {

// A loopback HTTP server that answers each accepted connection with the next canned response
// (or holds the connection open without answering when the response is empty), and records the
// raw requests it read.
class LoopbackServer {
 public:
  explicit LoopbackServer(std::vector<std::string> responses) : responses_(std::move(responses)) {
    // The client may hang up first (a refused certificate, a time-out); a write then must fail
    // quietly instead of killing the test.
    std::signal(SIGPIPE, SIG_IGN);
    const auto listener = vexa::testing::listen_loopback(4);
    listener_ = listener.fd;
    port_ = listener.port;
    thread_ = std::thread([this] { serve(); });
  }
  ~LoopbackServer() {
    thread_.join();
    ::close(listener_);
  }
  std::string url(std::string_view path) const {
    return "http://127.0.0.1:" + std::to_string(port_) + std::string(path);
  }
  std::vector<std::string> requests() {
    std::lock_guard lock(mutex_);
    return requests_;
  }

 private:
  static std::string read_request(int fd) {
    std::string data;
    char buffer[4096];
    for (;;) {
      pollfd p{fd, POLLIN, 0};
      if (::poll(&p, 1, 2000) <= 0) break;
      const ssize_t n = ::read(fd, buffer, sizeof buffer);
      if (n <= 0) break;
      data.append(buffer, static_cast<std::size_t>(n));
      const auto end = data.find("\r\n\r\n");
      if (end == std::string::npos) continue;
      std::size_t length = 0;
      if (const auto at = data.find("Content-Length: "); at != std::string::npos && at < end) {
        length = std::stoul(data.substr(at + 16));
      }
      if (data.size() >= end + 4 + length) break;
    }
    return data;
  }

  void serve() {
    for (const std::string& response : responses_) {
      pollfd p{listener_, POLLIN, 0};
      if (::poll(&p, 1, 5000) <= 0) return;
      const int fd = ::accept(listener_, nullptr, nullptr);
      if (fd < 0) return;
      const std::string request = read_request(fd);
      {
        std::lock_guard lock(mutex_);
        requests_.push_back(request);
      }
      if (response.empty()) {
        // Stay silent until the client gives up.
        char c;
        pollfd q{fd, POLLIN, 0};
        if (::poll(&q, 1, 5000) > 0) (void)::read(fd, &c, 1);
      } else {
        (void)::write(fd, response.data(), response.size());
      }
      ::close(fd);
    }
  }

  std::vector<std::string> responses_;
  int listener_ = -1;
  int port_ = 0;
  std::thread thread_;
  std::mutex mutex_;
  std::vector<std::string> requests_;
};

std::string canned(std::string_view status, std::string_view extra_headers, std::string_view body) {
  return std::string("HTTP/1.1 ") + std::string(status) + "\r\n" + std::string(extra_headers) +
         "Content-Length: " + std::to_string(body.size()) + "\r\nConnection: close\r\n\r\n" +
         std::string(body);
}

http::BlockingClient client(std::chrono::milliseconds timeout = 5s) {
  auto built = http::blocking_client().timeout(timeout).build();
  EXPECT_TRUE(built) << built.error();
  return *built;
}

std::string header(const http::Response& r, std::string_view name) {
  for (const auto& [n, v] : r.headers) {
    if (n == name) return v;
  }
  return {};
}

TEST(BlockingClient, GetReturnsStatusBodyAndHeaders) {
  LoopbackServer server({canned("404 Not Found", "X-Trace: abc\r\n", "nothing here")});
  const auto response = client().get(server.url("/config.xml"));
  ASSERT_TRUE(response) << response.error();
  EXPECT_EQ(response->status, 404);
  EXPECT_EQ(response->body, "nothing here");
  EXPECT_EQ(header(*response, "X-Trace"), "abc");
  ASSERT_EQ(server.requests().size(), 1u);
  EXPECT_TRUE(server.requests()[0].starts_with("GET /config.xml HTTP/1.1\r\n"));
}

TEST(BlockingClient, GetFollowsRedirectsButPostDoesNot) {
  {
    LoopbackServer server({canned("302 Found", "Location: /final\r\n", ""),
                           canned("200 OK", "X-Final: yes\r\n", "done")});
    const auto response = client().get(server.url("/start"));
    ASSERT_TRUE(response) << response.error();
    EXPECT_EQ(response->status, 200);
    EXPECT_EQ(response->body, "done");
    // Only the final response's headers.
    EXPECT_EQ(header(*response, "Location"), "");
    EXPECT_EQ(header(*response, "X-Final"), "yes");
  }
  {
    LoopbackServer server({canned("302 Found", "Location: /elsewhere\r\n", "moved")});
    const auto response = client().post(server.url("/token"), "text/plain", "x");
    ASSERT_TRUE(response) << response.error();
    EXPECT_EQ(response->status, 302);
    EXPECT_EQ(server.requests().size(), 1u);
  }
}

TEST(BlockingClient, PostFormSendsPairsInOrderEncoded) {
  LoopbackServer server({canned("200 OK", "", R"({"access_token":"t"})")});
  const auto response =
      client().post_form(server.url("/token"), {{"grant_type", "authorization_code"},
                                                {"redirect_uri", "http://127.0.0.1:5/oauth"},
                                                {"code", "a b+c&d=é"}});
  ASSERT_TRUE(response) << response.error();
  EXPECT_EQ(response->body, R"({"access_token":"t"})");
  ASSERT_EQ(server.requests().size(), 1u);
  const std::string request = server.requests()[0];
  EXPECT_TRUE(request.starts_with("POST /token HTTP/1.1\r\n"));
  EXPECT_NE(request.find("\r\nContent-Type: application/x-www-form-urlencoded\r\n"),
            std::string::npos);
  const std::string body = request.substr(request.find("\r\n\r\n") + 4);
  EXPECT_EQ(body,
            "grant_type=authorization_code&redirect_uri=http%3A%2F%2F127.0.0.1%3A5%2Foauth"
            "&code=a+b%2Bc%26d%3D%C3%A9");
}

TEST(BlockingClient, FailuresEndWithinTheTimeoutAndSayWhy) {
  // A port that was just free: nothing listens there.
  int port = 0;
  {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
    socklen_t len = sizeof addr;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len);
    port = ntohs(addr.sin_port);
    ::close(fd);
  }
  const auto start = std::chrono::steady_clock::now();
  const auto refused = client(2s).get("http://127.0.0.1:" + std::to_string(port) + "/");
  EXPECT_LT(std::chrono::steady_clock::now() - start, 2s);
  ASSERT_FALSE(refused);
  EXPECT_FALSE(refused.error().empty());

  LoopbackServer silent({""});
  const auto stalled_start = std::chrono::steady_clock::now();
  const auto stalled = client(300ms).get(silent.url("/"));
  const auto elapsed = std::chrono::steady_clock::now() - stalled_start;
  ASSERT_FALSE(stalled);
  EXPECT_NE(stalled.error().find("imed out"), std::string::npos) << stalled.error();
  EXPECT_LT(elapsed, 2s);
}

TEST(BlockingClient, BuilderRejectsAnUnboundedTimeout) {
  EXPECT_FALSE(http::blocking_client().timeout(0ms).build());
}

TEST(FormEncode, ApplicationFormRules) {
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"AZaz09-._~", "AZaz09-._~"},
      {"a b", "a+b"},
      {"a+b", "a%2Bb"},
      {"x&y=z", "x%26y%3Dz"},
      {"openid email https://mail.example/", "openid+email+https%3A%2F%2Fmail.example%2F"},
      {"é*", "%C3%A9%2A"},
      {"", ""},
  };
  for (const auto& [in, out] : cases) EXPECT_EQ(http::form_encode(in), out) << in;
}

}  // namespace
