#pragma once
// The built-in offline mailbox behind the preview scenes: fictional accounts and messages,
// embedded as .eml files and parsed by the same MIME path as fetched mail.
#include <cstdint>
#include <vector>

#include "mailbox/types.h"
#include "store/stored_config.h"

namespace mail::core {

struct SampleMailbox {
  std::vector<StoredConfig> accounts;
  // The first account's messages.
  std::vector<MailMessage> messages;
  // Every account's messages, in the order of `accounts` (the first entry equals `messages`).
  std::vector<std::vector<MailMessage>> account_messages;
};

// Message times are shifted so that the newest message arrived a few minutes before
// `now_minutes`, keeping relative dates natural whenever the scene is shown. A sample that
// fails to load is a build defect and stops the process.
SampleMailbox load_sample_mailbox(std::int64_t now_minutes);

}  // namespace mail::core
