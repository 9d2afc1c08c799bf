#pragma once
// One short IMAP session per worker command: TLS from the first byte, log in, one job, log out.
// Nothing is cached between commands; single messages are found again by their Message-ID.
#include <asio/any_io_executor.hpp>
#include <asio/awaitable.hpp>
#include <asio/ssl/context.hpp>
#include <chrono>
#include <cstdint>
#include <expected>
#include <memory>
#include <string>
#include <vector>

#include "engine/worker_protocol.h"
#include "mailbox/types.h"
#include "engine/credentials.h"
#include "store/stored_config.h"

namespace imap {
class Client;
}

namespace mail::engine {

// A folder fetch downloads at most this many messages: the highest UIDs the search returns.
inline constexpr std::size_t kFetchLimit = 50;

struct ImapSettings {
  asio::ssl::context* tls = nullptr;
  std::chrono::milliseconds timeout{std::chrono::seconds(30)};  // per network wait
  // Where fetched messages are built: a strand beside the connection's own, so building one
  // message overlaps reading the next. Without one they are built where they are read.
  asio::any_io_executor build_executor;
};

class ImapSession {
 public:
  ImapSession(ImapSession&&) noexcept;
  ImapSession& operator=(ImapSession&&) noexcept;
  ~ImapSession();

  // Connects (implicit TLS always; port 0 means 993) and authenticates. Connection, TLS and
  // login failures come back classified; "no IMAP host" and "invalid IMAP host name: {}" as is.
  // Must be awaited on a strand of its own.
  static asio::awaitable<std::expected<ImapSession, std::string>> open(
      const StoredConfig& config, const Credential& credential,
      const ImapSettings& settings);

  asio::awaitable<std::expected<std::vector<MailboxEntry>, std::string>> list_folders();
  // `now_seconds` dates messages that carry neither INTERNALDATE nor a Date header.
  asio::awaitable<std::expected<std::vector<MailMessage>, std::string>> fetch_folder(
      FolderRole folder, std::int64_t now_seconds);
  // Select the message's own folder first.
  asio::awaitable<std::expected<void, std::string>> select(FolderRole folder);
  asio::awaitable<std::expected<std::uint32_t, std::string>> locate(const MailMessage& message);
  asio::awaitable<std::expected<void, std::string>> store_flags(const MailMessage& message);
  asio::awaitable<std::expected<void, std::string>> move(const MailMessage& message,
                                                         FolderRole target);
  asio::awaitable<std::expected<void, std::string>> purge(const MailMessage& message);
  // LOGOUT; the outcome does not matter.
  asio::awaitable<void> close();

 private:
  ImapSession(std::unique_ptr<imap::Client> client, std::string host,
              asio::any_io_executor build_executor);
  asio::awaitable<std::expected<std::vector<std::uint32_t>, std::string>> search_message_id(
      std::string id);
  std::unique_ptr<imap::Client> client_;
  std::string host_;  // left out of texts while they are classified
  asio::any_io_executor build_executor_;
};

}  // namespace mail::engine
