#include <arpa/inet.h>
#include <fmt/format.h>
#include <openssl/ssl.h>
#include <openssl/x509v3.h>

#include <asio/connect.hpp>
#include <asio/experimental/as_tuple.hpp>
#include <asio/ip/tcp.hpp>
#include <asio/ssl.hpp>
#include <asio/this_coro.hpp>
#include <asio/use_awaitable.hpp>
#include <asio/write.hpp>

#include "deadline.h"
#include "imap/transport.h"

namespace imap {

namespace {

using asio::ip::tcp;
constexpr auto kAwait = asio::experimental::as_tuple(asio::use_awaitable);

template <typename Stream>
class StreamTransport final : public Transport {
 public:
  explicit StreamTransport(Stream stream) : stream_(std::move(stream)) {}
  ~StreamTransport() override { close(); }

  Stream& stream() { return stream_; }

  asio::any_io_executor executor() override { return stream_.get_executor(); }

  asio::awaitable<std::expected<std::size_t, std::error_code>> read_some(
      std::span<char> buffer) override {
    auto [ec, n] =
        co_await stream_.async_read_some(asio::buffer(buffer.data(), buffer.size()), kAwait);
    // A peer that closes without a TLS close_notify has still closed: the protocol's own
    // framing tells whether anything was cut short.
    if (ec == asio::error::eof || ec == asio::ssl::error::stream_truncated) co_return 0;
    if (ec) co_return std::unexpected(ec);
    co_return n;
  }

  asio::awaitable<std::expected<void, std::error_code>> write_all(std::string_view bytes) override {
    auto [ec, n] =
        co_await asio::async_write(stream_, asio::buffer(bytes.data(), bytes.size()), kAwait);
    (void)n;
    if (ec) co_return std::unexpected(ec);
    co_return std::expected<void, std::error_code>{};
  }

  void cancel() override {
    std::error_code ignored;
    socket().cancel(ignored);
  }

  void close() override {
    std::error_code ignored;
    if (!socket().is_open()) return;
    socket().shutdown(tcp::socket::shutdown_both, ignored);
    socket().close(ignored);
  }

 private:
  tcp::socket& socket() {
    if constexpr (std::is_same_v<Stream, tcp::socket>) {
      return stream_;
    } else {
      return stream_.next_layer();
    }
  }
  Stream stream_;
};

bool is_ip_literal(const std::string& host) {
  unsigned char buf[sizeof(in6_addr)];
  return inet_pton(AF_INET, host.c_str(), buf) == 1 || inet_pton(AF_INET6, host.c_str(), buf) == 1;
}

std::unexpected<Error> io_error(std::string text) {
  return std::unexpected(Error{Error::Kind::Io, std::move(text)});
}
std::unexpected<Error> timeout_error(std::string text) {
  return std::unexpected(Error{Error::Kind::Timeout, std::move(text)});
}

// The resolver's own words ("Host not found (authoritative)") would read as an authentication
// failure ("auth" and "fail") once they reach the classifier.
std::string resolve_reason(const std::error_code& ec) {
  if (ec == asio::error::host_not_found || ec == asio::error::host_not_found_try_again ||
      ec == asio::error::no_data) {
    return "no such host";
  }
  return ec.message();
}

asio::awaitable<Result<tcp::socket>> open_tcp(const std::string& host, std::uint16_t port,
                                              std::chrono::milliseconds timeout) {
  const auto executor = co_await asio::this_coro::executor;
  tcp::resolver resolver(executor);
  tcp::resolver::results_type endpoints;
  {
    detail::Deadline deadline(executor, timeout, [&resolver] { resolver.cancel(); });
    auto [ec, results] = co_await resolver.async_resolve(host, std::to_string(port), kAwait);
    if (deadline.expired())
      co_return timeout_error(fmt::format("failed to resolve {}: timed out", host));
    if (ec) co_return io_error(fmt::format("failed to resolve {}: {}", host, resolve_reason(ec)));
    endpoints = std::move(results);
  }
  if (endpoints.empty()) {
    co_return io_error(fmt::format("failed to resolve {}: no addresses", host));
  }

  std::error_code last;
  bool timed_out = false;
  for (const auto& entry : endpoints) {
    tcp::socket socket(executor);
    bool expired = false;
    std::error_code ec;
    {
      detail::Deadline deadline(executor, timeout, [&socket] {
        std::error_code ignored;
        socket.close(ignored);
      });
      std::tie(ec) = co_await socket.async_connect(entry.endpoint(), kAwait);
      expired = deadline.expired();
    }
    if (!ec && !expired) {
      std::error_code ignored;
      socket.set_option(tcp::no_delay(true), ignored);
      co_return std::move(socket);
    }
    timed_out = expired;
    last = ec;
  }
  if (timed_out) co_return timeout_error(fmt::format("connect to {}:{} timed out", host, port));
  co_return io_error(fmt::format("connect to {}:{} failed: {}", host, port, last.message()));
}

}  // namespace

std::expected<void, std::string> check_server_name(std::string_view host) {
  if (host.empty()) return std::unexpected(std::string("the host name is empty"));
  const std::string copy(host);
  if (is_ip_literal(copy)) return {};
  std::string_view name = host;
  if (name.back() == '.') name.remove_suffix(1);  // the root label
  if (name.empty()) return std::unexpected(std::string("the host name has no labels"));
  if (name.size() > 253) return std::unexpected(std::string("the host name is too long"));
  bool all_digits_last = false;
  while (true) {
    const std::size_t dot = name.find('.');
    const std::string_view label = name.substr(0, dot);
    if (label.empty()) return std::unexpected(std::string("the host name has an empty label"));
    if (label.size() > 63) {
      return std::unexpected(std::string("a label of the host name is longer than 63 characters"));
    }
    if (label.front() == '-' || label.back() == '-') {
      return std::unexpected(std::string("a label of the host name starts or ends with a hyphen"));
    }
    all_digits_last = true;
    for (char c : label) {
      const bool digit = c >= '0' && c <= '9';
      const bool ok = digit || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '-';
      if (!ok) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte >= 0x7f) {
          return std::unexpected(
              fmt::format("the host name contains the byte 0x{:02x}", static_cast<int>(byte)));
        }
        return std::unexpected(fmt::format("the host name contains '{}'", c));
      }
      all_digits_last = all_digits_last && digit;
    }
    if (dot == std::string_view::npos) break;
    name.remove_prefix(dot + 1);
  }
  // "1.2.3.999" is neither an address nor a name a certificate could be issued for.
  if (all_digits_last) {
    return std::unexpected(std::string("the host name looks like an IP address but is not one"));
  }
  return {};
}

