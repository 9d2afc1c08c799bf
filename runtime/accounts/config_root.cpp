#include <cstdlib>

#include "vexa/accounts/accounts.h"

namespace vexa::accounts {

std::optional<std::filesystem::path> config_root() {
  // A relative XDG value is invalid and would move the vault with the working directory.
  if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg && *xdg == '/') {
    return std::filesystem::path(xdg) / "vexa" / "accounts";
  }
  if (const char* home = std::getenv("HOME"); home && *home) {
    return std::filesystem::path(home) / ".config" / "vexa" / "accounts";
  }
  return std::nullopt;
}

}  // namespace vexa::accounts
