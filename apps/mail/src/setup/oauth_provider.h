#pragma once
// The OAuth providers Mail signs in with; the byte travels in the worker's sign-in command.
#include <cstdint>

namespace mail::setup {

enum class OAuthProvider : std::uint8_t { Google = 0, Microsoft = 1 };

}  // namespace mail::setup
