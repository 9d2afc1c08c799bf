#pragma once
// The attachment record of one received MIME part: its name, its type and its content.
#include <gmime/gmime.h>

#include <string_view>

#include "engine/mime_parts.h"
#include "mailbox/types.h"

namespace mail::engine {

// The type is the one the part declares, unless it declares none or only
// application/octet-stream; then it is guessed from the name. A forwarded message without a
// name is named after its subject, and its content is its bytes exactly as they stand in `raw`,
// the text the message was parsed from (a signature inside it still verifies).
MessageAttachment received_attachment(const AttachmentPart& part, std::string_view raw);

}  // namespace mail::engine
