#pragma once
// Recipient fields as typed: "Name <address>" or a bare address, separated by "," or ";".
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace mail::compose {

struct Recipient {
  std::optional<std::string> name;
  std::string address;
  friend bool operator==(const Recipient&, const Recipient&) = default;
};

// Empty pieces are skipped; addresses are not checked here (sending does that).
std::vector<Recipient> parse_recipients(std::string_view text);

}  // namespace mail::compose
