// Servers that never finish a response or never stop sending one: each wait is bounded as a
// whole, a literal must keep a minimum rate, and a command's untagged responses are capped.
#include <fmt/format.h>
#include <gtest/gtest.h>
#include <imap/client.h>

#include <asio/co_spawn.hpp>
#include <asio/experimental/as_tuple.hpp>
#include <asio/io_context.hpp>
#include <asio/steady_timer.hpp>
#include <asio/use_awaitable.hpp>
#include <chrono>
#include <functional>

#include "transcript.h"

namespace imap::testing {
namespace {

using namespace std::chrono_literals;

// Hands out `text` `chunk` bytes at a time, one chunk every `pause`, then whatever `forever`
// makes, without end. Writes are accepted and ignored.
class PacedServer final : public Transport {
 public:
  PacedServer(asio::any_io_executor ex, std::string text, std::size_t chunk,
              std::chrono::milliseconds pause, std::function<std::string()> forever = nullptr)
      : ex_(ex),
        timer_(ex),
        text_(std::move(text)),
        chunk_(chunk),
        pause_(pause),
        forever_(std::move(forever)) {}

  asio::any_io_executor executor() override { return ex_; }
  asio::awaitable<std::expected<std::size_t, std::error_code>> read_some(
      std::span<char> buffer) override {
    if (at_ >= text_.size()) {
      if (!forever_) {
        timer_.expires_at(asio::steady_timer::time_point::max());
        co_await timer_.async_wait(asio::experimental::as_tuple(asio::use_awaitable));
        co_return std::unexpected(asio::error::operation_aborted);
      }
      text_ += forever_();
    }
    if (pause_ > 0ms) {
      timer_.expires_after(pause_);
      auto [ec] = co_await timer_.async_wait(asio::experimental::as_tuple(asio::use_awaitable));
      if (ec) co_return std::unexpected(ec);
    }
    const std::size_t n = std::min({chunk_, buffer.size(), text_.size() - at_});
    std::copy_n(text_.data() + at_, n, buffer.data());
    at_ += n;
    co_return n;
  }
  asio::awaitable<std::expected<void, std::error_code>> write_all(std::string_view) override {
    co_return std::expected<void, std::error_code>{};
  }
  void cancel() override { timer_.cancel(); }
  void close() override { timer_.cancel(); }

 private:
  asio::any_io_executor ex_;
  asio::steady_timer timer_;
  std::string text_;
  std::size_t at_ = 0;
  std::size_t chunk_;
  std::chrono::milliseconds pause_;
  std::function<std::string()> forever_;
};

struct Run {
  std::string result;
  std::chrono::milliseconds took{};
};

using MakeServer = std::function<std::unique_ptr<PacedServer>(asio::any_io_executor)>;

Run run(const MakeServer& make, ClientOptions options, const Action& action) {
  asio::io_context io;
  auto server = make(io.get_executor());
  Run out{"(did not finish)"};
  const auto started = std::chrono::steady_clock::now();
  asio::co_spawn(
      io,
      [&]() -> asio::awaitable<void> {
        Client client(std::move(server), options);
        out.result = co_await action(client);
      },
      [](std::exception_ptr e) {
        if (e) std::rethrow_exception(e);
      });
  io.run();
  out.took = std::chrono::duration_cast<std::chrono::milliseconds>(
      std::chrono::steady_clock::now() - started);
  return out;
}

Action greet() {
  return [](Client& c) -> asio::awaitable<std::string> { co_return render(co_await c.greeting()); };
}

Action greet_then_fetch() {
  return [](Client& c) -> asio::awaitable<std::string> {
    if (auto hello = co_await c.greeting(); !hello) co_return "greeting " + render(hello.error());
    auto r = co_await c.uid_fetch("7", "(BODY.PEEK[])");
    co_return r ? fmt::format("fetched {} bytes", r->empty() ? 0 : r->front().body->size())
                : render(r.error());
  };
}

constexpr const char* kHello = "* OK ready\r\n";

TEST(ClientLimits, AGreetingDribbledByteByByteTimesOutWithinTheBound) {
  ClientOptions options{.timeout = 300ms};
  // One byte every 40 ms: each read is quick, the greeting as a whole takes 1.6 s.
  const std::string hello = std::string("* OK ") + std::string(35, 'x') + "\r\n";
  auto out = run([&](auto ex) { return std::make_unique<PacedServer>(ex, hello, 1, 40ms); },
                 options, greet());
  EXPECT_EQ(out.result, "Timeout: greeting: timed out waiting for the server");
  EXPECT_LT(out.took, 1000ms);
}

TEST(ClientLimits, ALiteralMayTakeItsTimeAtTheMinimumRateButNotSlower) {
  const std::string literal(3000, 'b');
  const std::string fetch = std::string(kHello) +
                            fmt::format("* 1 FETCH (UID 7 BODY[] {{{}}}\r\n", literal.size()) +
                            literal + ")\r\nA1 OK done\r\n";
  ClientOptions options{.timeout = 300ms, .min_rate = 1024};
  // 300 bytes every 50 ms (6 KB/s): about 0.5 s in all, past the bare bound, yet steady.
  auto steady = run([&](auto ex) { return std::make_unique<PacedServer>(ex, fetch, 300, 50ms); },
                    options, greet_then_fetch());
  EXPECT_EQ(steady.result, "fetched 3000 bytes");
  // 20 bytes every 50 ms (400 B/s): under the minimum rate, cut off.
  auto slow = run([&](auto ex) { return std::make_unique<PacedServer>(ex, fetch, 20, 50ms); },
                  options, greet_then_fetch());
  EXPECT_EQ(slow.result, "Timeout: UID FETCH: timed out waiting for the server");
  EXPECT_LT(slow.took, 2000ms);
}

TEST(ClientLimits, AServerThatNeverStopsTalkingIsCutOff) {
  struct Case {
    const char* name;
    ClientOptions options;
    std::string line;
    std::string error;
  };
  const std::vector<Case> cases = {
      {"count", ClientOptions{.max_untagged = 1000}, "* 1 EXISTS\r\n",
       "Io: UID FETCH: the server sent more than 1000 responses"},
      {"bytes", ClientOptions{.max_command_bytes = 1 << 20},
       "* OK [ALERT] " + std::string(4000, 'z') + "\r\n",
       "Io: UID FETCH: the server sent more than 1048576 bytes"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    auto out = run(
        [&](auto ex) {
          return std::make_unique<PacedServer>(ex, kHello, 65536, 0ms, [line = c.line] {
            std::string burst;
            while (burst.size() < 65536) burst += line;
            return burst;
          });
        },
        c.options,
        [](Client& client) -> asio::awaitable<std::string> {
          co_await client.greeting();
          auto r = co_await client.uid_fetch("7", "(BODY.PEEK[])");
          std::string text = r ? "fetched" : render(r.error());
          // Cut off means done with: the connection takes no further command.
          auto again = co_await client.uid_fetch("7", "(UID)");
          co_return text + (again ? " / usable" : " / closed");
        });
    EXPECT_EQ(out.result, c.error + " / closed");
  }
}

}  // namespace
}  // namespace imap::testing
