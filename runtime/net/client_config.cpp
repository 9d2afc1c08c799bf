#include <openssl/x509.h>

#include <cstdlib>
#include <filesystem>
#include <system_error>

#include "vexa/net/net.h"

namespace vexa::net {
namespace {

std::string env_value(const char* name) {
  const char* value = std::getenv(name);
  return value == nullptr ? std::string() : std::string(value);
}

}  // namespace

ClientConfig client_config() {
  // libcurl ignores SSL_CERT_FILE, so the environment is read here and handed to every client;
  // an explicit value is kept even if it is wrong, so that the failure names it.
  ClientConfig config;
  config.ca_file = env_value(X509_get_default_cert_file_env());
  config.ca_dir = env_value(X509_get_default_cert_dir_env());
  std::error_code ec;
  if (config.ca_file.empty()) {
    const std::string fallback = X509_get_default_cert_file();
    if (std::filesystem::is_regular_file(fallback, ec)) config.ca_file = fallback;
  }
  if (config.ca_dir.empty()) {
    const std::string fallback = X509_get_default_cert_dir();
    if (std::filesystem::is_directory(fallback, ec)) config.ca_dir = fallback;
  }
  const std::string rules = env_value("VEXA_TEST_HTTP_CONNECT_TO");
  for (std::size_t start = 0; start <= rules.size();) {
    std::size_t end = rules.find(',', start);
    if (end == std::string::npos) end = rules.size();
    std::string rule = rules.substr(start, end - start);
    std::erase_if(rule, [](char c) { return c == ' ' || c == '\t'; });
    if (!rule.empty()) config.connect_to.push_back(std::move(rule));
    start = end + 1;
  }
  return config;
}

}  // namespace vexa::net
