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
  return config;
}

}  // namespace vexa::net
