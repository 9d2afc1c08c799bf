#pragma once
// The content of one MIME part: its bytes with the transfer encoding undone, or its text in
// UTF-8 with LF line ends.
#include <gmime/gmime.h>

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace mail::engine {

// A message/rfc822 part gives the enclosed message as written.
std::vector<std::uint8_t> part_bytes(GMimeObject* object);

// Decoded by the part's charset (see charset_text.h).
std::string part_text(GMimeObject* object);

// Raw text of unknown charset (a multipart's preamble) made into the same form.
std::string loose_text(std::string_view bytes);

}  // namespace mail::engine
