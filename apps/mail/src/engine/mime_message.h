#pragma once
// The one path from raw RFC 5322 bytes to a MailMessage, used for fetched mail and the sample
// mailbox alike. Nothing a message carries is dropped: any bytes make a record, text parts the
// reader does not show as the body become attachments, and whatever the parser cannot place is
// kept as body text.
#include <cstdint>
#include <optional>
#include <string_view>

#include "mailbox/types.h"

namespace mail::engine {

// `internal_date_seconds` is the server's arrival time when known; it wins over the Date header,
// and `fallback_now_seconds` is used when neither exists. Labels are always empty: they are
// local.
MailMessage build_mail_message(std::string_view raw, FolderRole folder, bool seen, bool starred,
                               std::optional<std::int64_t> internal_date_seconds,
                               std::int64_t fallback_now_seconds);

// GMime's global state, set up once for the process; safe to call from any thread.
void ensure_gmime();

// Ends body_text when parts were nested too deeply to be walked.
inline constexpr std::string_view kNestedTooDeeply = "[Parts nested more deeply were not shown.]";

}  // namespace mail::engine
