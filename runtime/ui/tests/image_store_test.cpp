#include "loopback_listener.h"
#include "vexa/ui/image_store.h"

#include <arpa/inet.h>
#include <cairo.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <map>
#include <mutex>
#include <string>
#include <thread>

namespace vexa::ui {
namespace {

using namespace std::chrono_literals;

std::string make_png(int w, int h) {
  cairo_surface_t* s = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, w, h);
  cairo_t* cr = cairo_create(s);
  cairo_set_source_rgb(cr, 0.2, 0.6, 0.9);
  cairo_paint(cr);
  cairo_destroy(cr);
  std::string out;
  cairo_surface_write_to_png_stream(
      s,
      [](void* closure, const unsigned char* data, unsigned int length) {
        static_cast<std::string*>(closure)->append(reinterpret_cast<const char*>(data), length);
        return CAIRO_STATUS_SUCCESS;
      },
      &out);
  cairo_surface_destroy(s);
  return out;
}

struct Route {
  int status = 200;
  std::string body;
  std::chrono::milliseconds delay{0};
};

// A loopback HTTP/1.0 server: one request per connection, routes by path, counts hits.
class TestServer {
 public:
  explicit TestServer(std::map<std::string, Route> routes) : routes_(std::move(routes)) {
    const auto listener = vexa::testing::listen_loopback(16);
    fd_ = listener.fd;
    port_ = listener.port;
    thread_ = std::thread([this] { serve(); });
  }
  ~TestServer() {
    stop_ = true;
    thread_.join();
    ::close(fd_);
  }

  std::string url(const std::string& path) const {
    return "http://127.0.0.1:" + std::to_string(port_) + path;
  }
  int hits(const std::string& path) {
    std::lock_guard lock(mutex_);
    return hits_[path];
  }

 private:
  void serve() {
    while (!stop_) {
      pollfd p{fd_, POLLIN, 0};
      if (::poll(&p, 1, 20) <= 0) continue;
      const int client = ::accept(fd_, nullptr, nullptr);
      if (client < 0) continue;
      std::string request;
      char buf[1024];
      while (request.find("\r\n\r\n") == std::string::npos) {
        const ssize_t n = ::recv(client, buf, sizeof buf, 0);
        if (n <= 0) break;
        request.append(buf, static_cast<std::size_t>(n));
      }
      const auto first_space = request.find(' ');
      const auto second_space = request.find(' ', first_space + 1);
      const std::string path = request.substr(first_space + 1, second_space - first_space - 1);
      Route route{404, "not found"};
      {
        std::lock_guard lock(mutex_);
        ++hits_[path];
        if (auto it = routes_.find(path); it != routes_.end()) route = it->second;
      }
      const auto until = std::chrono::steady_clock::now() + route.delay;
      while (!stop_ && std::chrono::steady_clock::now() < until) std::this_thread::sleep_for(5ms);
      const std::string response = "HTTP/1.0 " + std::to_string(route.status) +
                                   " X\r\nContent-Length: " + std::to_string(route.body.size()) +
                                   "\r\nConnection: close\r\n\r\n" + route.body;
      ::send(client, response.data(), response.size(), MSG_NOSIGNAL);
      ::close(client);
    }
  }

  std::map<std::string, Route> routes_;
  std::mutex mutex_;
  std::map<std::string, int> hits_;
  int fd_ = -1;
  int port_ = 0;
  std::atomic<bool> stop_{false};
  std::thread thread_;
};

// Waits (bounded) until the store has settled the URL.
ImageStore::State settle(ImageStore& store, const std::string& url) {
  const auto deadline = std::chrono::steady_clock::now() + 5s;
  while (store.state(url) == ImageStore::State::Loading &&
         std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(5ms);
  }
  return store.state(url);
}

TEST(ImageStore, LoadsInTheBackgroundAndCaches) {
  // The reply is held back so that both calls below happen while the fetch is in flight.
  TestServer server({{"/a.png", {200, make_png(7, 5), 300ms}}});
  ImageStore store;
  const std::string url = server.url("/a.png");
  const std::uint64_t before = store.revision();
  EXPECT_EQ(store.get(url), std::nullopt) << "the first call never waits";
  EXPECT_EQ(store.get(url), std::nullopt);
  EXPECT_EQ(store.pending(), 1u);
  ASSERT_EQ(settle(store, url), ImageStore::State::Ready);
  EXPECT_GT(store.revision(), before);
  EXPECT_EQ(store.pending(), 0u);
  auto image = store.get(url);
  ASSERT_TRUE(image.has_value());
  EXPECT_EQ((*image)->width(), 7);
  EXPECT_EQ((*image)->height(), 5);
  EXPECT_EQ(server.hits("/a.png"), 1) << "asked twice while loading, fetched once";
}

struct FailureCase {
  std::string name;
  std::string path;  // empty: use `url` as is
  std::string url;
  Route route;
  ImageStoreOptions options;
  std::string error_part;
};

class Failures : public ::testing::TestWithParam<FailureCase> {};

TEST_P(Failures, AreRememberedAndNotRetried) {
  const FailureCase& c = GetParam();
  TestServer server({{"/x", c.route}});
  ImageStore store(c.options);
  const std::string url = c.url.empty() ? server.url(c.path) : c.url;
  EXPECT_EQ(store.get(url), std::nullopt);
  ASSERT_EQ(settle(store, url), ImageStore::State::Failed);
  ASSERT_TRUE(store.error(url).has_value());
  EXPECT_NE(store.error(url)->find(c.error_part), std::string::npos) << *store.error(url);
  EXPECT_EQ(store.get(url), std::nullopt);
  EXPECT_EQ(settle(store, url), ImageStore::State::Failed);
  if (!c.path.empty()) {
    EXPECT_EQ(server.hits(c.path), 1);
  }
}

const ImageStoreOptions kSmall{std::chrono::milliseconds(300), 64};

INSTANTIATE_TEST_SUITE_P(
    ImageStore, Failures,
    ::testing::Values(
        FailureCase{"http_status", "/missing.png", "", {}, {}, "HTTP status 404"},
        FailureCase{"not_png", "/x", "", {200, "GIF89a not really"}, {}, "unsupported image"},
        FailureCase{"truncated_png", "/x", "", {200, make_png(4, 4).substr(0, 40)}, {}, "decode"},
        FailureCase{"too_large", "/x", "", {200, std::string(1000, 'x')}, kSmall, "larger than 64"},
        FailureCase{"timeout", "/x", "", {200, "late", 2000ms}, kSmall, "timed out"},
        FailureCase{"file_scheme", "", "file:///etc/passwd", {}, {}, "only http and https"},
        FailureCase{"refused", "", "http://127.0.0.1:1/a.png", {}, {}, ""}),
    [](const auto& info) { return info.param.name; });

TEST(ImageStore, ShutsDownPromptlyDuringASlowFetch) {
  TestServer server({{"/slow", {200, "x", 5000ms}}});
  const auto start = std::chrono::steady_clock::now();
  {
    ImageStore store;
    store.get(server.url("/slow"));
    std::this_thread::sleep_for(100ms);
  }
  EXPECT_LT(std::chrono::steady_clock::now() - start, 3s);
}

}  // namespace
}  // namespace vexa::ui
