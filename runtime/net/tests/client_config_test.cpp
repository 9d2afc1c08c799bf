#include <gtest/gtest.h>
#include <openssl/x509.h>
#include <stdlib.h>

#include <filesystem>
#include <optional>

#include "vexa/net/net.h"

namespace {

// Restores one environment variable when the test ends.
class EnvGuard {
 public:
  explicit EnvGuard(const char* name) : name_(name) {
    if (const char* v = std::getenv(name)) saved_ = v;
  }
  ~EnvGuard() {
    if (saved_) {
      ::setenv(name_, saved_->c_str(), 1);
    } else {
      ::unsetenv(name_);
    }
  }

 private:
  const char* name_;
  std::optional<std::string> saved_;
};

TEST(ClientConfig, EnvironmentWinsOverTheLibraryDefaults) {
  EnvGuard file_guard("SSL_CERT_FILE");
  EnvGuard dir_guard("SSL_CERT_DIR");

  ::setenv("SSL_CERT_FILE", "/tmp/test-ca.pem", 1);
  ::setenv("SSL_CERT_DIR", "/tmp/test-ca.d", 1);
  auto config = vexa::net::client_config();
  EXPECT_EQ(config.ca_file, "/tmp/test-ca.pem");
  EXPECT_EQ(config.ca_dir, "/tmp/test-ca.d");

  ::unsetenv("SSL_CERT_FILE");
  ::unsetenv("SSL_CERT_DIR");
  config = vexa::net::client_config();
  const std::string default_file = X509_get_default_cert_file();
  const std::string default_dir = X509_get_default_cert_dir();
  EXPECT_EQ(config.ca_file,
            std::filesystem::is_regular_file(default_file) ? default_file : std::string());
  EXPECT_EQ(config.ca_dir,
            std::filesystem::is_directory(default_dir) ? default_dir : std::string());
}

TEST(ClientConfig, TestConnectionTargetsAreCommaSeparatedRules) {
  EnvGuard guard("VEXA_TEST_HTTP_CONNECT_TO");
  ::unsetenv("VEXA_TEST_HTTP_CONNECT_TO");
  EXPECT_TRUE(vexa::net::client_config().connect_to.empty());
  ::setenv("VEXA_TEST_HTTP_CONNECT_TO", " a.test:443:127.0.0.1:8443, ,b.test:443:127.0.0.1:9443,", 1);
  EXPECT_EQ(vexa::net::client_config().connect_to,
            (std::vector<std::string>{"a.test:443:127.0.0.1:8443", "b.test:443:127.0.0.1:9443"}));
}

}  // namespace
