#pragma once
// Errors of the IMAP client, as values. `text` is short and readable: it may reach the user.
#include <cstdint>
#include <expected>
#include <string>

namespace imap {

struct Error {
  enum class Kind : std::uint8_t {
    Timeout,   // a wait for the server ran out; text contains "timed out"
    Closed,    // the server closed the connection (or said BYE)
    Io,        // the transport failed (reset, TLS record error, ...)
    Protocol,  // the server sent something we cannot parse or did not expect
    Rejected,  // the server answered NO or BAD
  };
  Kind kind = Kind::Protocol;
  std::string text;
};

template <typename T>
using Result = std::expected<T, Error>;

}  // namespace imap
