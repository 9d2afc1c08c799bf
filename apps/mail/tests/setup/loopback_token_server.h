#pragma once
// A one-thread HTTP server on 127.0.0.1 that answers every request with one canned body and
// records the request bodies it received. Stands in for an OAuth token endpoint.
#include "loopback_listener.h"
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cctype>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace mail::testing {

class LoopbackTokenServer {
 public:
  // `on_request` runs on the server thread before each answer is sent.
  explicit LoopbackTokenServer(std::string answer, int status = 200,
                               std::function<void()> on_request = {})
      : answer_(std::move(answer)), status_(status), on_request_(std::move(on_request)) {
    const auto listener = vexa::testing::listen_loopback(8);
    listener_ = listener.fd;
    port_ = listener.port;
    thread_ = std::thread([this] { serve(); });
  }
  ~LoopbackTokenServer() {
    stop_ = true;
    thread_.join();
    ::close(listener_);
  }

  std::string url() const { return "http://127.0.0.1:" + std::to_string(port_) + "/token"; }
  std::vector<std::string> bodies() const {
    std::lock_guard lock(mutex_);
    return bodies_;
  }

 private:
  void serve() {
    while (!stop_) {
      pollfd waiting{listener_, POLLIN, 0};
      if (::poll(&waiting, 1, 20) <= 0) continue;
      const int connection = ::accept(listener_, nullptr, nullptr);
      if (connection < 0) continue;
      answer(connection);
      ::close(connection);
    }
  }

  void answer(int connection) {
    std::string request;
    char buffer[4096];
    std::size_t wanted = std::string::npos;
    while (wanted == std::string::npos || request.size() < wanted) {
      pollfd readable{connection, POLLIN, 0};
      if (::poll(&readable, 1, 2000) <= 0) return;
      const auto got = ::read(connection, buffer, sizeof buffer);
      if (got <= 0) return;
      request.append(buffer, static_cast<std::size_t>(got));
      const auto end = request.find("\r\n\r\n");
      if (wanted == std::string::npos && end != std::string::npos) {
        wanted = end + 4 + content_length(request.substr(0, end));
      }
    }
    {
      std::lock_guard lock(mutex_);
      bodies_.push_back(request.substr(request.find("\r\n\r\n") + 4));
    }
    if (on_request_) on_request_();
    const std::string response = "HTTP/1.1 " + std::to_string(status_) +
                                 " Canned\r\nContent-Type: application/json\r\nContent-Length: " +
                                 std::to_string(answer_.size()) + "\r\nConnection: close\r\n\r\n" +
                                 answer_;
    (void)!::write(connection, response.data(), response.size());
  }

  static std::size_t content_length(const std::string& head) {
    for (std::size_t at = 0; at < head.size();) {
      auto end = head.find("\r\n", at);
      if (end == std::string::npos) end = head.size();
      std::string line = head.substr(at, end - at);
      for (auto& c : line) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
      if (line.rfind("content-length:", 0) == 0) return std::stoul(line.substr(15));
      at = end + 2;
    }
    return 0;
  }

  std::string answer_;
  int status_;
  std::function<void()> on_request_;
  int listener_ = -1;
  int port_ = 0;
  std::atomic<bool> stop_{false};
  mutable std::mutex mutex_;
  std::vector<std::string> bodies_;
  std::thread thread_;
};

}  // namespace mail::testing