asio::awaitable<Result<std::unique_ptr<Transport>>> connect_plain(
    std::string host, std::uint16_t port, std::chrono::milliseconds timeout) {
  auto socket = co_await open_tcp(host, port, timeout);
  if (!socket) co_return std::unexpected(std::move(socket.error()));
  co_return std::make_unique<StreamTransport<tcp::socket>>(std::move(*socket));
}

asio::awaitable<Result<std::unique_ptr<Transport>>> connect_tls(asio::ssl::context& tls,
                                                                std::string host,
                                                                std::uint16_t port,
                                                                std::chrono::milliseconds timeout) {
  if (auto valid = check_server_name(host); !valid) {
    co_return io_error(fmt::format("invalid server name {}: {}", host, valid.error()));
  }
  auto socket = co_await open_tcp(host, port, timeout);
  if (!socket) co_return std::unexpected(std::move(socket.error()));

  using TlsStream = asio::ssl::stream<tcp::socket>;
  auto transport = std::make_unique<StreamTransport<TlsStream>>(TlsStream(std::move(*socket), tls));
  TlsStream& stream = transport->stream();
  SSL* ssl = stream.native_handle();
  std::string name = host;
  if (!name.empty() && name.back() == '.') name.pop_back();
  // asio sends no server name of its own, and checks no host name unless told to.
  if (is_ip_literal(name)) {
    if (X509_VERIFY_PARAM_set1_ip_asc(SSL_get0_param(ssl), name.c_str()) != 1) {
      co_return io_error(
          fmt::format("TLS handshake with {} failed: cannot check the address", host));
    }
  } else if (SSL_set_tlsext_host_name(ssl, name.c_str()) != 1 ||
             SSL_set1_host(ssl, name.c_str()) != 1) {
    co_return io_error(
        fmt::format("TLS handshake with {} failed: cannot set the server name", host));
  }
  stream.set_verify_mode(asio::ssl::verify_peer);

  std::error_code ec;
  bool expired = false;
  {
    detail::Deadline deadline(transport->executor(), timeout,
                              [t = transport.get()] { t->close(); });
    std::tie(ec) = co_await stream.async_handshake(asio::ssl::stream_base::client, kAwait);
    expired = deadline.expired();
  }
  // Worded without "TLS" or "handshake": a server that says nothing is a time-out for the user,
  // not a certificate problem.
  if (expired) {
    co_return timeout_error(
        fmt::format("no answer from {} while setting up encryption: timed out", host));
  }
  if (ec) {
    std::string reason = ec.message();
    const long verify = SSL_get_verify_result(ssl);
    if (verify != X509_V_OK) {
      reason += fmt::format(" ({})", X509_verify_cert_error_string(verify));
    }
    co_return io_error(fmt::format("TLS handshake with {} failed: {}", host, reason));
  }
  co_return std::unique_ptr<Transport>(std::move(transport));
}

}  // namespace imap
