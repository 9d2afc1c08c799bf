#pragma once
// Network configuration shared by every client: trusted roots (OpenSSL's default verify paths,
// which honour SSL_CERT_FILE / SSL_CERT_DIR; libcurl is handed the same files explicitly) and
// blocking HTTP on libcurl with bounded waits.
#include <chrono>
#include <cstdint>
#include <expected>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace vexa::net {

struct ClientConfig {
  std::string ca_file;  // empty: the TLS library's default file
  std::string ca_dir;   // empty: the TLS library's default directory
  // HTTP only: "HOST:PORT:CONNECT-HOST:CONNECT-PORT" rules that send a request for HOST:PORT to
  // another address while the URL, the TLS server name and the certificate check stay those of
  // HOST. Read from VEXA_TEST_HTTP_CONNECT_TO (rules separated by commas), which only the test
  // harness sets: it lets tests answer for real provider hosts from loopback servers.
  std::vector<std::string> connect_to;
};

// Built once per call from the environment and OpenSSL's defaults.
ClientConfig client_config();

namespace http {

struct Response {
  long status = 0;
  std::string body;
  std::vector<std::pair<std::string, std::string>> headers;
};

class BlockingClient {
 public:
  explicit BlockingClient(std::chrono::milliseconds total_timeout, ClientConfig config);
  std::expected<Response, std::string> get(const std::string& url) const;
  std::expected<Response, std::string> post(const std::string& url, const std::string& content_type,
                                            const std::string& body) const;
  // POST of form pairs, application/x-www-form-urlencoded, in the given order.
  std::expected<Response, std::string> post_form(
      const std::string& url, const std::vector<std::pair<std::string, std::string>>& pairs) const;

 private:
  std::chrono::milliseconds timeout_;
  ClientConfig config_;
};

struct ClientBuilder {
  std::chrono::milliseconds total_timeout{std::chrono::seconds(30)};
  ClientBuilder& timeout(std::chrono::milliseconds t) {
    total_timeout = t;
    return *this;
  }
  std::expected<BlockingClient, std::string> build() const;
};

inline ClientBuilder blocking_client() { return {}; }

// application/x-www-form-urlencoded encoding of one component.
std::string form_encode(std::string_view text);

}  // namespace http
}  // namespace vexa::net
