#pragma once
// Assembly of the outgoing MIME message from an account and a draft.
#include <expected>
#include <string>

#include "compose/draft.h"
#include "store/stored_config.h"

namespace mail::engine {

// The message bytes (CRLF line ends), or the error text. Bcc recipients are envelope-only and
// never appear in the bytes; every message gets a Date and a Message-ID.
std::expected<std::string, std::string> assemble_outgoing(const StoredConfig& account,
                                                          const DraftData& draft);

}  // namespace mail::engine
