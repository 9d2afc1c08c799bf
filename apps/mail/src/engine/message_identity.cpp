#include "engine/message_identity.h"

#include <string>

#include "mailbox/ascii_text.h"

namespace mail::engine {
namespace {

constexpr std::size_t kBodyBytes = 4096;

void append_header(std::string& out, std::string_view value) {
  for (const char c : trim_ascii(value)) {
    if (c != '\r' && c != '\n') out.push_back(c);
  }
  out.push_back('\n');
}

}  // namespace

MessageId fallback_identity(const IdentityFields& fields) {
  std::string input = "vexa-fallback-identity\n";
  for (std::string_view value : {fields.date, fields.from, fields.to, fields.subject}) {
    append_header(input, value);
  }
  std::size_t taken = 0;
  for (std::size_t i = 0; i < fields.body.size() && taken < kBodyBytes; ++i) {
    if (fields.body[i] == '\r') continue;
    input.push_back(fields.body[i]);
    ++taken;
  }
  input.push_back('\n');
  return fnv_identity(input);
}

}  // namespace mail::engine
