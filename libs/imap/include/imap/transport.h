#pragma once
// A byte stream under the client: TLS in production, plain TCP for scripted test peers. Every
// operation of one connection runs on one strand (the executor the transport was made on).
#include <asio/any_io_executor.hpp>
#include <asio/awaitable.hpp>
#include <asio/ssl/context.hpp>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <expected>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <system_error>

#include "imap/error.h"

namespace imap {

class Transport {
 public:
  virtual ~Transport() = default;
  virtual asio::any_io_executor executor() = 0;
  // 0 bytes means the peer closed the stream.
  virtual asio::awaitable<std::expected<std::size_t, std::error_code>> read_some(
      std::span<char> buffer) = 0;
  virtual asio::awaitable<std::expected<void, std::error_code>> write_all(
      std::string_view bytes) = 0;
  // Aborts pending operations (they complete with operation_aborted); used by deadlines.
  virtual void cancel() = 0;
  // Best-effort close; never fails.
  virtual void close() = 0;
};

// Opens TCP to host:port (each resolved address in turn), then TLS from the first byte with
// certificate and host-name verification and SNI (not for IP literals). The whole open is
// bounded by `timeout` per step (resolve, connect, handshake). Error texts are made to be
// classified: "failed to resolve {host}: ...", "connect to {host}:{port} failed: Connection
// refused", "TLS handshake with {host} failed: certificate verify failed ...", "... timed out".
// Must be awaited on the connection's strand.
asio::awaitable<Result<std::unique_ptr<Transport>>> connect_tls(asio::ssl::context& tls,
                                                                std::string host,
                                                                std::uint16_t port,
                                                                std::chrono::milliseconds timeout);

// The same without TLS, for tests against scripted peers on loopback.
asio::awaitable<Result<std::unique_ptr<Transport>>> connect_plain(
    std::string host, std::uint16_t port, std::chrono::milliseconds timeout);

// True for a name we can present as a TLS server name (a DNS host name or an IP literal); the
// error says what is wrong with it.
std::expected<void, std::string> check_server_name(std::string_view host);

}  // namespace imap
