#pragma once
// Network, TLS and server errors arrive as free text in many shapes; before one reaches the user
// it becomes one of six short explanations, or is passed on with a prefix.
#include <string>
#include <string_view>

namespace mail::engine {

std::string classify_connection_failure(std::string_view error);

// The same for a text that names the server: the host name is left out while the rules are
// tested, so that "imap.authority.example" does not read as an authentication failure or
// "tls.example.com" as a certificate problem. An unmatched text is passed on whole.
std::string classify_connection_failure(std::string_view error, std::string_view host);

}  // namespace mail::engine
