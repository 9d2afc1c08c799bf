#pragma once
// Subject and address headers of a parsed message as the reader shows them: decoded by GMime,
// after runs of encoded words GMime would decode lossily are rewritten (see encoded_words.h).
// Everything returned is valid UTF-8.
#include <gmime/gmime.h>

#include <optional>
#include <string>
#include <vector>

#include "mailbox/types.h"

namespace mail::engine {

// nullopt when the message has no Subject header.
std::optional<std::string> message_subject(GMimeMessage* message);

// Every mailbox of the header, groups flattened, in order.
std::vector<MailAddress> message_addresses(GMimeMessage* message, GMimeAddressType type);

}  // namespace mail::engine
