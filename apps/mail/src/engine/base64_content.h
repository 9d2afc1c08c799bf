#pragma once
// Base64 content transfer decoding as mail really arrives: line breaks and stray characters are
// skipped, a padded chunk may be followed by another, and a final group without its padding
// still gives the whole bytes it carries ("QUJDREU" is "ABCDE").
#include <cstdint>
#include <string_view>
#include <vector>

namespace mail::engine {

void append_base64_decoded(std::string_view encoded, std::vector<std::uint8_t>& out);

}  // namespace mail::engine
