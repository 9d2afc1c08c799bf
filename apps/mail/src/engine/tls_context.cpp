#include "engine/tls_context.h"

#include <system_error>

namespace mail::engine {

asio::ssl::context make_tls_context(const vexa::net::ClientConfig& config) {
  asio::ssl::context tls(asio::ssl::context::tls_client);
  tls.set_verify_mode(asio::ssl::verify_peer);
  std::error_code ec;
  if (!config.ca_file.empty()) tls.load_verify_file(config.ca_file, ec);
  if (!config.ca_dir.empty()) tls.add_verify_path(config.ca_dir, ec);
  if (config.ca_file.empty() && config.ca_dir.empty()) tls.set_default_verify_paths(ec);
  // A missing roots file makes every handshake fail with a certificate error, which is the
  // right thing for the user to see; nothing to do here.
  return tls;
}

}  // namespace mail::engine
