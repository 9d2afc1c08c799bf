#include <curl/curl.h>

#include <algorithm>
#include <memory>
#include <mutex>

#include "vexa/net/net.h"

namespace vexa::net::http {
namespace {

// A slow handshake may not eat a long overall budget unnoticed.
constexpr std::chrono::milliseconds kMaxConnectTimeout{15000};
constexpr long kMaxRedirects = 5;

CURLcode global_init() {
  static std::once_flag once;
  static CURLcode result = CURLE_OK;
  std::call_once(once, [] { result = curl_global_init(CURL_GLOBAL_DEFAULT); });
  return result;
}

struct EasyDeleter {
  void operator()(CURL* curl) const { curl_easy_cleanup(curl); }
};
struct ListDeleter {
  void operator()(curl_slist* list) const { curl_slist_free_all(list); }
};

std::size_t on_body(char* data, std::size_t size, std::size_t count, void* user) {
  static_cast<std::string*>(user)->append(data, size * count);
  return size * count;
}

std::string_view trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() &&
         (s.back() == ' ' || s.back() == '\t' || s.back() == '\r' || s.back() == '\n'))
    s.remove_suffix(1);
  return s;
}

std::size_t on_header(char* data, std::size_t size, std::size_t count, void* user) {
  auto* headers = static_cast<std::vector<std::pair<std::string, std::string>>*>(user);
  const std::string_view line(data, size * count);
  // Each followed redirect starts a new header block; only the final response's headers count.
  if (line.starts_with("HTTP/")) {
    headers->clear();
  } else if (const auto colon = line.find(':'); colon != std::string_view::npos) {
    headers->emplace_back(std::string(trim(line.substr(0, colon))),
                          std::string(trim(line.substr(colon + 1))));
  }
  return size * count;
}

enum class Method { Get, Post };

std::expected<Response, std::string> perform(Method method, const std::string& url,
                                             const std::string& content_type,
                                             const std::string& body,
                                             std::chrono::milliseconds timeout,
                                             const ClientConfig& config) {
  if (const CURLcode init = global_init(); init != CURLE_OK) {
    return std::unexpected(std::string("could not start the HTTP client: ") +
                           curl_easy_strerror(init));
  }
  std::unique_ptr<CURL, EasyDeleter> curl(curl_easy_init());
  if (!curl) return std::unexpected(std::string("could not start the HTTP client"));
  CURL* h = curl.get();
  char error_buffer[CURL_ERROR_SIZE] = {};
  Response response;

  curl_easy_setopt(h, CURLOPT_URL, url.c_str());
  curl_easy_setopt(h, CURLOPT_ERRORBUFFER, error_buffer);
  // Worker threads must not get SIGALRM from the resolver's time-out.
  curl_easy_setopt(h, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(h, CURLOPT_PROTOCOLS_STR, "http,https");
  curl_easy_setopt(h, CURLOPT_TIMEOUT_MS, static_cast<long>(timeout.count()));
  curl_easy_setopt(h, CURLOPT_CONNECTTIMEOUT_MS,
                   static_cast<long>(std::min(timeout, kMaxConnectTimeout).count()));
  curl_easy_setopt(h, CURLOPT_SSL_VERIFYPEER, 1L);
  curl_easy_setopt(h, CURLOPT_SSL_VERIFYHOST, 2L);
  if (!config.ca_file.empty()) curl_easy_setopt(h, CURLOPT_CAINFO, config.ca_file.c_str());
  if (!config.ca_dir.empty()) curl_easy_setopt(h, CURLOPT_CAPATH, config.ca_dir.c_str());
  std::unique_ptr<curl_slist, ListDeleter> connect_to;
  for (const std::string& rule : config.connect_to) {
    if (curl_slist* grown = curl_slist_append(connect_to.get(), rule.c_str())) {
      connect_to.release();
      connect_to.reset(grown);
    }
  }
  if (connect_to) curl_easy_setopt(h, CURLOPT_CONNECT_TO, connect_to.get());
  curl_easy_setopt(h, CURLOPT_USERAGENT, "Vexa/1.0");
  curl_easy_setopt(h, CURLOPT_ACCEPT_ENCODING, "");
  curl_easy_setopt(h, CURLOPT_WRITEFUNCTION, on_body);
  curl_easy_setopt(h, CURLOPT_WRITEDATA, &response.body);
  curl_easy_setopt(h, CURLOPT_HEADERFUNCTION, on_header);
  curl_easy_setopt(h, CURLOPT_HEADERDATA, &response.headers);

  std::unique_ptr<curl_slist, ListDeleter> header_list;
  if (method == Method::Get) {
    curl_easy_setopt(h, CURLOPT_HTTPGET, 1L);
    curl_easy_setopt(h, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(h, CURLOPT_MAXREDIRS, kMaxRedirects);
    // A redirect may never take an https request down to plain http.
    curl_easy_setopt(h, CURLOPT_REDIR_PROTOCOLS_STR,
                     url.starts_with("https:") ? "https" : "http,https");
  } else {
    curl_easy_setopt(h, CURLOPT_POST, 1L);
    curl_easy_setopt(h, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(body.size()));
    curl_easy_setopt(h, CURLOPT_COPYPOSTFIELDS, body.c_str());
    curl_slist* list = curl_slist_append(nullptr, ("Content-Type: " + content_type).c_str());
    // Without this, libcurl waits a second for "100 Continue" before larger bodies.
    if (list != nullptr) list = curl_slist_append(list, "Expect:");
    header_list.reset(list);
    curl_easy_setopt(h, CURLOPT_HTTPHEADER, header_list.get());
  }

  const CURLcode rc = curl_easy_perform(h);
  if (rc != CURLE_OK) {
    return std::unexpected(
        std::string(error_buffer[0] != '\0' ? error_buffer : curl_easy_strerror(rc)));
  }
  curl_easy_getinfo(h, CURLINFO_RESPONSE_CODE, &response.status);
  return response;
}

}  // namespace

BlockingClient::BlockingClient(std::chrono::milliseconds total_timeout, ClientConfig config)
    // libcurl reads 0 as "no limit"; every wait here must end.
    : timeout_(std::max(total_timeout, std::chrono::milliseconds(1))), config_(std::move(config)) {}

std::expected<Response, std::string> BlockingClient::get(const std::string& url) const {
  return perform(Method::Get, url, {}, {}, timeout_, config_);
}

std::expected<Response, std::string> BlockingClient::post(const std::string& url,
                                                          const std::string& content_type,
                                                          const std::string& body) const {
  return perform(Method::Post, url, content_type, body, timeout_, config_);
}

std::expected<Response, std::string> BlockingClient::post_form(
    const std::string& url, const std::vector<std::pair<std::string, std::string>>& pairs) const {
  std::string body;
  for (const auto& [name, value] : pairs) {
    if (!body.empty()) body += '&';
    body += form_encode(name);
    body += '=';
    body += form_encode(value);
  }
  return post(url, "application/x-www-form-urlencoded", body);
}

std::expected<BlockingClient, std::string> ClientBuilder::build() const {
  if (total_timeout <= std::chrono::milliseconds(0)) {
    return std::unexpected(std::string("the HTTP time-out must be positive"));
  }
  if (const CURLcode init = global_init(); init != CURLE_OK) {
    return std::unexpected(std::string("could not start the HTTP client: ") +
                           curl_easy_strerror(init));
  }
  return BlockingClient(total_timeout, client_config());
}

}  // namespace vexa::net::http
