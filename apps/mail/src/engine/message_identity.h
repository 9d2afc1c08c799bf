#pragma once
// The identity of a message that has no usable Message-ID. It must be the same on every fetch,
// or each refresh would add another copy and nothing done to the message would survive one.
#include <string_view>

#include "mailbox/types.h"

namespace mail::engine {

struct IdentityFields {
  std::string_view date;  // raw header values, as they stand in the message
  std::string_view from;
  std::string_view to;
  std::string_view subject;
  std::string_view body;  // the raw text after the header block
};

// The fallback identity: fnv_identity over the tag "vexa-fallback-identity", the Date, From, To
// and Subject values and the first 4096 bytes of the body, each ended by a line feed. Header
// values are trimmed, and CR and LF are left out of them (CR also out of the body), so folding
// and a server that rewrites line ends leave the identity as it was.
MessageId fallback_identity(const IdentityFields& fields);

}  // namespace mail::engine
