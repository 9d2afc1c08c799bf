#pragma once
// The TLS client context every IMAP connection uses: the platform's trusted roots, the TLS
// library's default protocol versions, peer verification always on.
#include <vexa/net/net.h>

#include <asio/ssl/context.hpp>

namespace mail::engine {

asio::ssl::context make_tls_context(const vexa::net::ClientConfig& config);

}  // namespace mail::engine
