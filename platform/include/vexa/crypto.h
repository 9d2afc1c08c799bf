#pragma once
// Randomness and digests the application needs, from the platform's cryptography library.
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace vexa::crypto {

// Fills `out` from the system's cryptographically secure generator; stops the process when
// there is none, since no identifier or secret could then be trusted.
void random_bytes(std::span<std::uint8_t> out);

// Digests as lower-case hexadecimal text.
std::string md5_hex(std::string_view bytes);
std::string sha256_hex(std::string_view bytes);

}  // namespace vexa::crypto
