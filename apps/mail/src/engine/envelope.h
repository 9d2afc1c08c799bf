#pragma once
// The SMTP envelope of a draft: the account's address as sender, every valid address of To, Cc
// and Bcc (in that order) as recipients. Bcc recipients exist only here.
#include <expected>
#include <string>
#include <string_view>
#include <vector>

#include "compose/draft.h"
#include "store/stored_config.h"

namespace mail::engine {

struct Envelope {
  std::string from;
  std::vector<std::string> recipients;  // duplicates kept
  friend bool operator==(const Envelope&, const Envelope&) = default;
};

// A bare address "user@domain" (dot-atom or quoted user, host name or [literal] domain; UTF-8
// allowed). The error says which part is wrong.
std::expected<std::string, std::string> parse_plain_address(std::string_view text);

// "invalid From address: {}" or "no valid recipients". Pieces that are not addresses are left
// out silently; "Name <address>" contributes its address.
std::expected<Envelope, std::string> build_envelope(const StoredConfig& account,
                                                    const DraftData& draft);

}  // namespace mail::engine
