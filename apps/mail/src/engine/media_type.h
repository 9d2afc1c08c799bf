#pragma once
// The media type a MIME part really has. GMime turns a Content-Type it cannot parse ("text",
// "text/", ";;") into application/octet-stream, which hides the text; RFC 2045 says such a part
// is text/plain; charset=us-ascii.
#include <gmime/gmime.h>

#include <optional>
#include <string>

namespace mail::engine {

struct MediaType {
  std::string type;     // lower case
  std::string subtype;  // lower case
  bool is(std::string_view t, std::string_view s) const { return type == t && subtype == s; }
};

MediaType media_type(GMimeObject* object);

// The type the part declares, as "type/subtype" in lower case without parameters, when it is
// well-formed, at most 127 characters, and says more than application/octet-stream.
std::optional<std::string> declared_type(GMimeObject* object);

}  // namespace mail::engine
