#pragma once
// An IMAP4rev1 client over one transport: tagged commands, each response wait bounded. Errors
// name the command and what the server said ("SELECT failed: NO Mailbox doesn't exist: Nope").
#include <asio/awaitable.hpp>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "imap/command.h"
#include "imap/error.h"
#include "imap/response.h"
#include "imap/transport.h"

namespace imap {

struct ClientOptions {
  // A response (the greeting included) must arrive whole within this bound, plus the time its
  // bytes take at `min_rate`: a server that dribbles a line cannot hold the connection open,
  // while a large literal arriving at a steady rate is given the time it needs.
  std::chrono::milliseconds timeout{std::chrono::seconds(30)};
  std::size_t min_rate = 1024;  // bytes per second
  ParserLimits limits;
  // One command's untagged responses, in count and in bytes: a server that never stops
  // talking is cut off rather than filling memory.
  std::size_t max_untagged = 1'000'000;
  std::uint64_t max_command_bytes = 1ull << 30;
};

class Client {
 public:
  explicit Client(std::unique_ptr<Transport> transport, ClientOptions options = {});
  ~Client();
  Client(const Client&) = delete;
  Client& operator=(const Client&) = delete;

  // Reads the greeting: OK or PREAUTH; BYE is Closed. Capabilities in its code are kept.
  asio::awaitable<Result<void>> greeting();
  asio::awaitable<Result<std::vector<std::string>>> capability();
  asio::awaitable<Result<void>> login(std::string_view user, std::string_view password);
  // SASL XOAUTH2 with the initial response "user=" user ^A "auth=Bearer " token ^A ^A, base64.
  // A server that answers with a continuation (an error challenge) gets an empty line, as the
  // mechanism requires, and the tagged NO that follows is the error.
  asio::awaitable<Result<void>> authenticate_xoauth2(std::string_view user, std::string_view token);
  asio::awaitable<Result<std::vector<ListEntry>>> list(std::string_view reference,
                                                       std::string_view pattern);
  asio::awaitable<Result<SelectInfo>> select(std::string_view mailbox);
  // UID SEARCH with the given criteria, e.g. {keyword("HEADER"), keyword("MESSAGE-ID"),
  // string(id)}; the UIDs in the order the server sent them.
  asio::awaitable<Result<std::vector<std::uint32_t>>> uid_search(std::vector<Arg> criteria);
  // UID FETCH of `uid_set` with a fixed item list such as "(UID FLAGS INTERNALDATE BODY.PEEK[])";
  // the FETCH responses in the order the server sent them.
  asio::awaitable<Result<std::vector<FetchData>>> uid_fetch(std::string_view uid_set,
                                                            std::string_view items);
  // The same, handing each FETCH response to `on_fetch` as soon as it is read instead of
  // collecting them, so work on one message overlaps the transfer of the next.
  asio::awaitable<Result<void>> uid_fetch(std::string_view uid_set, std::string_view items,
                                          std::function<void(FetchData&&)> on_fetch);
  // operation: "+FLAGS", "-FLAGS", "+FLAGS.SILENT", ...; flags like "\\Seen".
  asio::awaitable<Result<void>> uid_store(std::string_view uid_set, std::string_view operation,
                                          std::span<const std::string> flags);
  asio::awaitable<Result<void>> uid_move(std::string_view uid_set, std::string_view mailbox);
  asio::awaitable<Result<void>> uid_expunge(std::string_view uid_set);
  asio::awaitable<Result<void>> logout();

  // The latest capabilities the server announced (greeting code, CAPABILITY, or a tagged OK's
  // code), upper-cased.
  const std::vector<std::string>& capabilities() const { return capabilities_; }
  bool has_capability(std::string_view name) const;

 private:
  struct Exchange;
  // Sends the command (waiting for "+" before each literal) and reads up to its tagged result.
  asio::awaitable<Result<void>> run(Exchange& exchange);
  asio::awaitable<Result<Response>> read_response(const std::string& verb);
  asio::awaitable<Result<void>> send(const std::string& verb, std::string_view bytes);
  // After a timeout, a lost stream or a response we cannot frame, the connection's state is
  // unknown: it is closed and every later command fails at once.
  Error broken(Error error);
  std::optional<Error> unusable(const std::string& verb) const;

  std::unique_ptr<Transport> transport_;
  ClientOptions options_;
  ResponseParser parser_;
  TagCounter tags_;
  std::vector<std::string> capabilities_;
  std::vector<char> read_buffer_;
  std::uint64_t command_bytes_ = 0;  // read since the running command was sent
  bool broken_ = false;
};

}  // namespace imap
