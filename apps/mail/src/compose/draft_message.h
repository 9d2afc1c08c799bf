#pragma once
// The one record a draft becomes: shown in Drafts while it is written, and filed in Sent once
// it is delivered.
#include <cstdint>

#include "compose/draft.h"
#include "mailbox/types.h"

namespace mail::compose {

// To and Cc as typed; a subject of nothing but white space shows as "(no subject)". The record
// is read: it is the user's own.
MailMessage message_from_draft(const DraftData& draft, const MailAddress& sender, FolderRole folder,
                               const MessageId& id, std::int64_t minute);

}  // namespace mail::compose
