#pragma once
// Transcript tests: a scripted in-memory server. Script lines are "C: text" (the client must send
// text CRLF), "S: text" (the server sends text CRLF), "S~ text" (the server sends text without a
// line end), "CLOSE" (the server closes) and "STALL" (the server goes silent). Before each server
// step the client must have sent exactly the client lines above it, so a literal sent before the
// server's "+" shows up as a mismatch.
#include <fmt/format.h>
#include <imap/client.h>

#include <asio/co_spawn.hpp>
#include <asio/detached.hpp>
#include <asio/experimental/as_tuple.hpp>
#include <asio/io_context.hpp>
#include <asio/steady_timer.hpp>
#include <asio/use_awaitable.hpp>
#include <exception>
#include <functional>
#include <limits>
#include <memory>
#include <string>
#include <vector>

namespace imap::testing {

struct Record {
  std::string written;   // every byte the client sent
  std::string expected;  // every client line of the script
  std::string mismatch;  // first ordering problem seen, if any
};

class ScriptedTransport final : public Transport {
 public:
  struct Step {
    enum class Kind { Client, Server, Close, Stall } kind;
    std::string bytes;
  };

  ScriptedTransport(asio::any_io_executor executor, const std::vector<std::string>& script,
                    std::size_t chunk)
      : executor_(executor), timer_(executor), chunk_(chunk), record_(std::make_shared<Record>()) {
    for (const std::string& line : script) {
      if (line.starts_with("C: ")) {
        steps_.push_back({Step::Kind::Client, line.substr(3) + "\r\n"});
        record_->expected += steps_.back().bytes;
      } else if (line.starts_with("S: ")) {
        steps_.push_back({Step::Kind::Server, line.substr(3) + "\r\n"});
      } else if (line.starts_with("S~ ")) {
        steps_.push_back({Step::Kind::Server, line.substr(3)});
      } else if (line == "CLOSE") {
        steps_.push_back({Step::Kind::Close, {}});
      } else if (line == "STALL") {
        steps_.push_back({Step::Kind::Stall, {}});
      } else {
        throw std::invalid_argument("bad script line: " + line);
      }
    }
  }

  std::shared_ptr<Record> record() const { return record_; }

  asio::any_io_executor executor() override { return executor_; }

  asio::awaitable<std::expected<std::size_t, std::error_code>> read_some(
      std::span<char> buffer) override {
    while (pending_.size() == pending_at_) {
      if (next_ == steps_.size()) co_return 0;
      const Step& step = steps_[next_++];
      switch (step.kind) {
        case Step::Kind::Client:
          client_bytes_ += step.bytes;
          break;
        case Step::Kind::Server:
          if (record_->written != client_bytes_ && record_->mismatch.empty()) {
            record_->mismatch = fmt::format("before server line {:?} the client had sent {:?}",
                                            step.bytes, record_->written);
          }
          pending_ = step.bytes;
          pending_at_ = 0;
          break;
        case Step::Kind::Close:
          co_return 0;
        case Step::Kind::Stall: {
          timer_.expires_at(asio::steady_timer::time_point::max());
          auto [ec] = co_await timer_.async_wait(asio::experimental::as_tuple(asio::use_awaitable));
          co_return std::unexpected(ec ? ec : asio::error::operation_aborted);
        }
      }
    }
    const std::size_t n = std::min({chunk_, buffer.size(), pending_.size() - pending_at_});
    std::copy_n(pending_.data() + pending_at_, n, buffer.data());
    pending_at_ += n;
    co_return n;
  }

  asio::awaitable<std::expected<void, std::error_code>> write_all(std::string_view bytes) override {
    record_->written += bytes;
    co_return std::expected<void, std::error_code>{};
  }

  void cancel() override { timer_.cancel(); }
  void close() override { timer_.cancel(); }

 private:
  asio::any_io_executor executor_;
  asio::steady_timer timer_;
  std::size_t chunk_;
  std::shared_ptr<Record> record_;
  std::vector<Step> steps_;
  std::size_t next_ = 0;
  std::string client_bytes_;
  std::string pending_;
  std::size_t pending_at_ = 0;
};

inline const char* kind_name(Error::Kind kind) {
  switch (kind) {
    case Error::Kind::Timeout:
      return "Timeout";
    case Error::Kind::Closed:
      return "Closed";
    case Error::Kind::Io:
      return "Io";
    case Error::Kind::Protocol:
      return "Protocol";
    case Error::Kind::Rejected:
      return "Rejected";
  }
  return "?";
}

inline std::string render(const Error& e) {
  return fmt::format("{}: {}", kind_name(e.kind), e.text);
}

inline std::string render(const Result<void>& r) { return r ? "ok" : render(r.error()); }

using Action = std::function<asio::awaitable<std::string>(Client&)>;

struct Outcome {
  std::string result;
  std::shared_ptr<Record> record;
};

// Runs `action` against the script on a fresh io_context and returns what it rendered.
inline Outcome run_transcript(const std::vector<std::string>& script, const Action& action,
                              ClientOptions options = {},
                              std::size_t chunk = std::numeric_limits<std::size_t>::max()) {
  asio::io_context io;
  auto transport = std::make_unique<ScriptedTransport>(io.get_executor(), script, chunk);
  Outcome out{"(did not finish)", transport->record()};
  asio::co_spawn(
      io,
      [&]() -> asio::awaitable<void> {
        Client client(std::move(transport), options);
        out.result = co_await action(client);
      },
      [](std::exception_ptr e) {
        if (e) std::rethrow_exception(e);
      });
  io.run();
  return out;
}

}  // namespace imap::testing
